// A sink for log records.
#pragma once

#include "common/share/logging/LogRecord.h"

class LogAppender {
public:
    virtual ~LogAppender() = default;
    // Writes one record. Never throws for a failure to write: returns ERROR_SUCCESS, or the Windows error
    // code of why the record was dropped. The record is not kept after the call.
    virtual DWORD append(const LogRecord& record) = 0;
};
