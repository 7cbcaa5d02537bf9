#include "windows/wrappers/kiteboot/HeldDirectory.h"

#include <exception>
#include <ostream>

#include "common/share/errors/SourceLocation.h"
#include "common/share/logging/Logger.h"
#include "common/share/tstrings.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/FileRecords.h"
#include "windows/common/FileUtils.h"
#include "windows/common/handles/HandleFiles.h"
#include "windows/common/handles/HandleStreamBuf.h"

namespace {

// The longest directory path the directory calls take: room is left for a file name of 8.3 form, as
// CreateDirectory requires. The payload is started and runs by paths inside it.
constexpr std::size_t kLongestDirectoryPath = MAX_PATH - 12 - 1;
// How long the clean-up tries again while something still holds a file or the directory (a console host
// the payload started keeps the directory as its working directory until just after the payload ends).
constexpr DWORD kCleanUpRetryMs = 3000;
constexpr DWORD kCleanUpPauseMs = 50;
constexpr ULONG kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Errors after which a removal may succeed a moment later: another handle to the file or directory, or a
// child whose deletion waits for another handle to it to close.
bool isPassing(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_DIR_NOT_EMPTY;
}

// Marks child for deletion; a read-only file loses that attribute first, as the file utilities do.
DWORD markForDeletion(HANDLE child, const std::string& path, DWORD attributes) {
    DWORD error = HandleFiles::markForDeletion(child);
    if (error != ERROR_ACCESS_DENIED || (attributes & FILE_ATTRIBUTE_READONLY) == 0) return error;
    if (HandleFiles::setAttributes(child, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY)) ==
        ERROR_SUCCESS) {
        LOG_TRACE(FileUtils::discardedReadOnlyText(path));
        error = HandleFiles::markForDeletion(child);
    }
    return error;
}

void reportLeftover(bool folder, const std::string& path, DWORD error) {
    if (folder) {
        LOG_ERROR(FileUtils::leftoverText("RemoveDirectory", path, functionAddress(RemoveDirectoryW), error));
    } else {
        LOG_ERROR(FileUtils::leftoverText("DeleteFile", path, functionAddress(DeleteFileW), error));
    }
}

// Removes one entry of the directory open on parent (whose final path is parentFinal).
DWORD removeChild(HANDLE parent, const std::wstring& parentFinal, const HandleFiles::Entry& entry,
                  const std::string& path, bool report) {
    const bool folder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                        (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    const ACCESS_MASK access =
        DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | (folder ? FILE_LIST_DIRECTORY : 0);
    UniqueHandle child;
    DWORD error = HandleFiles::open(parent, entry.name, access, HandleFiles::kShareAll, FILE_OPEN, 0, child);
    if (error == ERROR_SUCCESS)
        error = HandleFiles::checkFinalPath(child.get(), parentFinal + L"\\" + entry.name);
    if (error == ERROR_SUCCESS && folder) {
        // What stays inside was reported there; the folder then stays without a report of its own.
        if (const DWORD inner = removeChildren(child.get(), path, report)) return inner;
    }
    if (error == ERROR_SUCCESS) error = markForDeletion(child.get(), path, entry.attributes);
    if (error == ERROR_SUCCESS) {
        child.reset();
        LOG_TRACE(FileUtils::deletedText(path, folder));
        return ERROR_SUCCESS;
    }
    if (report) reportLeftover(folder, path, error);
    return error;
}

}  // namespace

DWORD removeChildren(HANDLE directory, const std::string& path, bool report) {
    std::vector<HandleFiles::Entry> entries;
    std::wstring directoryFinal;
    DWORD first = HandleFiles::list(directory, entries);
    // Only a child needs the final path (to be opened as itself): an empty directory goes without it.
    if (first == ERROR_SUCCESS && !entries.empty()) first = HandleFiles::finalPath(directory, directoryFinal);
    if (first != ERROR_SUCCESS) {
        if (report) reportLeftover(true, path, first);
        return first;
    }
    for (const HandleFiles::Entry& entry : entries) {
        const std::string childPath = FileUtils::joinPath(path, tstrings::toUtf8(entry.name));
        const DWORD error = removeChild(directory, directoryFinal, entry, childPath, report);
        if (first == ERROR_SUCCESS) first = error;
    }
    return first;
}

