// Reading back the records of a log file, field by field.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct ParsedRecord {
    int year, month, day, hour, minute, second, millisecond;
    std::string program;
    unsigned long processId, threadId;
    std::string file;
    int line;
    std::string function;
    std::string level;
    std::string message;  // with "\n" for line breaks
};

// Parses the text of a log file (CR LF line ends). Throws std::runtime_error, naming the offending
// text, when anything in it is not a whole record of the exact format.
std::vector<ParsedRecord> parseLog(const std::string& text);

// The records of "morvane.log" in directory; none when the file does not exist.
std::vector<ParsedRecord> readLogRecords(const std::string& directory);

}  // namespace testing_support
