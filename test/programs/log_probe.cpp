// Writes log records through the system's logger, one per argument "<level>:<message>" whatever the level,
// then exits 0.
// The message "@self" is replaced by "pid=<process id> tid=<thread id> line=<line of the log statement>",
// so that a test can check the header of the record against what the process knows of itself.
#include <cstdlib>
#include <string>

#include "common/share/errors/MessageBuilder.h"
#include "common/share/logging/Logger.h"

namespace {

std::string expandSelf(const std::string& message, int line) {
    if (message != "@self") return message;
    return (MessageBuilder() << "pid=" << GetCurrentProcessId() << " tid=" << GetCurrentThreadId()
                             << " line=" << line)
        .str();
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const std::size_t colon = argument.find(':');
        const int level = std::atoi(argument.substr(0, colon).c_str());
        const std::string message = colon == std::string::npos ? std::string() : argument.substr(colon + 1);
        // Logged directly, as the caught-exception reports do, so that levels below the threshold (-1)
        // are written too.
        const int line = __LINE__;
        Logger::instance().log(static_cast<LogLevel>(level), __FILE__, line, ZOR_FUNCTION,
                               expandSelf(message, line));
    }
    return 0;
}
