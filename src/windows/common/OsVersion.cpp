#include "windows/common/SysInfo.h"
