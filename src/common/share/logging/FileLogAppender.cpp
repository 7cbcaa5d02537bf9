#include "common/share/logging/FileLogAppender.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include "windows/common/FileUtils.h"
#include "windows/common/SysInfo.h"
#include "windows/common/WidePath.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr const char* kDefaultLogFileName = "morvane.log";

// Writes text at the end of the open file, or nothing: a write cut short (a full disk) is cut off again,
// so the next record does not continue a torn one. The file is held deny-write, so no other writer can
// have appended in between.
void appendWhole(int fd, const std::string& text) {
    const long long end = _lseeki64(fd, 0, SEEK_END);
    // In text mode the count is of the bytes given, before each "\n" became "\r\n".
    if (_write(fd, text.data(), static_cast<unsigned>(text.size())) != static_cast<int>(text.size()) &&
        end >= 0)
        (void)_chsize_s(fd, end);
}

}  // namespace

std::string logFilePath(const std::string& name, const std::string& tempDir) {
    // A name without a file-name part ("" or "logs\\") would make the path the directory itself, which
    // can never be opened as a file, so every record would be lost.
    const std::string file = FileUtils::fileName(name);
    return FileUtils::joinPath(tempDir, file.empty() ? kDefaultLogFileName : file);
}

FileLogAppender::FileLogAppender(const std::string& name) : path_(logFilePath(name, SysInfo::getTempDir())) {}

FileLogAppender::~FileLogAppender() = default;

void FileLogAppender::append(const LogRecord& record) {
    const std::string text = formatLogRecord(record);
    const std::optional<std::wstring> path = FileUtils::widePath(path_);
    if (!path) return;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        int fd = -1;
        // Text mode (the runtime's default): each "\n" reaches the file as CR LF.
        if (_wsopen_s(&fd, path->c_str(), _O_WRONLY | _O_APPEND | _O_CREAT, _SH_DENYWR,
                      _S_IREAD | _S_IWRITE) == 0) {
            appendWhole(fd, text);
            _close(fd);
            return;
        }
        Sleep(1);
    }
}
