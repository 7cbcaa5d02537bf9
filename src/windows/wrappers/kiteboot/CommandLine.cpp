#include "windows/wrappers/kiteboot/CommandLine.h"

namespace {

template <typename Char>
bool isBlank(Char c) {
    return c == Char(' ') || c == Char('\t');
}

template <typename Char>
std::basic_string_view<Char> afterProgramName(std::basic_string_view<Char> commandLine) {
    using View = std::basic_string_view<Char>;
    std::size_t end = 0;
    if (!commandLine.empty() && commandLine.front() == Char('"')) {
        end = commandLine.find(Char('"'), 1);
        end = end == View::npos ? commandLine.size() : end + 1;
    } else {
        while (end < commandLine.size() && !isBlank(commandLine[end]))
            ++end;
    }
    while (end < commandLine.size() && isBlank(commandLine[end]))
        ++end;
    return commandLine.substr(end);
}

template <typename Char>
std::basic_string<Char> quotedPathAndArguments(const std::basic_string<Char>& payloadPath,
                                               std::basic_string_view<Char> arguments) {
    std::basic_string<Char> commandLine;
    commandLine += Char('"');
    commandLine += payloadPath;
    commandLine += Char('"');
    if (!arguments.empty()) {
        commandLine += Char(' ');
        commandLine += arguments;
    }
    return commandLine;
}

}  // namespace

std::string_view argumentsAfterProgramName(std::string_view commandLine) {
    return afterProgramName(commandLine);
}

std::wstring_view argumentsAfterProgramName(std::wstring_view commandLine) {
    return afterProgramName(commandLine);
}

std::string buildCommandLine(const std::string& payloadPath, std::string_view arguments) {
    return quotedPathAndArguments(payloadPath, arguments);
}

std::wstring buildCommandLine(const std::wstring& payloadPath, std::wstring_view arguments) {
    return quotedPathAndArguments(payloadPath, arguments);
}
