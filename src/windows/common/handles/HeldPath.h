// Every directory on a path held, so that no name on it can change while the holds last: each directory is
// opened relative to the one above it, sharing reading and writing but not deletion, and a directory that
// is open without delete sharing can be neither renamed nor deleted, nor replaced by a link. A program
// started by a path below it then finds what the path named when the holds were taken.
#pragma once

#include <string>
#include <vector>

#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"

class HeldPath {
public:
    HeldPath() = default;
    HeldPath(const HeldPath&) = delete;
    HeldPath& operator=(const HeldPath&) = delete;

    // Holds every directory of path (a full path in DOS form, "C:\dir\sub" or "\\server\share\dir"), from the
    // first below the root down to the last, each opened by its name relative to the one above it without
    // following a link. ERROR_SUCCESS when all are held; the first open's error otherwise (nothing is then
    // held), ERROR_BAD_PATHNAME for a path without a root of those forms.
    DWORD hold(const std::wstring& path);

    // The last directory held (the root when path had no directory below it); null before a hold.
    HANDLE last() const { return holds_.empty() ? nullptr : holds_.back().get(); }

    // Lets every directory go.
    void release() noexcept { holds_.clear(); }

private:
    std::vector<UniqueHandle> holds_;
};

// The root of path and the names of the directories below it: "C:\" or "\\server\share\" and "dir", "sub".
// False for a path of another form (relative, drive-relative, a device path) or with an empty, "." or ".."
// name. Pure.
bool splitPath(const std::wstring& path, std::wstring& root, std::vector<std::wstring>& names);
