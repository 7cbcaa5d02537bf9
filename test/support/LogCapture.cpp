#include "support/LogCapture.h"

#include "common/share/logging/Logger.h"

namespace testing_support {

LogCapture::LogCapture() : previous_(Logger::instance().appender) {
    Logger::instance().appender = this;
}

LogCapture::~LogCapture() {
    Logger::instance().appender = previous_;
}

std::vector<std::string> LogCapture::messages() const {
    std::vector<std::string> result;
    for (const LogRecord& record : records)
        result.push_back(record.message);
    return result;
}

ThresholdOverride::ThresholdOverride(int threshold) : saved_(Logger::instance().threshold) {
    Logger::instance().threshold = threshold;
}

ThresholdOverride::~ThresholdOverride() {
    Logger::instance().threshold = saved_;
}

}  // namespace testing_support
