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

namespace {

std::size_t lastSeparator(const std::string& path) {
#ifdef _WIN32
    return path.find_last_of("/\\:");
#else
    return path.find_last_of('/');
#endif
}

}  // namespace

std::string fileNameOf(const std::string& path) {
    const std::size_t last = lastSeparator(path);
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string directoryOf(const std::string& path) {
    const std::size_t last = lastSeparator(path);
    return last == std::string::npos ? "" : path.substr(0, last + 1);
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(filePath(a), filePath(b), error) && !error;
}

}  // namespace wrap
