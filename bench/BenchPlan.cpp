#include "bench/BenchPlan.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <sstream>
#include <stdexcept>

#include "common/share/tstrings.h"

namespace bench {

namespace {

bool isLabelChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

std::vector<std::string> splitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

[[noreturn]] void refuse(std::size_t lineNumber, const std::string& problem) {
    throw std::invalid_argument("plan line " + std::to_string(lineNumber) + ": " + problem);
}

// The variable's name in a "NAME=value" string. Names may begin with '=' (the per-drive current
// directories, "=C:=C:\\dir"), so the separator is the first '=' after the first character.
std::string variableName(const std::string& entry) {
    const std::size_t equals = entry.find('=', 1);
    return entry.substr(0, equals);
}

// SplitMix64: small, fast and good enough to shuffle a few dozen cases.
std::uint64_t nextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

std::vector<BenchCase> parsePlan(const std::string& text) {
    std::vector<BenchCase> cases;
    std::set<std::string> labels;
    std::istringstream lines(text);
    std::string line;
    for (std::size_t number = 1; std::getline(lines, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        const std::vector<std::string> fields = splitTabs(line);
        if (fields.size() < 2 || fields[1].empty())
            refuse(number, "expected label<TAB>program[<TAB>arguments]");
        if (fields.size() > 3) refuse(number, "more than three fields");
        const std::string& label = fields[0];
        if (label.empty() || !std::all_of(label.begin(), label.end(), isLabelChar))
            refuse(number, "label '" + label + "' must be letters, digits, '-', '_' or '.'");
        if (!labels.insert(label).second) refuse(number, "label '" + label + "' is used twice");
        cases.push_back({label, fields[1], fields.size() == 3 ? fields[2] : std::string()});
    }
    return cases;
}

std::string commandLineOf(const BenchCase& benchCase) {
    std::string commandLine = "\"" + benchCase.program + "\"";
    if (!benchCase.arguments.empty()) commandLine += " " + benchCase.arguments;
    return commandLine;
}

std::vector<std::size_t> roundOrder(std::size_t count, unsigned round, std::uint32_t seed) {
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = i;
    std::uint64_t state = (static_cast<std::uint64_t>(seed) << 32) | round;
    // Fisher-Yates, drawing each index from the positions not yet fixed.
    for (std::size_t i = count; i > 1; --i)
        std::swap(order[i - 1], order[nextRandom(state) % i]);
    return order;
}

std::string environmentWithTemp(const char* block, const std::string& tempDir) {
    std::string result;
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const std::string name = tstrings::toLower(variableName(entry));
        if (name == "temp" || name == "tmp") continue;
        result.append(entry);
        result.push_back('\0');
    }
    for (const char* name : {"TEMP=", "TMP="}) {
        result.append(name).append(tempDir);
        result.push_back('\0');
    }
    result.push_back('\0');
    return result;
}

std::vector<std::string> unexpectedLeftovers(const std::vector<std::string>& entries) {
    std::vector<std::string> unexpected;
    for (const std::string& entry : entries) {
        if (!tstrings::equalsIgnoreCase(entry, "morvane.log")) unexpected.push_back(entry);
    }
    return unexpected;
}

}  // namespace bench
