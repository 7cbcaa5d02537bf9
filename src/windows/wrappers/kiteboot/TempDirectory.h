// The user's temporary directory, opened once: the launcher makes its names in it relative to this handle,
// so a link on the way to it that is re-pointed later changes nothing.
#pragma once

#include <string>

#include "common/windows/WinAutoHandle.h"

class TempDirectory {
public:
    // The user's temporary directory as the process looked it up once (UserTempDirectory), the one the
    // log is written in too. Never throws: a directory that cannot be opened gives an object in which no
    // name can be reserved, and error() says why.
    TempDirectory();
    // The directory at path (UTF-8), opened here by its path; the same when it cannot be opened.
    explicit TempDirectory(const std::string& path);

    // Reserves a free name prefix<number>suffix as FileUtils::createTempFile chooses it: a new file is made
    // under it relative to the handle (logged "Created [<path>] file") and removed again through its own
    // handle ("Deleted [<path>] file"). Returns the path. Names whose path would be longer than the file
    // calls take (MAX_PATH - 1 characters) count as taken. Throws ZorError<std::runtime_error>
    // ("createTempFile(...) failed") when no name can be had, ZorError<SysError> ("DeleteFile(<path>)
    // failed") when the file cannot be removed.
    std::string reserveName(const std::string& prefix, const std::string& suffix) const;

    const std::string& path() const { return path_; }
    HANDLE get() const { return handle_.get(); }
    // ERROR_SUCCESS when the directory is open; why it could not be opened otherwise.
    DWORD error() const { return error_; }

private:
    std::string path_;
    UniqueHandle handle_;
    DWORD error_;
};

// Creates the new file that path's last component names inside the directory open on parent (relative to
// that handle, refusing any existing entry) and logs "Created [<path>] file". Returns ERROR_SUCCESS, or the
// reason it cannot (ERROR_ALREADY_EXISTS when the name is taken); file then stays empty.
DWORD createFileIn(HANDLE parent, const std::string& path, ACCESS_MASK access, ULONG share,
                   UniqueHandle& file);