DWORD HeldDirectory::create(const TempDirectory& temp, const std::string& path,
                            PSECURITY_DESCRIPTOR descriptor, std::unique_ptr<HeldDirectory>& directory) {
    if (tstrings::fromUtf8(path).size() > kLongestDirectoryPath) return ERROR_FILENAME_EXCED_RANGE;
    // A volume without access lists cannot keep the directory to administrators; a remote one is not
    // this machine's to guard.
    if (const DWORD error = HandleFiles::checkVolumeKeepsAccessLists(temp.get())) return error;
    UniqueHandle hold;
    if (const DWORD error = HandleFiles::open(temp.get(), tstrings::fromUtf8(FileUtils::fileName(path)),
                                              HandleFiles::kHoldDirectory, kShareReadWrite, FILE_CREATE,
                                              FILE_DIRECTORY_FILE, hold, descriptor))
        return error;
    std::unique_ptr<HeldDirectory> made(new HeldDirectory(path, std::move(hold)));
    // A handle without access takes part in no sharing check: it stays when the hold is closed for the
    // deletion, and names this directory wherever it is.
    if (const DWORD error = HandleFiles::reopen(made->hold_.get(), 0, HandleFiles::kShareAll, made->anchor_))
        return error;
    directory = std::move(made);
    return ERROR_SUCCESS;
}

HeldDirectory::HeldDirectory(std::string path, UniqueHandle hold)
    : path_(std::move(path)), hold_(std::move(hold)) {}

HeldDirectory::~HeldDirectory() {
    removeAll();
}

std::string HeldDirectory::finalPath() const {
    std::wstring path;
    ZOR_THROW_IF_WIN32_ERROR(GetFinalPathNameByHandleW, HandleFiles::finalPath(hold_.get(), path),
                             "GetFinalPathNameByHandle(" << path_ << ") failed");
    return tstrings::toUtf8(path);
}

HANDLE HeldDirectory::saveFile(const std::string& name, const std::function<void(std::ostream&)>& write) {
    UniqueHandle file;
    std::string current = FileUtils::createTempFile("zor", ".tmp", path_, [&](const std::string& path) {
        return createFileIn(hold_.get(), path, GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                            file) == ERROR_SUCCESS;
    });
    try {
        {
            HandleStreamBuf buffer(file.get());
            std::ostream out(&buffer);
            out.exceptions(std::ios::badbit | std::ios::failbit);
            try {
                write(out);
            } catch (const std::ios_base::failure&) {
                // The stream's own text names no cause; the system's error does ("There is not enough
                // space on the disk"). Where the system named none, the stream's failure goes on.
                ZOR_THROW_IF_WIN32_ERROR(WriteFile, buffer.error(), "WriteFile(" << current << ") failed");
                throw;
            }
        }
        const std::string target = FileUtils::joinPath(path_, name);
        ZOR_THROW_IF_WIN32_ERROR(MoveFileExW,
                                 HandleFiles::rename(file.get(), hold_.get(), tstrings::fromUtf8(name)),
                                 "MoveFileEx(" << current << ", " << target << ", 0) failed");
        LOG_TRACE(FileUtils::describeMove(current, target, 0, false));
        current = target;
        // The writing handle must go before the payload can be started (the loader shares no writing), and
        // the hold cannot share with a writer: a handle without access bridges the two, so the file is never
        // looked up by name again. It stays as the anchor the file is deleted through at the end.
        HeldFile held{target, UniqueHandle(), UniqueHandle()};
        DWORD error = HandleFiles::reopen(file.get(), 0, HandleFiles::kShareAll, held.anchor);
        if (error == ERROR_SUCCESS) {
            file.reset();
            error = holdForReading(held);
        }
        ZOR_THROW_IF_WIN32_ERROR(CreateFileW, error, "CreateFile(" << target << ") failed");
        files_.push_back(std::move(held));
        return files_.back().hold.get();
    } catch (const std::exception&) {
        // Everything here throws std::exception's kinds; the half-written file goes at once, by its handle.
        if (file.owned() && HandleFiles::markForDeletion(file.get()) == ERROR_SUCCESS) {
            file.reset();
            LOG_TRACE(FileUtils::deletedText(current, false));
        }
        throw;
    }
}

