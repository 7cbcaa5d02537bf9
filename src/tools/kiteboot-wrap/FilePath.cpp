#include "FilePath.h"

#include <system_error>

namespace wrap {

std::filesystem::path filePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string pathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(filePath(a), filePath(b), error) && !error;
}

}  // namespace wrap
