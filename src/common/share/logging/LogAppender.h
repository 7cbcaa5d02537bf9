// A sink for log records.
#pragma once

#include "common/share/logging/LogRecord.h"

class LogAppender {
public:
    virtual ~LogAppender() = default;
    // Writes one record; reports nothing. The record is not kept after the call.
    virtual void append(const LogRecord& record) = 0;
};
