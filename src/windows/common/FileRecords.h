// The texts of the records that changes on disk are logged with, composed in one place for everything
// that changes files: the path-based utilities and the secure directory.
#pragma once

#include <string>

#include "common/windows/WinHeaders.h"

namespace FileUtils {

// "Created [<path>] file" or "... directory".
std::string createdText(const std::string& path, bool folder);
// "Deleted [<path>] file" or "... directory".
std::string deletedText(const std::string& path, bool folder);
// "Discarded R/O attribute from [<path>] file".
std::string discardedReadOnlyText(const std::string& path);
// "Moved 'a' file to 'b'", "Deleted 'a' folder", "Move 'a' file to 'b' on reboot", "Delete 'a' folder on
// reboot": an empty destination means deletion; flags are MoveFileEx's.
std::string describeMove(const std::string& from, const std::string& to, DWORD flags, bool folder);
// What a failed removal leaves on disk: "<call>(<path>) failed. System error ...", error being the failed
// call's Windows error and function its address.
std::string leftoverText(const char* call, const std::string& path, const void* function, DWORD error);

}  // namespace FileUtils
