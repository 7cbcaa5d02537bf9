#include "windows/common/FileUtils.h"

namespace FileUtils {

namespace {

constexpr const char* kSeparators = "\\/";

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

}  // namespace

std::string parentPath(const std::string& path) {
    const std::size_t last = path.find_last_of(kSeparators);
    if (last == std::string::npos) return std::string();
    const std::size_t end = path.find_last_not_of(kSeparators, last);
    if (end == std::string::npos) return std::string();
    return path.substr(0, end + 1);
}

std::string fileName(const std::string& path) {
    const std::size_t last = path.find_last_of(kSeparators);
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string stripTrailingSeparators(const std::string& path) {
    const std::size_t end = path.find_last_not_of(kSeparators);
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

std::string joinPath(const std::string& base, const std::string& tail) {
    if (base.empty()) return tail;
    if (tail.empty()) return base;
    const std::size_t skip = isSeparator(tail.front()) ? 1 : 0;
    return stripTrailingSeparators(base) + '\\' + tail.substr(skip);
}

std::string& appendPath(std::string& base, const std::string& tail) {
    base = joinPath(base, tail);
    return base;
}

}  // namespace FileUtils
