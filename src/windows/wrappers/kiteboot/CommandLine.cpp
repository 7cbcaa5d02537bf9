#include "windows/wrappers/kiteboot/CommandLine.h"

std::string quoteArgument(const std::string& argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // A run of backslashes is literal unless a quote follows it; then each one needs a partner, and
        // the quote itself one more.
        quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    // Before the closing quote, too, the run is doubled.
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

std::string buildCommandLine(const std::string& payloadPath, int argc, const char* const* argv) {
    std::string commandLine = quoteArgument(payloadPath);
    for (int i = 1; i < argc; ++i) {
        commandLine += ' ';
        commandLine += quoteArgument(argv[i]);
    }
    return commandLine;
}
