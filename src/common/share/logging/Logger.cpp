#include "common/share/logging/Logger.h"

#include <cstring>
#include <new>

#include "common/share/FileName.h"
#include "common/share/logging/FileLogAppender.h"
#include "windows/common/SysInfo.h"

namespace {

constexpr std::size_t kProgramNameSize = 260;

Logger theLogger;  // zero-initialised before any code runs
char programName[kProgramNameSize] = "Unkown";

// The file appender lives in static storage and is never destroyed, so records can be written until the
// very end of the process, from other static destructors included.
alignas(FileLogAppender) unsigned char appenderStorage[sizeof(FileLogAppender)];

std::string currentProgramName() {
    try {
        return programNameOf(SysInfo::getCurrentModulePath());
    } catch (const std::exception&) {
        return "Unknown";
    }
}

}  // namespace

std::string programNameOf(const std::string& modulePath) {
    return FileUtils::fileName(modulePath).substr(0, kProgramNameSize - 1);
}

Logger& Logger::instance() {
    if (theLogger.appender) return theLogger;
    theLogger.appender = new (appenderStorage) FileLogAppender("morvane.log");
    const std::string name = currentProgramName();
    std::memcpy(programName, name.c_str(), name.size() + 1);
    return theLogger;
}

DWORD Logger::log(LogLevel level, const char* file, int line, const char* function,
                  const std::string& message) {
    LogRecord record{};
    GetLocalTime(&record.time);
    record.processId = GetCurrentProcessId();
    record.threadId = GetCurrentThreadId();
    record.program = programName;
    record.level = logLevelName(level);
    record.file = FileUtils::fileName(file);
    record.line = line;
    record.function = function;
    record.message = message;
    return appender->append(record);
}

DWORD Logger::log(LogLevel level, const char* file, int line, const char* function, const char* message) {
    return log(level, file, line, function, std::string(message));
}

DWORD Logger::log(LogLevel level, const char* file, int line, const char* function,
                  const MessageBuilder& message) {
    return log(level, file, line, function, message.str());
}
