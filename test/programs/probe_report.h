// The report that probe_payload writes about what it received, and reading it back in tests.
//
// A report is a sequence of fields, each "<key> <byte count>\n<bytes>\n", so any value (quotes, line
// breaks, UTF-8) comes back byte for byte. Keys: command_line, arg (one per element of the argument
// vector, in order), current_directory, module_path, inherited (only when the variable is set),
// image_size and image_hash (of the probe's own executable file), process_id.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace probe {

// Environment variables the probe reads.
constexpr const char* kReportVariable = "KITEBOOT_PROBE_REPORT";        // where to write the report
constexpr const char* kExitVariable = "KITEBOOT_PROBE_EXIT";            // exit code, decimal or 0x hex
constexpr const char* kInheritedVariable = "KITEBOOT_PROBE_INHERITED";  // reported as "inherited"
constexpr const char* kWaitForVariable = "KITEBOOT_PROBE_WAIT_FOR";     // wait until this file exists
constexpr const char* kSleepVariable = "KITEBOOT_PROBE_SLEEP_MS";       // sleep before exiting
constexpr const char* kCrashVariable = "KITEBOOT_PROBE_CRASH";          // "1": die of an access violation
// Files to make in the current directory before the report, relative paths separated by "|" (a path
// ending in "\\" makes a directory); missing directories on the way are made.
constexpr const char* kCreateVariable = "KITEBOOT_PROBE_CREATE";
// After the report, wait until this file exists before going on (so a test can act while the probe runs).
constexpr const char* kReleaseVariable = "KITEBOOT_PROBE_RELEASE";
// Start this program (with KITEBOOT_PROBE_REPORT and KITEBOOT_PROBE_WAIT_FOR taken from the two
// variables below) and exit without waiting for it.
constexpr const char* kSpawnVariable = "KITEBOOT_PROBE_SPAWN";
constexpr const char* kSpawnReportVariable = "KITEBOOT_PROBE_SPAWN_REPORT";
constexpr const char* kSpawnWaitForVariable = "KITEBOOT_PROBE_SPAWN_WAIT_FOR";

struct Report {
    std::string commandLine;
    std::vector<std::string> arguments;
    std::string currentDirectory;
    std::string modulePath;
    bool hasInherited = false;
    std::string inherited;
    std::uint64_t imageSize = 0;
    std::string imageHash;
    unsigned long processId = 0;
};

inline void appendField(std::string& report, const std::string& key, const std::string& value) {
    report += key + " " + std::to_string(value.size()) + "\n" + value + "\n";
}

// FNV-1a, 64 bits: enough to tell two executables apart in a test.
class Fnv1a {
public:
    void add(const char* data, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            hash_ ^= static_cast<unsigned char>(data[i]);
            hash_ *= 0x100000001B3ull;
        }
    }
    std::string hex() const {
        static const char digits[] = "0123456789abcdef";
        std::string text(16, '0');
        for (int i = 0; i < 16; ++i)
            text[i] = digits[(hash_ >> (60 - 4 * i)) & 0xF];
        return text;
    }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

// Throws std::runtime_error for text that is not a whole report.
inline Report parseReport(const std::string& text) {
    Report report;
    std::size_t position = 0;
    while (position < text.size()) {
        const std::size_t space = text.find(' ', position);
        const std::size_t newline = text.find('\n', position);
        if (space == std::string::npos || newline == std::string::npos || space > newline)
            throw std::runtime_error("malformed report field at offset " + std::to_string(position));
        const std::string key = text.substr(position, space - position);
        const std::size_t size = std::stoul(text.substr(space + 1, newline - space - 1));
        if (newline + 1 + size + 1 > text.size() || text[newline + 1 + size] != '\n')
            throw std::runtime_error("truncated report field " + key);
        const std::string value = text.substr(newline + 1, size);
        position = newline + 1 + size + 1;
        if (key == "command_line") {
            report.commandLine = value;
        } else if (key == "arg") {
            report.arguments.push_back(value);
        } else if (key == "current_directory") {
            report.currentDirectory = value;
        } else if (key == "module_path") {
            report.modulePath = value;
        } else if (key == "inherited") {
            report.hasInherited = true;
            report.inherited = value;
        } else if (key == "image_size") {
            report.imageSize = std::stoull(value);
        } else if (key == "image_hash") {
            report.imageHash = value;
        } else if (key == "process_id") {
            report.processId = std::stoul(value);
        } else {
            throw std::runtime_error("unknown report field " + key);
        }
    }
    return report;
}

}  // namespace probe
