// Appends each record to a log file in the user's temporary directory.
#pragma once

#include <string>

#include "common/share/logging/LogAppender.h"
#include "common/windows/WinAutoHandle.h"

class FileLogAppender : public LogAppender {
public:
    // Only the file-name part of name is used ("morvane.log" when it has none); the file lies in the
    // user's temporary directory as the process looked it up once (UserTempDirectory), or in the current
    // directory when there is none. The directory is opened here; the file is not.
    explicit FileLogAppender(const std::string& name);
    // The same with the file in directory (UTF-8), opened here by its path.
    FileLogAppender(const std::string& name, const std::string& directory);
    ~FileLogAppender() override;

    // Opens the file relative to the directory opened at construction, without following a link (deny-write
    // sharing, up to 10 attempts 1 ms apart), and appends the formatted record in one write if it is a
    // plain file with one name and, where the system can give the directory's own path, its own path is
    // that plus its name; closes it. Otherwise, or when it cannot be opened, the record is dropped.
    // Re-pointing a link on the way to the directory, or putting a link or a second name at the file's,
    // therefore never sends a record anywhere else. Returns ERROR_SUCCESS, or why the record was dropped:
    // the directory's or the last open's error, ERROR_CANT_ACCESS_FILE for a file that is not its own
    // plain file, the write's error.
    DWORD append(const LogRecord& record) override;

    const std::string& path() const { return path_; }

private:
    // Keeps the open directory (or why there is none) and the final path the file must have in it.
    void hold(DWORD error, UniqueHandle directory);

    std::string path_;
    std::wstring fileName_;
    UniqueHandle directory_;
    DWORD directoryError_ = ERROR_SUCCESS;
    std::wstring expectedFinalPath_;  // the directory's own path plus the file name; empty: not known
};

// Where a log file named name lies: its file-name part joined to tempDir ("morvane.log" when name has no
// file-name part); the bare file name when tempDir is empty.
std::string logFilePath(const std::string& name, const std::string& tempDir);

// The record text as it goes into the file: each "\n" as "\r\n".
std::string withCrLf(const std::string& text);
