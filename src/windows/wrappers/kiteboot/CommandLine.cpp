#include "windows/wrappers/kiteboot/CommandLine.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

std::string_view argumentsAfterProgramName(std::string_view commandLine) {
    std::size_t end = 0;
    if (!commandLine.empty() && commandLine.front() == '"') {
        end = commandLine.find('"', 1);
        end = end == std::string_view::npos ? commandLine.size() : end + 1;
    } else {
        while (end < commandLine.size() && !isBlank(commandLine[end]))
            ++end;
    }
    while (end < commandLine.size() && isBlank(commandLine[end]))
        ++end;
    return commandLine.substr(end);
}

std::string buildCommandLine(const std::string& payloadPath, std::string_view arguments) {
    std::string commandLine = "\"" + payloadPath + "\"";
    if (!arguments.empty()) {
        commandLine += ' ';
        commandLine += arguments;
    }
    return commandLine;
}
