// The process-wide logger: every diagnostic of the system goes through it into "morvane.log".
#pragma once

#include <string>

#include "common/share/FunctionText.h"
#include "common/share/errors/MessageBuilder.h"
#include "common/share/logging/LogAppender.h"
#include "common/share/logging/LogRecord.h"

// Zero-initialised in static storage, so it works during static initialisation, before any constructor.
struct Logger {
    // The logger; the first call installs the file appender and learns the program's name.
    static Logger& instance();

    // Builds one record and hands it to the appender; returns the appender's answer (ERROR_SUCCESS, or why
    // the record was dropped). Does not test the threshold; log statements do.
    DWORD log(LogLevel level, const char* file, int line, const char* function, const std::string& message);
    DWORD log(LogLevel level, const char* file, int line, const char* function, const char* message);
    DWORD log(LogLevel level, const char* file, int line, const char* function,
              const MessageBuilder& message);

    int threshold;          // the lowest level written; 0, so every record is written
    LogAppender* appender;  // not owned; never null after instance()
};

// The program name that records carry: the file name of modulePath, cut to 259 characters.
std::string programNameOf(const std::string& modulePath);

// A log statement: nothing is composed unless the threshold admits the level. message is a MessageBuilder
// insertion chain: LOG_TRACE("Deleted [" << path << "] file").
#define ZOR_LOG(level, message)                                                                       \
    do {                                                                                              \
        ::Logger& zorLogger_ = ::Logger::instance();                                                  \
        if (zorLogger_.threshold <= static_cast<int>(level)) {                                        \
            zorLogger_.log((level), __FILE__, __LINE__, ZOR_FUNCTION, ::MessageBuilder() << message); \
        }                                                                                             \
    } while (false)

#define LOG_TRACE(message) ZOR_LOG(::LogLevel::Trace, message)
#define LOG_WARNING(message) ZOR_LOG(::LogLevel::Warning, message)
#define LOG_ERROR(message) ZOR_LOG(::LogLevel::Error, message)
