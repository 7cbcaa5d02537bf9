// Paths at the boundary to the system: narrow (UTF-8) inside, UTF-16 for the wide calls that take them.
#pragma once

#include <string>

#include "common/windows/WinHeaders.h"

namespace FileUtils {

// path in the form the wide file and process calls take, into wide. A path that is not UTF-8 has no such
// form: ERROR_NO_UNICODE_TRANSLATION (wide untouched), which the caller reports as the failure of the call
// the path was meant for. ERROR_SUCCESS otherwise.
DWORD widePath(const std::string& path, std::wstring& wide);

// GetFileAttributesW of path into attributes: ERROR_SUCCESS, or the reason it failed (as above for a path
// that is not UTF-8) with attributes INVALID_FILE_ATTRIBUTES.
DWORD fileAttributes(const std::string& path, DWORD& attributes);

}  // namespace FileUtils
