// Paths at the boundary to the system: narrow (UTF-8) inside, UTF-16 for the wide calls that take them.
#pragma once

#include <optional>
#include <string>

#include "common/windows/WinHeaders.h"

namespace FileUtils {

// path in the form the wide file and process calls take. A path that is not UTF-8 has no such form:
// nullopt, with the thread's last error set to ERROR_NO_UNICODE_TRANSLATION, so the caller reports it as
// the failure of the call the path was meant for.
std::optional<std::wstring> widePath(const std::string& path);

// GetFileAttributesW of path; INVALID_FILE_ATTRIBUTES, with the last error set, when it fails or path is
// not UTF-8.
DWORD fileAttributes(const std::string& path);

}  // namespace FileUtils
