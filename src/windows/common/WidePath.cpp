#include "windows/common/WidePath.h"

#include "common/share/tstrings.h"

namespace FileUtils {

std::optional<std::wstring> widePath(const std::string& path) {
    std::wstring wide = tstrings::fromUtf8(path);
    // Only a text that is not UTF-8 converts to nothing.
    if (wide.empty() && !path.empty()) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return std::nullopt;
    }
    return wide;
}

DWORD fileAttributes(const std::string& path) {
    const std::optional<std::wstring> wide = widePath(path);
    return wide ? GetFileAttributesW(wide->c_str()) : INVALID_FILE_ATTRIBUTES;
}

}  // namespace FileUtils