DWORD HeldDirectory::checkHoldsOnly(HANDLE file) const {
    std::vector<HandleFiles::Entry> entries;
    if (const DWORD error = HandleFiles::list(hold_.get(), entries)) return error;
    if (entries.size() != 1 || (entries.front().attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return ERROR_CANT_ACCESS_FILE;
    UniqueHandle entry;
    if (const DWORD error =
            HandleFiles::open(hold_.get(), entries.front().name, FILE_READ_ATTRIBUTES, HandleFiles::kShareAll,
                              FILE_OPEN, FILE_NON_DIRECTORY_FILE, entry))
        return error;
    HandleFiles::Identity listed;
    HandleFiles::Identity held;
    if (const DWORD error = HandleFiles::identify(entry.get(), listed)) return error;
    if (const DWORD error = HandleFiles::identify(file, held)) return error;
    return HandleFiles::sameFile(listed, held) ? ERROR_SUCCESS : ERROR_CANT_ACCESS_FILE;
}

std::string HeldDirectory::startDirectory() const {
    std::wstring path;
    return HandleFiles::finalPath(hold_.get(), path) == ERROR_SUCCESS ? tstrings::toUtf8(path) : path_;
}

DWORD HeldDirectory::checkNamedBy(const std::string& path) const {
    return HandleFiles::checkNamesFile(tstrings::fromUtf8(path), hold_.get());
}

DWORD HeldDirectory::holdChain(const std::string& path, HeldPath& chain) const {
    if (const DWORD error = chain.hold(tstrings::fromUtf8(path))) return error;
    HandleFiles::Identity last;
    HandleFiles::Identity own;
    if (const DWORD error = HandleFiles::identify(chain.last(), last)) return error;
    if (const DWORD error = HandleFiles::identify(hold_.get(), own)) return error;
    return HandleFiles::sameFile(last, own) ? ERROR_SUCCESS : ERROR_CANT_ACCESS_FILE;
}

void HeldDirectory::removeAll() noexcept {
    if (!anchor_.owned() && files_.empty()) return;
    try {
        const DWORD start = GetTickCount();
        DWORD error = ERROR_SUCCESS;
        while (isPassing(error = removeOnce(false)) && GetTickCount() - start < kCleanUpRetryMs)
            Sleep(kCleanUpPauseMs);
        if (error != ERROR_SUCCESS) removeOnce(true);
    }
    ZOR_REPORT_EXCEPTIONS
    files_.clear();
    hold_.reset();
    anchor_.reset();
}

DWORD HeldDirectory::removeOnce(bool report) {
    DWORD error = removeHeldFiles(report);
    // A failed deletion of the directory itself takes the hold again; when another handle was in the way
    // of that too, it is taken here, and a sharing violation is tried again like the others.
    if (!hold_.owned()) {
        const DWORD held =
            HandleFiles::reopen(anchor_.get(), HandleFiles::kHoldDirectory, kShareReadWrite, hold_);
        if (held != ERROR_SUCCESS) {
            if (report) reportLeftover(true, path_, held);
            return held;
        }
    }
    const DWORD children = removeChildren(hold_.get(), path_, report);
    if (error == ERROR_SUCCESS) error = children;
    // A directory that still has contents is not removed, and its leftovers were reported.
    return error == ERROR_SUCCESS ? removeSelf(report) : error;
}

DWORD HeldDirectory::holdForReading(HeldFile& file) {
    // Reading only, so the payload may open its own file sharing reading only, as installers do.
    return HandleFiles::reopen(file.anchor.get(), GENERIC_READ, FILE_SHARE_READ, file.hold);
}

DWORD HeldDirectory::removeHeldFiles(bool report) {
    DWORD first = ERROR_SUCCESS;
    for (HeldFile& file : files_) {
        if (!file.anchor.owned()) continue;
        // The hold shares no deletion, so it goes first; the deleting handle comes from the anchor.
        file.hold.reset();
        UniqueHandle deleter;
        DWORD error = HandleFiles::reopen(file.anchor.get(), DELETE, HandleFiles::kShareAll, deleter);
        if (error == ERROR_SUCCESS) error = HandleFiles::markForDeletion(deleter.get());
        deleter.reset();
        if (error == ERROR_SUCCESS) {
            file.anchor.reset();
            LOG_TRACE(FileUtils::deletedText(file.path, false));
            continue;
        }
        holdForReading(file);
        if (report) reportLeftover(false, file.path, error);
        if (first == ERROR_SUCCESS) first = error;
    }
    return first;
}

DWORD HeldDirectory::removeSelf(bool report) {
    // The hold shares no deletion, so it goes first; the deleting handle is reopened from the anchor, which
    // is this directory wherever it is.
    hold_.reset();
    UniqueHandle deleter;
    DWORD error = HandleFiles::reopen(anchor_.get(), DELETE, kShareReadWrite, deleter);
    if (error == ERROR_SUCCESS) error = HandleFiles::markForDeletion(deleter.get());
    deleter.reset();
    if (error == ERROR_SUCCESS) {
        anchor_.reset();
        LOG_TRACE(FileUtils::deletedText(path_, true));
        return ERROR_SUCCESS;
    }
    HandleFiles::reopen(anchor_.get(), HandleFiles::kHoldDirectory, kShareReadWrite, hold_);
    if (report) reportLeftover(true, path_, error);
    return error;
}
