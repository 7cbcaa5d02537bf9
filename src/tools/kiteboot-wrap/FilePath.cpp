#include "FilePath.h"

#include <system_error>

#include "ShownText.h"
#include "WrapError.h"

namespace wrap {

// On Windows a path is converted between UTF-8 and UTF-16, which fails on text that is neither.
std::filesystem::path filePath(const std::string& utf8) {
    try {
        return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
    } catch (const std::system_error& error) {
        throw WrapError("the path " + inQuotes(utf8) + " is not UTF-8 text", error.code());
    }
}

std::string pathText(const std::filesystem::path& path) {
    try {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    } catch (const std::system_error& error) {
        throw WrapError("a path is not text (it holds half of a UTF-16 pair)", error.code());
    }
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
