// Appends each record to a log file in the user's temporary directory.
#pragma once

#include <string>

#include "common/share/logging/LogAppender.h"

class FileLogAppender : public LogAppender {
public:
    // Only the file-name part of name is used ("morvane.log" when it has none); the file lies in the
    // temporary directory, or in the current directory when that cannot be determined. Nothing is opened
    // here.
    explicit FileLogAppender(const std::string& name);
    ~FileLogAppender() override;

    // Opens the file for each record (deny-write sharing, up to 10 attempts 1 ms apart), appends the
    // formatted record in one write and closes it. A record that cannot be written is dropped.
    void append(const LogRecord& record) override;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Where a log file named name lies: its file-name part joined to tempDir ("morvane.log" when name has no
// file-name part); the bare file name when tempDir is empty.
std::string logFilePath(const std::string& name, const std::string& tempDir);
