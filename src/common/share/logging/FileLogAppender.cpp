#include "common/share/logging/FileLogAppender.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include "windows/common/FileUtils.h"
#include "windows/common/SysInfo.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr const char* kDefaultLogFileName = "morvane.log";

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
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        int fd = -1;
        // Text mode (the runtime's default): each "\n" reaches the file as CR LF.
        if (_sopen_s(&fd, path_.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT, _SH_DENYWR,
                     _S_IREAD | _S_IWRITE) == 0) {
            (void)_write(fd, text.data(), static_cast<unsigned>(text.size()));
            _close(fd);
            return;
        }
        Sleep(1);
    }
}
