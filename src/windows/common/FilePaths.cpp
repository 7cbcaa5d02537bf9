#include "windows/common/FileUtils.h"

namespace FileUtils {

namespace {

constexpr const char* kSeparators = "\\/";

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "X:" at position at of path.
bool isDriveAt(const std::string& path, std::size_t at) {
    return path.size() == at + 2 && isLetter(path[at]) && path[at + 1] == ':';
}

// True when path (without trailing separators) is the root of a drive or of a network share, plain
// ("T:", "\\\\server\\share") or in a device form ("\\\\?\\T:", "\\\\?\\UNC\\server\\share").
bool isRoot(const std::string& path) {
    if (isDriveAt(path, 0)) return true;
    if (path.size() < 3 || !isSeparator(path[0]) || !isSeparator(path[1])) return false;
    const bool device = path.size() >= 4 && (path[2] == '?' || path[2] == '.') && isSeparator(path[3]);
    if (device && isDriveAt(path, 4)) return true;
    std::size_t share = 2;  // where the server's name begins
    if (device) {
        if (path.compare(4, 4, "UNC\\") != 0 && path.compare(4, 4, "UNC/") != 0) return false;
        share = 8;
    }
    // Exactly two components after the prefix: the server and the share.
    const std::size_t separator = path.find_first_of(kSeparators, share);
    return separator != std::string::npos && separator > share && separator + 1 < path.size() &&
           path.find_first_of(kSeparators, separator + 1) == std::string::npos;
}

}  // namespace

std::string parentPath(const std::string& path) {
    const std::size_t last = path.find_last_of(kSeparators);
    if (last == std::string::npos) return std::string();
    const std::size_t end = path.find_last_not_of(kSeparators, last);
    if (end == std::string::npos) return std::string();
    return path.substr(0, end + 1);
}

std::string stripTrailingSeparators(const std::string& path) {
    const std::size_t end = path.find_last_not_of(kSeparators);
    return end == std::string::npos ? std::string() : path.substr(0, end + 1);
}

std::string directoryPath(const std::string& path) {
    const std::string stripped = stripTrailingSeparators(path);
    if (stripped.size() == path.size()) return path;
    if (stripped.empty()) return "\\";
    return isRoot(stripped) ? stripped + '\\' : stripped;
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
