#include "windows/common/WidePath.h"

#include "common/share/tstrings.h"

namespace FileUtils {

DWORD widePath(const std::string& path, std::wstring& wide) {
    std::wstring converted = tstrings::fromUtf8(path);
    // Only a text that is not UTF-8 converts to nothing.
    if (converted.empty() && !path.empty()) return ERROR_NO_UNICODE_TRANSLATION;
    wide = std::move(converted);
    return ERROR_SUCCESS;
}

DWORD fileAttributes(const std::string& path, DWORD& attributes) {
    attributes = INVALID_FILE_ATTRIBUTES;
    std::wstring wide;
    if (const DWORD error = widePath(path, wide)) return error;
    attributes = GetFileAttributesW(wide.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
}

}  // namespace FileUtils
