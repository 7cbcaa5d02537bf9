#include "windows/common/handles/HeldPath.h"

#include "windows/common/handles/HandleFiles.h"

namespace {

// Traversal only: enough to take part in the sharing checks (traversing counts as reading), so a later
// open for deletion, which a rename needs, is refused.
constexpr ACCESS_MASK kTraverse = FILE_TRAVERSE | SYNCHRONIZE;
constexpr ULONG kShareAllButDeletion = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool isSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool isLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// Where the names after the root begin: after "X:\" or "\\server\share\"; 0 when path has no such root.
std::size_t rootLength(const std::wstring& path) {
    if (path.size() >= 3 && isLetter(path[0]) && path[1] == L':' && isSeparator(path[2])) return 3;
    if (path.size() < 3 || !isSeparator(path[0]) || !isSeparator(path[1]) || isSeparator(path[2]) ||
        path[2] == L'?' || path[2] == L'.')
        return 0;
    std::size_t separators = 0;
    for (std::size_t i = 2; i < path.size(); ++i) {
        if (isSeparator(path[i]) && ++separators == 2) return i + 1;
    }
    return separators == 1 && !isSeparator(path.back()) ? path.size() : 0;
}

}  // namespace

bool splitPath(const std::wstring& path, std::wstring& root, std::vector<std::wstring>& names) {
    const std::size_t length = rootLength(path);
    if (length == 0) return false;
    std::vector<std::wstring> found;
    std::size_t start = length;
    while (start < path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isSeparator(path[end]))
            ++end;
        const std::wstring name = path.substr(start, end - start);
        // A trailing separator ends the path; any other empty name, "." and ".." are not names of
        // directories.
        if (name.empty() ? end != path.size() : (name == L"." || name == L"..")) return false;
        if (!name.empty()) found.push_back(name);
        start = end + 1;
    }
    root = path.substr(0, length);
    names = std::move(found);
    return true;
}

DWORD HeldPath::hold(const std::wstring& path) {
    release();
    std::wstring root;
    std::vector<std::wstring> names;
    if (!splitPath(path, root, names)) return ERROR_BAD_PATHNAME;
    std::vector<UniqueHandle> holds(1);
    if (const DWORD error = HandleFiles::openDirectory(root, kTraverse, holds.back())) return error;
    for (const std::wstring& name : names) {
        UniqueHandle next;
        if (const DWORD error = HandleFiles::open(holds.back().get(), name, kTraverse, kShareAllButDeletion,
                                                  FILE_OPEN, FILE_DIRECTORY_FILE, next))
            return error;
        holds.push_back(std::move(next));
    }
    holds_ = std::move(holds);
    return ERROR_SUCCESS;
}
