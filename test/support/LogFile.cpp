#include "support/LogFile.h"

#include <regex>
#include <stdexcept>

#include "support/TempDir.h"

namespace testing_support {

namespace {

const std::regex& headerPattern() {
    static const std::regex pattern(
        R"(\[(\d{4})/(\d{2})/(\d{2}) (\d{2}):(\d{2}):(\d{2})\.(\d{3}), (.*) \(PID: (\d+), TID: (\d+)\), )"
        R"(([^:]*):(\d+) \((.*)\)\]\r\n\t(TRACE|INFO|WARNING|ERROR|UNKNOWN): )");
    return pattern;
}

}  // namespace

std::vector<ParsedRecord> parseLog(const std::string& text) {
    std::vector<ParsedRecord> records;
    std::size_t position = 0;
    while (position < text.size()) {
        std::smatch match;
        const std::string rest = text.substr(position);
        if (!std::regex_search(rest, match, headerPattern(), std::regex_constants::match_continuous)) {
            throw std::runtime_error("not a log record at: " + rest.substr(0, 200));
        }
        ParsedRecord record{};
        int* numbers[] = {&record.year,   &record.month,  &record.day,        &record.hour,
                          &record.minute, &record.second, &record.millisecond};
        for (int i = 0; i < 7; ++i)
            *numbers[i] = std::stoi(match[i + 1]);
        record.program = match[8];
        record.processId = std::stoul(match[9]);
        record.threadId = std::stoul(match[10]);
        record.file = match[11];
        record.line = std::stoi(match[12]);
        record.function = match[13];
        record.level = match[14];
        // The message runs to the CR LF before the next header, or to the final CR LF.
        const std::size_t messageStart = position + match.length(0);
        std::size_t messageEnd = std::string::npos;
        for (std::size_t next = text.find("\r\n[", messageStart); next != std::string::npos;
             next = text.find("\r\n[", next + 1)) {
            std::smatch nextHeader;
            const std::string candidate = text.substr(next + 2);
            if (std::regex_search(candidate, nextHeader, headerPattern(),
                                  std::regex_constants::match_continuous)) {
                messageEnd = next;
                break;
            }
        }
        if (messageEnd == std::string::npos) {
            if (text.size() < messageStart + 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
                throw std::runtime_error("last log record is not ended by CR LF");
            }
            messageEnd = text.size() - 2;
        }
        std::string message = text.substr(messageStart, messageEnd - messageStart);
        for (std::size_t crlf = message.find("\r\n"); crlf != std::string::npos;
             crlf = message.find("\r\n", crlf)) {
            message.erase(crlf, 1);
        }
        record.message = message;
        records.push_back(record);
        position = messageEnd + 2;
    }
    return records;
}

std::vector<ParsedRecord> readLogRecords(const std::string& directory) {
    const std::string path = directory + "\\morvane.log";
    if (!exists(path)) return {};
    return parseLog(readFile(path));
}

}  // namespace testing_support
