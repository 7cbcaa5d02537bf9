// One log message with everything the record's header shows.
#pragma once

#include <string>

#include "common/windows/WinHeaders.h"

enum class LogLevel : int { Trace = 0, Info = 1, Warning = 2, Error = 3 };

// "TRACE", "INFO", "WARNING", "ERROR"; "UNKNOWN" for any other value.
const char* logLevelName(LogLevel level);

struct LogRecord {
    SYSTEMTIME time;  // local time at the start of the log call
    DWORD threadId;
    DWORD processId;
    std::string program;  // the executable's file name
    std::string level;    // logLevelName of the level
    std::string file;     // file-name part of the source path
    int line;
    std::string function;
    std::string message;
};

// The record as it appears in the log file, two lines:
//   [2026/12/08 17:05:03.042, kiteboot.exe (PID: 12, TID: 13), kiteboot.cpp:57 (`anonymous-namespace'::run)]
//   <TAB>ERROR: <message>
// Each line ends in "\n"; the message is written unchanged ('%' and line breaks included).
std::string formatLogRecord(const LogRecord& record);
