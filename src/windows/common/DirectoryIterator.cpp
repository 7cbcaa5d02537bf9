// Directory walks: iterateDirectory hands the entries of one directory to a callback; DirectoryIterator
// collects them, optionally for the whole tree.
#include <iterator>

#include "common/share/errors/SourceLocation.h"
#include "common/share/tstrings.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/FileUtils.h"
#include "windows/common/WidePath.h"

namespace FileUtils {

namespace {

bool isDirectory(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isDotEntry(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Hands one search result to the callback; "." and ".." are passed over. Returns false to stop the walk.
bool visitEntry(const std::string& dir, const WIN32_FIND_DATAW& entry, DirectoryCallback& callback) {
    const std::string path = joinPath(dir, tstrings::toUtf8(entry.cFileName));
    if (isDirectory(entry.dwFileAttributes)) {
        return isDotEntry(entry.cFileName) || callback.visitDirectory(path);
    }
    return callback.visitFile(path);
}

// Empties a listing on every way out, so that a failed walk leaves nothing behind for the next one.
struct ItemsReleaser {
    std::vector<std::string>& items;
    ~ItemsReleaser() { std::vector<std::string>().swap(items); }
};

}  // namespace

DirectoryCallback::~DirectoryCallback() = default;

bool DirectoryCallback::visitFile(const std::string&) {
    return true;
}

bool DirectoryCallback::visitDirectory(const std::string&) {
    return true;
}

void iterateDirectory(const std::string& dir, DirectoryCallback& callback) {
    WIN32_FIND_DATAW entry;
    std::wstring pattern;
    DWORD error = widePath(joinPath(dir, "*"), pattern);
    const HANDLE found =
        error == ERROR_SUCCESS ? FindFirstFileW(pattern.c_str(), &entry) : INVALID_HANDLE_VALUE;
    if (error == ERROR_SUCCESS && found == INVALID_HANDLE_VALUE) error = GetLastError();
    const UniqueFindHandle search(found);
    if (error == ERROR_FILE_NOT_FOUND) return;
    ZOR_THROW_IF_WIN32_ERROR(FindFirstFileW, error, "FindFirstFile(" << dir << ") failed");
    while (visitEntry(dir, entry, callback)) {
        if (!FindNextFileW(search.get(), &entry)) {
            const DWORD error = GetLastError();
            if (error == ERROR_NO_MORE_FILES) return;
            ZOR_THROW_SYS_ERROR(FindNextFileW, error, "FindNextFile(" << dir << ") failed");
        }
    }
}

DirectoryIterator::DirectoryIterator(const std::string& dir) : dir_(dir) {}

DirectoryIterator& DirectoryIterator::recursive(bool on) {
    recursive_ = on;
    return *this;
}

DirectoryIterator& DirectoryIterator::withFiles(bool on) {
    withFiles_ = on;
    return *this;
}

DirectoryIterator& DirectoryIterator::withDirectories(bool on) {
    withDirectories_ = on;
    return *this;
}

void DirectoryIterator::collectItems(std::vector<std::string>& out) {
    DWORD attributes = 0;
    if (fileAttributes(dir_, attributes) != ERROR_SUCCESS || !isDirectory(attributes)) return;
    // A link met inside the tree (junction or directory symbolic link) is listed but not entered: its
    // contents belong elsewhere, and a listing that feeds a deletion must not reach them.
    if (insideTree_ && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return;
    ItemsReleaser releaser{items_};
    iterateDirectory(dir_, *this);
    out.insert(out.end(), std::make_move_iterator(items_.begin()), std::make_move_iterator(items_.end()));
}

bool DirectoryIterator::visitFile(const std::string& path) {
    if (withFiles_) items_.push_back(path);
    return true;
}

bool DirectoryIterator::visitDirectory(const std::string& path) {
    if (withDirectories_) items_.push_back(path);
    if (recursive_) {
        DirectoryIterator subtree(path);
        subtree.recursive(true).withFiles(withFiles_).withDirectories(withDirectories_);
        subtree.insideTree_ = true;
        subtree.collectItems(items_);
    }
    return true;
}

}  // namespace FileUtils
