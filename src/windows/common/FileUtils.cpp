#include "windows/common/FileUtils.h"
