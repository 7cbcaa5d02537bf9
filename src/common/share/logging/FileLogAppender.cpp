#include "common/share/logging/FileLogAppender.h"

#include "common/share/tstrings.h"
#include "windows/common/FileUtils.h"
#include "windows/common/SysInfo.h"
#include "windows/common/handles/HandleFiles.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr const char* kDefaultLogFileName = "morvane.log";

// Writes text at the end of the open file, or nothing: a write cut short (a full disk) is cut off again,
// so the next record does not continue a torn one. The file is held deny-write, so no other writer can
// have appended in between.
void appendWhole(HANDLE file, const std::string& text) {
    LARGE_INTEGER end{};
    if (!GetFileSizeEx(file, &end)) return;
    OVERLAPPED at{};
    at.Offset = end.LowPart;
    at.OffsetHigh = static_cast<DWORD>(end.HighPart);
    DWORD written = 0;
    if (!WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, &at) ||
        written != text.size()) {
        FILE_END_OF_FILE_INFO cut{};
        cut.EndOfFile = end;
        SetFileInformationByHandle(file, FileEndOfFileInfo, &cut, sizeof(cut));
    }
}

// True when the log file opened is the plain file at expectedPath with no other name.
bool isOwnPlainFile(HANDLE file, const std::wstring& expectedPath) {
    std::wstring actual;
    return !expectedPath.empty() && HandleFiles::checkPlainSingleFile(file) == ERROR_SUCCESS &&
           HandleFiles::finalPath(file, actual) == ERROR_SUCCESS &&
           CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expectedPath.c_str(),
                                static_cast<int>(expectedPath.size()), TRUE) == CSTR_EQUAL;
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

FileLogAppender::FileLogAppender(const std::string& name) {
    const std::string tempDir = SysInfo::getTempDir();
    path_ = logFilePath(name, tempDir);
    fileName_ = tstrings::fromUtf8(FileUtils::fileName(path_));
    const std::wstring directory = tstrings::fromUtf8(tempDir.empty() ? std::string(".") : tempDir);
    HANDLE handle = CreateFileW(directory.c_str(), FILE_TRAVERSE | SYNCHRONIZE, HandleFiles::kShareAll,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    directory_.reset(handle);
    std::wstring directoryPath;
    if (HandleFiles::finalPath(directory_.get(), directoryPath) != ERROR_SUCCESS) return;
    expectedFinalPath_ = directoryPath + L"\\" + fileName_;
}

FileLogAppender::~FileLogAppender() = default;

void FileLogAppender::append(const LogRecord& record) {
    if (!directory_.owned()) return;
    const std::string text = withCrLf(formatLogRecord(record));
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        UniqueHandle file;
        if (openLog(directory_.get(), fileName_, file) == ERROR_SUCCESS) {
            if (isOwnPlainFile(file.get(), expectedFinalPath_)) appendWhole(file.get(), text);
            return;
        }
        Sleep(1);
    }
}
