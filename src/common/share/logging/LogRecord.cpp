#include "common/share/logging/LogRecord.h"

#include "common/share/tstrings.h"

const char* logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::Trace:
            return "TRACE";
        case LogLevel::Info:
            return "INFO";
        case LogLevel::Warning:
            return "WARNING";
        case LogLevel::Error:
            return "ERROR";
    }
    return "UNKNOWN";
}

std::string formatLogRecord(const LogRecord& r) {
    return tstrings::unsafe_format(
        "[%04u/%02u/%02u %02u:%02u:%02u.%03u, %s (PID: %u, TID: %u), %s:%u (%s)]\n\t%s: %s\n", r.time.wYear,
        r.time.wMonth, r.time.wDay, r.time.wHour, r.time.wMinute, r.time.wSecond, r.time.wMilliseconds,
        r.program.c_str(), r.processId, r.threadId, r.file.c_str(), r.line, r.function.c_str(),
        r.level.c_str(), r.message.c_str());
}
