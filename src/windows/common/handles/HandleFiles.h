// Files acted on through handles: opened relative to a directory handle without following a link, reopened,
// renamed, marked for deletion, listed and identified. Nothing here looks a path up through the
// directories above the handle, so re-pointing a link on the way to it changes nothing.
// The calls are ntdll's, bound at run time; each returns ERROR_SUCCESS or a Windows error code.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"

namespace HandleFiles {

// Access sets used by every caller.
constexpr ACCESS_MASK kHoldDirectory = FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE;
constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens or creates name inside the directory held by parent (or, with parent null, the absolute path name).
// options are NtCreateFile's create options; FILE_OPEN_REPARSE_POINT and synchronous I/O are always added,
// so a link at name is opened as itself where the file system allows it. descriptor applies to a file
// this call creates. On success file holds the new handle.
DWORD open(HANDLE parent, const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
           ULONG options, UniqueHandle& file, PSECURITY_DESCRIPTOR descriptor = nullptr);

// Opens the existing directory at path, looked up by name as any program would (the one call here that
// is), with access and full sharing. The start of every chain of handle-relative opens.
DWORD openDirectory(const std::wstring& path, ACCESS_MASK access, UniqueHandle& directory);

// A second handle to the very file that file is open on, with other access and sharing; not looked up by
// any name.
DWORD reopen(HANDLE file, ACCESS_MASK access, ULONG share, UniqueHandle& reopened);

// Renames the file (opened with DELETE access) to name inside the directory held by directory; fails
// when name is taken.
DWORD rename(HANDLE file, HANDLE directory, const std::wstring& name);

// Marks the file (opened with DELETE access) for deletion: it goes when its last handle is closed.
DWORD markForDeletion(HANDLE file);

// Sets the file's attributes (opened with FILE_WRITE_ATTRIBUTES access).
DWORD setAttributes(HANDLE file, DWORD attributes);

struct Entry {
    std::wstring name;
    DWORD attributes;
};

// Every entry of the directory open on directory, as it is now, without "." and "..", in the file system's
// order.
DWORD list(HANDLE directory, std::vector<Entry>& entries);

// The entries whose names match pattern (the file system's wildcards, * and ?, compared as it compares
// names; the file system itself skips the others), at most limit of them: the listing stops there.
DWORD list(HANDLE directory, const std::wstring& pattern, std::size_t limit, std::vector<Entry>& entries);

// Which file a handle is open on: its volume's serial number and its file id. The 128-bit id of FILE_ID_INFO
// where the file system gives one (on ReFS the 64-bit index is not unique); otherwise the 64-bit index of
// BY_HANDLE_FILE_INFORMATION (Windows 7 lacks the class; so may a file system) in the first 8 bytes.
struct Identity {
    bool wide = false;     // from FILE_ID_INFO
    ULONGLONG volume = 0;  // 64 bits wide, 32 otherwise
    unsigned char id[16] = {};
};
// True exactly when the two identities name one file: both of one kind, the same volume and the same id.
// Pure.
bool sameFile(const Identity& a, const Identity& b);
DWORD identify(HANDLE file, Identity& identity);

// The file's own path as the system resolves it (no link left in it), in DOS form.
DWORD finalPath(HANDLE file, std::wstring& path);

// ERROR_SUCCESS when the file's own path is expected (compared as the file system compares names, without
// regard to case): the file was opened as itself, not through a link a file system followed.
// ERROR_CANT_ACCESS_FILE when it is another.
DWORD checkFinalPath(HANDLE file, const std::wstring& expected);

// ERROR_SUCCESS when path, looked up by name as a program start looks it up (the one other call here that
// is), names the very file open on file, and the system's own path normalisation (GetFullPathNameW) gives
// it back unchanged, so what is checked is what a call given the path opens. ERROR_BAD_PATHNAME for a
// device path (\\?\..., \\.\..., which normalisation skips) or a path that normalisation changes (a name
// ending in a dot or a space, "." or ".." segments, a relative path); ERROR_CANT_ACCESS_FILE when it opens
// another file; the open's error when it opens none.
DWORD checkNamesFile(const std::wstring& path, HANDLE file);

// ERROR_SUCCESS when the file is a plain file (not a directory, not a link) with exactly one name.
DWORD checkPlainSingleFile(HANDLE file);

// ERROR_SUCCESS when the volume of the file keeps access lists and is local; ERROR_NOT_SUPPORTED otherwise.
DWORD checkVolumeKeepsAccessLists(HANDLE file);

// A final path as GetFinalPathNameByHandle gives it (\\?\C:\dir, \\?\UNC\server\share\dir) in the form
// programs are started with (C:\dir, \\server\share\dir). Any other form (\\?\Volume{...}\dir, a device
// name) has none and is returned unchanged. Pure.
std::wstring dosFormOfFinalPath(const std::wstring& finalPath);

// True for a path in one of the device forms that Win32 normalisation passes over: \\?\..., \\.\...,
// \??\... (either separator). Pure.
bool isDevicePath(const std::wstring& path);

}  // namespace HandleFiles
