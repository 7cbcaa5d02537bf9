#include "windows/common/Security.h"
