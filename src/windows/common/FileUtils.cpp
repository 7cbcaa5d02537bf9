// Creating, moving and deleting files and directories, and the scoped deleter that removes what the
// launcher leaves on disk. Every successful change on disk is logged at TRACE.
#include <algorithm>
#include <cstdint>
#include <memory>

#include "common/share/errors/SourceLocation.h"
#include "common/share/errors/ZorError.h"
#include "common/share/logging/Logger.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/FileRecords.h"
#include "windows/common/FileUtils.h"
#include "windows/common/WidePath.h"

namespace FileUtils {

namespace {

constexpr DWORD kTempNameAttempts = 100;

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

bool isDirectory(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// True when path names a directory now; a path whose attributes cannot be read names none.
bool isExistingDirectory(const std::string& path) {
    DWORD attributes = 0;
    return fileAttributes(path, attributes) == ERROR_SUCCESS && isDirectory(attributes);
}

// A junction or a symbolic link: removing it must not reach what it points to.
bool isLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The target of a removal is already gone: it, or its directory, was not found.
bool isNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Characters refused in the prefix and suffix of a temporary name: the control characters 0x00 to 0x1F,
// then < > : " | ? * / and backslash.
std::string invalidFileNameChars() {
    std::string chars;
    for (char c = 0; c < 0x20; ++c)
        chars.push_back(c);
    chars += "<>:\"|?*/\\";
    return chars;
}

// Creates path as a new empty file. Any failure (name taken, directory missing, access denied) counts as
// a name already taken and is not examined.
bool createNewFile(const std::string& path) {
    std::wstring wide;
    if (widePath(path, wide) != ERROR_SUCCESS) return false;
    UniqueHandle file(
        CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    file.reset();
    LOG_TRACE(createdText(path, false));
    return true;
}

// Creates one directory; an existing directory of that name is success, whatever CreateDirectory said.
void createDir(std::string path) {
    std::wstring wide;
    DWORD error = widePath(path, wide);
    if (error == ERROR_SUCCESS) {
        if (CreateDirectoryW(wide.c_str(), nullptr)) {
            LOG_TRACE(createdText(path, true));
            return;
        }
        error = GetLastError();
    }
    if (isExistingDirectory(path)) return;
    ZOR_THROW_SYS_ERROR(CreateDirectoryW, error, "CreateDirectory(" << path << ") failed");
}

// MoveFileEx with logging; an empty destination deletes (at once, or at the next start with
// MOVEFILE_DELAY_UNTIL_REBOOT).
void moveFileImpl(const std::string& from, const std::string& to, DWORD flags) {
    const bool folder = isExistingDirectory(from);
    std::wstring wideFrom;
    std::wstring wideTo;
    DWORD error = widePath(from, wideFrom);
    if (error == ERROR_SUCCESS) error = widePath(to, wideTo);
    if (error == ERROR_SUCCESS &&
        !MoveFileExW(wideFrom.c_str(), to.empty() ? nullptr : wideTo.c_str(), flags))
        error = GetLastError();
    ZOR_THROW_IF_WIN32_ERROR(MoveFileExW, error,
                             "MoveFileEx(" << from << ", " << to << ", " << flags << ") failed");
    LOG_TRACE(describeMove(from, to, flags, folder));
}

// DeleteFile, counting an absent file as deleted: ERROR_SUCCESS or DeleteFile's error.
DWORD deleteFileImpl(const std::string& path) {
    std::wstring wide;
    DWORD error = widePath(path, wide);
    if (error == ERROR_SUCCESS) {
        if (DeleteFileW(wide.c_str())) {
            LOG_TRACE(deletedText(path, false));
            return ERROR_SUCCESS;
        }
        error = GetLastError();
    }
    return isNotFound(error) ? ERROR_SUCCESS : error;
}

// Registers path for deletion at the next system start. Failures are reported, never thrown.
void deleteOnReboot(const std::string& path) noexcept {
    try {
        moveFileImpl(path, std::string(), MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    ZOR_REPORT_EXCEPTIONS
}

// ---- Batch deletion of directory contents.

bool deleteDirectoryTree(const std::string& dir);

// Deletes each file it is shown and remembers whether one stayed; the walk goes on past it.
class DeleteFilesCallback : public DirectoryCallback {
public:
    bool visitFile(const std::string& path) override {
        if (const DWORD error = deleteFile(path, std::nothrow)) {
            LOG_ERROR(leftoverText("DeleteFile", path, functionAddress(DeleteFileW), error));
            failed = true;
        }
        return true;
    }

    bool failed = false;
};

// Also removes each subdirectory with everything in it.
class DeleteAllCallback : public DeleteFilesCallback {
public:
    bool visitDirectory(const std::string& path) override {
        if (!deleteDirectoryTree(path)) failed = true;
        return true;
    }
};

// Empties one directory of its files, or (recursive) removes it with everything in it.
class BatchDeleter {
public:
    BatchDeleter(const std::string& directory, bool recursive)
        : directory_(directory), recursive_(recursive) {}

    // True when nothing is left of what was asked: the path is absent, or every file (and, recursive,
    // every subdirectory and the directory itself) was removed. Never throws.
    bool execute();

private:
    bool deleteContents();

    std::string directory_;
    bool recursive_;
};

bool BatchDeleter::execute() {
    DWORD attributes = 0;
    if (fileAttributes(directory_, attributes) != ERROR_SUCCESS) return true;
    if (!isDirectory(attributes)) return false;
    try {
        // A link inside (or as) a tree is removed as a link; its target's contents are not ours.
        if (!(recursive_ && isLink(attributes)) && !deleteContents()) return false;
        if (!recursive_) return true;
        const DWORD error = deleteDirectory(directory_, std::nothrow);
        if (error == ERROR_SUCCESS) return true;
        LOG_ERROR(leftoverText("RemoveDirectory", directory_, functionAddress(RemoveDirectoryW), error));
        return false;
    }
    ZOR_REPORT_EXCEPTIONS
    return false;
}

bool BatchDeleter::deleteContents() {
    std::unique_ptr<DeleteFilesCallback> callback;
    if (recursive_) {
        callback = std::make_unique<DeleteAllCallback>();
    } else {
        callback = std::make_unique<DeleteFilesCallback>();
    }
    iterateDirectory(directory_, *callback);
    return !callback->failed;
}

bool deleteFilesInDirectory(const std::string& dir) {
    return BatchDeleter(dir, false).execute();
}

bool deleteDirectoryTree(const std::string& dir) {
    return BatchDeleter(dir, true).execute();
}

// ---- The scoped deleter's entries: kind = 2 * type + 1 when the reboot fallback applies.

enum EntryType { kFile = 0, kDirectoryFiles = 1, kDirectoryTree = 2, kEmptyDirectory = 3 };

// What cannot be removed stays: the reboot fallback, where it applies, looks at what is left.
void deleteNow(const std::string& path, int type) {
    switch (type) {
        case kFile:
            deleteFile(path, std::nothrow);
            break;
        case kDirectoryFiles:
            deleteFilesInDirectory(path);
            break;
        case kDirectoryTree:
            deleteDirectoryTree(path);
            break;
        case kEmptyDirectory:
            deleteDirectory(path, std::nothrow);
            break;
    }
}

// What an entry left on disk, in the order to schedule it: contents before the directory holding them.
// Throws what a directory listing throws.
std::vector<std::string> leftoversToSchedule(const std::string& path, DWORD attributes, int type) {
    std::vector<std::string> paths;
    if (type == kFile) {
        paths.push_back(path);
    } else if (isDirectory(attributes)) {
        if (type == kDirectoryFiles) {
            DirectoryIterator(path).withFiles(true).collectItems(paths);
        } else if (type == kDirectoryTree) {
            paths.push_back(path);
            if (!isLink(attributes)) {
                DirectoryIterator(path).recursive(true).withFiles(true).withDirectories(true).collectItems(
                    paths);
            }
        } else if (type == kEmptyDirectory) {
            paths.push_back(path);
        }
    }
    std::reverse(paths.begin(), paths.end());
    return paths;
}

// Schedules whatever the entry's immediate deletion left behind for deletion at the next start.
void scheduleLeftovers(const std::string& path, int type) {
    DWORD attributes = 0;
    if (fileAttributes(path, attributes) != ERROR_SUCCESS) return;
    for (const std::string& leftover : leftoversToSchedule(path, attributes, type))
        deleteOnReboot(leftover);
}

void processEntry(const std::string& path, ScopedDeleter::EntryKind kind) {
    if (kind < 0 || kind > 7) return;
    deleteNow(path, kind / 2);
    if (kind % 2 != 0) scheduleLeftovers(path, kind / 2);
}

}  // namespace

// ---- Creating.

std::string tempFileName(const std::string& prefix, unsigned long number, const std::string& suffix) {
    const auto signedNumber = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
    return prefix + std::to_string(signedNumber) + suffix;
}

std::string createTempFile(const std::string& prefix, const std::string& suffix, const std::string& dir) {
    return createTempFile(prefix, suffix, dir, createNewFile);
}

std::string createTempFile(const std::string& prefix, const std::string& suffix, const std::string& dir,
                           const NameClaim& claim) {
    const std::string invalidChars = invalidFileNameChars();
    if (prefix.find_first_of(invalidChars) != std::string::npos) {
        ZOR_THROW_RUNTIME_ERROR("Illegal characters in prefix=" << prefix);
    }
    if (suffix.find_first_of(invalidChars) != std::string::npos) {
        ZOR_THROW_RUNTIME_ERROR("Illegal characters in suffix=" << suffix);
    }
    const DWORD ticks = GetTickCount();
    for (DWORD attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        std::string path = joinPath(dir, tempFileName(prefix, ticks + attempt, suffix));
        if (claim(path)) return path;
    }
    ZOR_THROW_RUNTIME_ERROR("createTempFile(" << prefix << ", " << suffix << ", " << dir << ") failed");
}

void createDirectories(const std::string& path) {
    // Every ancestor from the top down, each with its separator, then the path itself.
    const std::string target = stripTrailingSeparators(path) + '\\';
    for (std::size_t i = 0; i < target.size(); ++i) {
        if (isSeparator(target[i])) createDir(target.substr(0, i + 1));
    }
}

// ---- Moving and deleting.

void moveFile(const std::string& from, const std::string& to) {
    createDirectories(parentPath(to));
    moveFileImpl(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
}

DWORD deleteFile(const std::string& path, const std::nothrow_t&) {
    const DWORD error = deleteFileImpl(path);
    if (error != ERROR_ACCESS_DENIED) return error;
    // Access denied: a second chance only for a read-only file.
    std::wstring wide;
    DWORD attributes = 0;
    if (widePath(path, wide) != ERROR_SUCCESS || fileAttributes(path, attributes) != ERROR_SUCCESS ||
        (attributes & FILE_ATTRIBUTE_READONLY) == 0)
        return ERROR_ACCESS_DENIED;
    if (SetFileAttributesW(wide.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY))) {
        LOG_TRACE(discardedReadOnlyText(path));
        return deleteFileImpl(path);
    }
    const DWORD attributeError = GetLastError();
    LOG_WARNING(SysError(MessageBuilder() << "Failed to discard R/O attribute from [" << path
                                          << "] file. File will not be deleted",
                         functionAddress(SetFileAttributesW), attributeError)
                    .what());
    return ERROR_ACCESS_DENIED;
}

void deleteFile(const std::string& path) {
    ZOR_THROW_IF_WIN32_ERROR(DeleteFileW, deleteFile(path, std::nothrow),
                             "DeleteFile(" << path << ") failed");
}

DWORD deleteDirectory(const std::string& path, const std::nothrow_t&) {
    std::wstring wide;
    DWORD error = widePath(path, wide);
    if (error == ERROR_SUCCESS) {
        if (RemoveDirectoryW(wide.c_str())) {
            LOG_TRACE(deletedText(path, true));
            return ERROR_SUCCESS;
        }
        error = GetLastError();
    }
    return isNotFound(error) ? ERROR_SUCCESS : error;
}

void deleteDirectory(const std::string& path) {
    ZOR_THROW_IF_WIN32_ERROR(RemoveDirectoryW, deleteDirectory(path, std::nothrow),
                             "RemoveDirectory(" << path << ") failed");
}

// ---- Scoped clean-up.

ScopedDeleter::~ScopedDeleter() {
    execute();
}

void ScopedDeleter::setRebootFallback(bool on) {
    rebootFallback_ = on;
}

void ScopedDeleter::add(const std::string& path, int type) {
    entries_.emplace_back(path, 2 * type + (rebootFallback_ ? 1 : 0));
}

void ScopedDeleter::addFile(const std::string& path) {
    add(path, kFile);
}

void ScopedDeleter::addDirectoryFiles(const std::string& path) {
    add(path, kDirectoryFiles);
}

void ScopedDeleter::addDirectoryTree(const std::string& path) {
    add(path, kDirectoryTree);
}

void ScopedDeleter::addEmptyDirectory(const std::string& path) {
    add(path, kEmptyDirectory);
}

void ScopedDeleter::cancel() {
    std::vector<std::pair<std::string, EntryKind>>().swap(entries_);
}

void ScopedDeleter::execute() noexcept {
    // Taken out first: a second execute(), or the destructor after this one, finds nothing to do.
    std::vector<std::pair<std::string, EntryKind>> batch;
    batch.swap(entries_);
    // Files first, then directory contents, trees, empty directories; each kind in order of addition.
    std::stable_sort(batch.begin(), batch.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    for (const auto& [path, kind] : batch) {
        // A failure of one entry (a listing that fails in the reboot fallback) is reported; the others go on.
        try {
            processEntry(path, kind);
        }
        ZOR_REPORT_EXCEPTIONS
    }
}

}  // namespace FileUtils
