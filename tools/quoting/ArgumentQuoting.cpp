#include "quoting/ArgumentQuoting.h"

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

std::string quoteCommandLine(const std::string& program, const std::vector<std::string>& arguments) {
    std::string commandLine = quoteArgument(program);
    for (const std::string& argument : arguments) {
        commandLine += ' ';
        commandLine += quoteArgument(argument);
    }
    return commandLine;
}
