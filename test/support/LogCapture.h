// Captures the records this process logs, in place of the file appender, while the object lives.
#pragma once

#include <string>
#include <vector>

#include "common/share/logging/LogAppender.h"

namespace testing_support {

class LogCapture : public LogAppender {
public:
    LogCapture();
    ~LogCapture() override;
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    DWORD append(const LogRecord& record) override {
        records.push_back(record);
        return ERROR_SUCCESS;
    }

    // The messages captured so far, in order.
    std::vector<std::string> messages() const;

    std::vector<LogRecord> records;

private:
    LogAppender* previous_;
};

// Sets the logger's threshold while the object lives, and restores it afterwards.
class ThresholdOverride {
public:
    explicit ThresholdOverride(int threshold);
    ~ThresholdOverride();
    ThresholdOverride(const ThresholdOverride&) = delete;
    ThresholdOverride& operator=(const ThresholdOverride&) = delete;

private:
    int saved_;
};

}  // namespace testing_support
