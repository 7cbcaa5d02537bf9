// The user's temporary directory, looked up by its path once per process: the launcher makes its directory
// there and the log writes there through handles reopened from the one opened then, so both act on the same
// directory whatever becomes of the links on the way to it later.
#pragma once

#include <string>

#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"

namespace UserTempDirectory {

// The temporary directory's path as the first call found it, without the final separator; empty when
// there was none.
const std::string& path();

// A new handle with the given access (and full sharing) to the directory the first call opened, not looked
// up by any name. Why there was no path (SysInfo::getTempDir), or the open's error when it could not be
// opened.
DWORD reopen(ACCESS_MASK access, UniqueHandle& directory);

}  // namespace UserTempDirectory
