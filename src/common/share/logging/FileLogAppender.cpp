#include "common/share/logging/FileLogAppender.h"

#include "common/share/tstrings.h"
#include "windows/common/FileUtils.h"
#include "windows/common/handles/HandleFiles.h"
#include "windows/common/handles/UserTempDirectory.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr ACCESS_MASK kDirectoryAccess = FILE_TRAVERSE | SYNCHRONIZE;
constexpr const char* kDefaultLogFileName = "morvane.log";

// Writes text at the end of the open file, or nothing: a write cut short (a full disk) is cut off again,
// so the next record does not continue a torn one. The file is held deny-write, so no other writer can
// have appended in between. Returns the write's error (ERROR_DISK_FULL for a write cut short without one).
DWORD appendWhole(HANDLE file, const std::string& text) {
    LARGE_INTEGER end{};
    if (!GetFileSizeEx(file, &end)) return GetLastError();
    OVERLAPPED at{};
    at.Offset = end.LowPart;
    at.OffsetHigh = static_cast<DWORD>(end.HighPart);
    DWORD written = 0;
    const bool wrote = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, &at);
    if (wrote && written == text.size()) return ERROR_SUCCESS;
    const DWORD error = wrote ? ERROR_DISK_FULL : GetLastError();
    FILE_END_OF_FILE_INFO cut{};
    cut.EndOfFile = end;
    SetFileInformationByHandle(file, FileEndOfFileInfo, &cut, sizeof(cut));
    return error;
}

// ERROR_SUCCESS when the log file opened is a plain file with no other name (on Windows a link, opened as
// itself, is not plain) and, where the directory's own path is known, its own path is expectedPath: Wine
// follows a link despite FILE_OPEN_REPARSE_POINT, and only the path it ends at tells.
DWORD checkOwnPlainFile(HANDLE file, const std::wstring& expectedPath) {
    if (const DWORD error = HandleFiles::checkPlainSingleFile(file)) return error;
    return expectedPath.empty() ? ERROR_SUCCESS : HandleFiles::checkFinalPath(file, expectedPath);
}

// Opens the log, or creates it when there is nothing under its name. Not in one step (FILE_OPEN_IF): a
// file system that follows a link despite FILE_OPEN_REPARSE_POINT (Wine's) would create the file a link
// to nothing points to, while creating a new file refuses any existing name, a link's included.
DWORD openLog(HANDLE directory, const std::wstring& name, UniqueHandle& file) {
    constexpr ACCESS_MASK kAccess = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_READ_ATTRIBUTES;
    const DWORD error = HandleFiles::open(directory, name, kAccess, FILE_SHARE_READ, FILE_OPEN,
                                          FILE_NON_DIRECTORY_FILE, file);
    if (error != ERROR_FILE_NOT_FOUND) return error;
    return HandleFiles::open(directory, name, kAccess, FILE_SHARE_READ, FILE_CREATE, FILE_NON_DIRECTORY_FILE,
                             file);
}

// The directory at path (UTF-8), opened to hold: traversal only.
DWORD openDirectory(const std::string& path, UniqueHandle& directory) {
    return HandleFiles::openDirectory(tstrings::fromUtf8(path), kDirectoryAccess, directory);
}

}  // namespace

std::string logFilePath(const std::string& name, const std::string& tempDir) {
    // A name without a file-name part ("" or "logs\\") would make the path the directory itself, which
    // can never be opened as a file, so every record would be lost.
    const std::string file = FileUtils::fileName(name);
    return FileUtils::joinPath(tempDir, file.empty() ? kDefaultLogFileName : file);
}

std::string withCrLf(const std::string& text) {
    std::string converted;
    converted.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
        if (c == '\n') converted += '\r';
        converted += c;
    }
    return converted;
}

FileLogAppender::FileLogAppender(const std::string& name)
    : path_(logFilePath(name, UserTempDirectory::path())) {
    UniqueHandle directory;
    const DWORD error = UserTempDirectory::path().empty()
                            ? openDirectory(".", directory)
                            : UserTempDirectory::reopen(kDirectoryAccess, directory);
    hold(error, std::move(directory));
}

FileLogAppender::FileLogAppender(const std::string& name, const std::string& directory)
    : path_(logFilePath(name, directory)) {
    UniqueHandle opened;
    const DWORD error = openDirectory(directory.empty() ? std::string(".") : directory, opened);
    hold(error, std::move(opened));
}

void FileLogAppender::hold(DWORD error, UniqueHandle directory) {
    fileName_ = tstrings::fromUtf8(FileUtils::fileName(path_));
    directoryError_ = error;
    if (error != ERROR_SUCCESS) return;
    directory_ = std::move(directory);
    // A directory whose own path the system cannot give (past MAX_PATH under Wine, a volume the mount
    // manager does not know on Windows) still gets its records.
    std::wstring directoryPath;
    if (HandleFiles::finalPath(directory_.get(), directoryPath) != ERROR_SUCCESS) return;
    // A root's own path ends in its separator ("T:\\").
    if (!directoryPath.empty() && directoryPath.back() == L'\\') directoryPath.pop_back();
    expectedFinalPath_ = directoryPath + L"\\" + fileName_;
}

FileLogAppender::~FileLogAppender() = default;

DWORD FileLogAppender::append(const LogRecord& record) {
    if (directoryError_ != ERROR_SUCCESS) return directoryError_;
    const std::string text = withCrLf(formatLogRecord(record));
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        UniqueHandle file;
        error = openLog(directory_.get(), fileName_, file);
        if (error == ERROR_SUCCESS) {
            if (const DWORD notOwn = checkOwnPlainFile(file.get(), expectedFinalPath_)) return notOwn;
            return appendWhole(file.get(), text);
        }
        Sleep(1);
    }
    return error;
}
