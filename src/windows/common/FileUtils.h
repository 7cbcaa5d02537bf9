// File-system utilities: path operations, temporary names, moving and deleting, directory walks and the
// scoped deleter. Paths are narrow (UTF-8) strings, converted for the wide system calls where they are made.
#pragma once

#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "common/share/FileName.h"
#include "common/windows/WinHeaders.h"

namespace FileUtils {

// ---- Path operations: pure string functions; "\\" and "/" both separate, "\\" is the one inserted.

// The path without its last component and the separators before it; empty when there is no parent part.
std::string parentPath(const std::string& path);
// fileName(path): the text after the last separator (FileName.h).
// The path without separators at its end.
std::string stripTrailingSeparators(const std::string& path);
// A directory's path without separators at its end, except that a root keeps one "\\": "T:\\" (without
// it, "T:" names the current directory of drive T:), "\\\\server\\share\\", "\\\\?\\T:\\", "\\".
std::string directoryPath(const std::string& path);
// base and tail joined by exactly one "\\"; an empty side gives the other unchanged.
std::string joinPath(const std::string& base, const std::string& tail);
// base = joinPath(base, tail); returns base.
std::string& appendPath(std::string& base, const std::string& tail);

// ---- Creating. Successful creations are logged at TRACE.

// The name of a temporary file: prefix, number printed as a signed 32-bit decimal, suffix
// (tempFileName("zor", 4294967295, ".tmp") is "zor-1.tmp").
std::string tempFileName(const std::string& prefix, unsigned long number, const std::string& suffix);

// Creates a new, empty file under a unique name prefix + number + suffix in dir (empty dir: the current
// directory) and returns its path. The number starts at the tick count; 100 names are tried.
// Throws ZorError<std::runtime_error> for a prefix or suffix with characters not allowed in file names,
// and when no name could be created.
std::string createTempFile(const std::string& prefix, const std::string& suffix, const std::string& dir);

// The same 100 names, each claimed by claim(path), which makes the file its own way and returns false when
// the name cannot be had; returns the path of the first name claimed. Throws as above.
using NameClaim = std::function<bool(const std::string& path)>;
std::string createTempFile(const std::string& prefix, const std::string& suffix, const std::string& dir,
                           const NameClaim& claim);

// Creates path and every missing parent. An existing directory is fine.
// Throws ZorError<SysError> ("CreateDirectory(<path>) failed") for the first that cannot be made.
void createDirectories(const std::string& path);

// ---- Moving and deleting. Each change on disk is logged at TRACE. A target that is already absent
// counts as deleted. The nothrow forms, for clean-up, return ERROR_SUCCESS or the Windows error code of the
// failure; the other forms raise that code as ZorError<SysError>.

// Moves from onto to, replacing an existing file and creating to's missing directories.
void moveFile(const std::string& from, const std::string& to);

// Deletes a file; a read-only file loses that attribute and is deleted on a second attempt.
void deleteFile(const std::string& path);
DWORD deleteFile(const std::string& path, const std::nothrow_t&);

// Removes an empty directory.
void deleteDirectory(const std::string& path);
DWORD deleteDirectory(const std::string& path, const std::nothrow_t&);

// ---- Directory walks.

// Receives the entries of a directory walk. Each visit returns true to go on, false to stop the walk.
class DirectoryCallback {
public:
    virtual ~DirectoryCallback();
    // An entry that is not a directory.
    virtual bool visitFile(const std::string& path);
    // A subdirectory other than "." and "..".
    virtual bool visitDirectory(const std::string& path);
};

// Hands every entry of dir (not below it) to callback, as joinPath(dir, name), in the file system's order.
// A directory that the search reports as not found gives no entries. Throws ZorError<SysError> on any
// other search error, and passes on whatever the callback throws.
void iterateDirectory(const std::string& dir, DirectoryCallback& callback);

// Lists a directory: files, subdirectories, or both, optionally the whole tree in depth-first pre-order
// (each directory before its contents). A directory link (junction, symbolic link) inside the tree is
// listed like a directory but not entered.
class DirectoryIterator : public DirectoryCallback {
public:
    explicit DirectoryIterator(const std::string& dir);

    DirectoryIterator& recursive(bool on);
    DirectoryIterator& withFiles(bool on);
    DirectoryIterator& withDirectories(bool on);

    // Appends the listing to out. A path that is missing or not a directory adds nothing. Throws as
    // iterateDirectory does; out is then unchanged.
    void collectItems(std::vector<std::string>& out);

    bool visitFile(const std::string& path) override;
    bool visitDirectory(const std::string& path) override;

private:
    bool recursive_ = false;
    bool withFiles_ = false;
    bool withDirectories_ = false;
    bool insideTree_ = false;  // a subdirectory's listing made by a recursive walk: links are not entered
    std::string dir_;
    std::vector<std::string> items_;
};

// ---- Scoped clean-up.

// Removes what it was given when executed or destroyed: files first, then the files of directories,
// then whole trees, then empty directories, each group in order of addition. Never throws; what cannot
// be removed stays (and, with the reboot fallback on, is scheduled for deletion at the next start).
// A directory link (junction, symbolic link) met in a tree is removed as a link: what it points to is
// never deleted. A failure that escapes an entry is logged at ERROR and the other entries still run.
class ScopedDeleter {
public:
    ScopedDeleter() = default;
    ScopedDeleter(const ScopedDeleter&) = delete;
    ScopedDeleter& operator=(const ScopedDeleter&) = delete;
    ~ScopedDeleter();

    // Applies to the entries added from now on.
    void setRebootFallback(bool on);

    void addFile(const std::string& path);
    void addDirectoryFiles(const std::string& path);
    void addDirectoryTree(const std::string& path);
    void addEmptyDirectory(const std::string& path);

    // Forgets every entry; nothing is deleted.
    void cancel();
    // Deletes every entry once; the deleter is empty afterwards.
    void execute() noexcept;

    // 2 * type + fallback: 0/1 file, 2/3 files of a directory, 4/5 directory tree, 6/7 empty directory.
    using EntryKind = int;

private:
    void add(const std::string& path, int type);

    bool rebootFallback_ = false;
    std::vector<std::pair<std::string, EntryKind>> entries_;
};

}  // namespace FileUtils
