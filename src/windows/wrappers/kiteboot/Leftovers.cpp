#include "windows/wrappers/kiteboot/Leftovers.h"

#include <exception>
#include <vector>

#include "common/share/logging/Logger.h"
#include "common/share/tstrings.h"
#include "common/windows/WinAutoHandle.h"
#include "windows/common/FileRecords.h"
#include "windows/common/FileUtils.h"
#include "windows/common/handles/HandleFiles.h"
#include "windows/wrappers/kiteboot/HeldDirectory.h"
#include "windows/wrappers/kiteboot/LeftoverRules.h"

namespace {

// Deletion, the descriptor, listing (for the removal of the contents) and the attributes. Reading only is
// shared, so the contents can be listed through a handle of their own; a handle of anyone else that does not
// share deletion makes the open fail, and while this one is held nobody can write, rename or delete the
// directory or open it without sharing deletion.
constexpr ACCESS_MASK kReclaimAccess =
    DELETE | READ_CONTROL | FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

bool isPlainDirectory(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// The directory opened is itself a directory, not a link, whatever the listing said a moment before.
bool isPlainDirectory(HANDLE directory) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(directory, FileAttributeTagInfo, &tag, sizeof(tag)) &&
           isPlainDirectory(tag.FileAttributes);
}

// The owner and access list of the file open on file, as the system keeps them.
bool readDescriptor(HANDLE file, std::vector<unsigned char>& descriptor) {
    constexpr SECURITY_INFORMATION kWanted = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    DWORD needed = 0;
    descriptor.assign(512, 0);
    if (GetKernelObjectSecurity(file, kWanted, descriptor.data(), static_cast<DWORD>(descriptor.size()),
                                &needed))
        return true;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    descriptor.assign(needed, 0);
    return GetKernelObjectSecurity(file, kWanted, descriptor.data(), needed, &needed);
}

// True when the directory holds anything. An empty one is left: it takes no room, and a live launcher's
// directory is empty, and for a moment without its hold, while that launcher deletes it.
bool holdsAnything(HANDLE directory) {
    std::vector<HandleFiles::Entry> entries;
    return HandleFiles::list(directory, std::wstring(), 1, entries) == ERROR_SUCCESS && !entries.empty();
}

// The final path of the entry name of the directory whose final path is directoryFinal, with exactly one
// separator between them (a TEMP at a drive root ends in one already).
std::wstring finalPathOf(const std::wstring& directoryFinal, const std::wstring& name) {
    return tstrings::fromUtf8(FileUtils::joinPath(tstrings::toUtf8(directoryFinal), tstrings::toUtf8(name)));
}

// Opens the entry name of temp when it is a leftover by every rule but the descriptor's, which decide
// makes. Returns the handle, or none.
UniqueHandle openLeftover(HANDLE temp, const std::wstring& tempFinal, const std::wstring& name,
                          const std::string& path, const DescriptorDecision& decide) {
    UniqueHandle directory;
    if (HandleFiles::open(temp, name, kReclaimAccess, FILE_SHARE_READ, FILE_OPEN, FILE_DIRECTORY_FILE,
                          directory) != ERROR_SUCCESS ||
        !isPlainDirectory(directory.get()) ||
        HandleFiles::checkFinalPath(directory.get(), finalPathOf(tempFinal, name)) != ERROR_SUCCESS ||
        !holdsAnything(directory.get()))
        return {};
    std::vector<unsigned char> descriptor;
    if (!readDescriptor(directory.get(), descriptor) || !decide(path, descriptor.data())) return {};
    return directory;
}

// Removes the contents, then the directory through the handle; true once it is gone.
bool removeLeftover(UniqueHandle directory, const std::string& path) {
    if (removeChildren(directory.get(), path, false) != ERROR_SUCCESS ||
        HandleFiles::markForDeletion(directory.get()) != ERROR_SUCCESS)
        return false;
    directory.reset();
    LOG_TRACE(FileUtils::deletedText(path, true));
    return true;
}

void reclaim(const TempDirectory& temp, const DescriptorDecision& decide, const LeftoverBounds& bounds) {
    std::wstring tempFinal;
    std::vector<HandleFiles::Entry> entries;
    if (!temp.get() || HandleFiles::finalPath(temp.get(), tempFinal) != ERROR_SUCCESS ||
        HandleFiles::list(temp.get(), L"zor*.tmp", bounds.listed, entries) != ERROR_SUCCESS)
        return;
    std::size_t examined = 0;
    std::size_t removed = 0;
    for (const HandleFiles::Entry& entry : entries) {
        if (examined == bounds.examined || removed == bounds.removed) return;
        if (!isSecureDirectoryName(entry.name) || !isPlainDirectory(entry.attributes)) continue;
        ++examined;
        const std::string path = FileUtils::joinPath(temp.path(), tstrings::toUtf8(entry.name));
        UniqueHandle directory = openLeftover(temp.get(), tempFinal, entry.name, path, decide);
        if (directory.owned() && removeLeftover(std::move(directory), path)) ++removed;
    }
}

}  // namespace

void reclaimLeftovers(const TempDirectory& temp, const DescriptorDecision& decide,
                      const LeftoverBounds& bounds) noexcept {
    try {
        reclaim(temp, decide, bounds);
    } catch (const std::exception&) {
        // ntdll's file calls that cannot be bound, or no memory: left for a later run, silently, like
        // everything else that cannot be removed.
    }
}
