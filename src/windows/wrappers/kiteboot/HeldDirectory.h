// The secure directory: made and held in one step, and the only way the launcher touches what is inside
// it. Everything is done through the handles it holds or relative to them; its path is never looked up
// again, so nothing done to the directories above it (a link re-pointed, a directory renamed) redirects a
// step. Changes on disk are logged at TRACE with the texts of the file utilities, under the path through
// the temporary directory that the records have always shown.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/handles/HeldPath.h"
#include "windows/wrappers/kiteboot/TempDirectory.h"

class HeldDirectory {
public:
    // Creates the directory at path (a name reserved in temp) relative to temp's handle, with descriptor
    // applied at creation, and holds it: creating and opening are one system call, so no other directory
    // can be put under the name in between, and FILE_CREATE refuses any existing entry, a link included.
    // The hold lists and traverses and shares reading and writing but not deletion: while it is held no
    // process can rename, delete or replace the directory. A path longer than the directory calls take
    // (247 characters) and a volume that keeps no access lists or is remote are refused first.
    // Returns ERROR_SUCCESS with directory set, or the reason and directory untouched
    // (ERROR_ALREADY_EXISTS when anything occupies the path, so the caller may reserve another name).
    // Throws ZorError<...> only when the system functions cannot be bound.
    static DWORD create(const TempDirectory& temp, const std::string& path, PSECURITY_DESCRIPTOR descriptor,
                        std::unique_ptr<HeldDirectory>& directory);

    // Removes everything (removeAll).
    ~HeldDirectory();
    HeldDirectory(const HeldDirectory&) = delete;
    HeldDirectory& operator=(const HeldDirectory&) = delete;

    // The path the directory was created at, as records show it.
    const std::string& path() const { return path_; }

    // The directory's own full path as the system resolves it from the held handle: no link in it, every
    // component its real name. Throws ZorError<SysError> ("GetFinalPathNameByHandle(<path>) failed").
    std::string finalPath() const;

    // Writes a file called name: a new file under a temporary name is created relative to the directory,
    // written by write through its own handle and renamed relative to the directory to name. The file is
    // held from its creation until removeAll: afterwards for reading, sharing reading only, so no process
    // can write, rename, replace or delete it. Returns that handle (owned here). On failure
    // the temporary file is removed through its handle, and what write or the system threw is passed on.
    HANDLE saveFile(const std::string& name, const std::function<void(std::ostream&)>& write);

    // ERROR_SUCCESS when the directory holds exactly one entry and that entry is the file open on file;
    // ERROR_CANT_ACCESS_FILE when it holds anything else, the system's error when it cannot be told.
    DWORD checkHoldsOnly(HANDLE file) const;

    // The path to start a program in it by: its own final path, or, where the system cannot give that
    // (Wine past MAX_PATH, a volume the mount manager does not know), the path it was created at. Either is
    // checked before a start (checkNamedBy, holdChain).
    std::string startDirectory() const;

    // ERROR_SUCCESS when path, taken as a program start takes it, names this very directory
    // (HandleFiles::checkNamesFile); the reason otherwise.
    DWORD checkNamedBy(const std::string& path) const;

    // Holds every directory of path (HeldPath), and ERROR_SUCCESS when the last one is this very directory;
    // ERROR_CANT_ACCESS_FILE when it is another, the open's error when one cannot be held.
    DWORD holdChain(const std::string& path, HeldPath& chain) const;

    // Removes the held files through their handles, then everything else in the directory, each child
    // opened relative to its parent and never followed if it is a link, then the directory itself through
    // a handle reopened from its own. A sharing violation (something still holding a file or the directory
    // for a moment) is tried again for a few seconds. What stays is logged at ERROR. Never throws; a
    // second call does nothing.
    void removeAll() noexcept;

private:
    HeldDirectory(std::string path, UniqueHandle hold);

    // One pass; returns ERROR_SUCCESS once the directory is gone, otherwise the first error met. Failures
    // are logged only when report is set.
    DWORD removeOnce(bool report);
    DWORD removeHeldFiles(bool report);
    DWORD removeSelf(bool report);

    struct HeldFile {
        std::string path;
        UniqueHandle hold;    // reading; shares reading only
        UniqueHandle anchor;  // no access: the file itself, reopened for deletion at the end
    };
    static DWORD holdForReading(HeldFile& file);

    std::string path_;
    UniqueHandle hold_;    // list and traverse; shares reading and writing, not deletion
    UniqueHandle anchor_;  // no access at all: the directory itself, reopened for deletion at the end
    std::vector<HeldFile> files_;
};

// Removes every entry of the directory open on directory (listed through that handle), whose path
// records show as path: subdirectories with everything in them, links as links. Returns ERROR_SUCCESS
// when all went, otherwise the first error met; failures are logged at ERROR only when report is set.
DWORD removeChildren(HANDLE directory, const std::string& path, bool report);
