#include "windows/common/Dll.h"
