// A record with every field set, shared by the tests of the record's format and of the file appender.
#pragma once

#include <string>

#include "common/share/logging/LogRecord.h"

namespace testing_support {

inline LogRecord sampleRecord(const std::string& message) {
    LogRecord record{};
    record.time.wYear = 2026;
    record.time.wMonth = 3;
    record.time.wDayOfWeek = 6;
    record.time.wDay = 7;
    record.time.wHour = 4;
    record.time.wMinute = 5;
    record.time.wSecond = 6;
    record.time.wMilliseconds = 9;
    record.threadId = 345;
    record.processId = 12;
    record.program = "kiteboot.exe";
    record.level = "ERROR";
    record.file = "kiteboot.cpp";
    record.line = 57;
    record.function = "`anonymous-namespace'::run";
    record.message = message;
    return record;
}

}  // namespace testing_support
