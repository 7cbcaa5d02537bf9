// The parts of the benchmark driver that need no Windows calls: the plan of programs to start, the order
// of the runs in a round, the child's environment block and the judgement of what a run left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// One program the benchmark starts: the label its results carry, the program and a command-line tail.
struct BenchCase {
    std::string label;
    std::string program;
    std::string arguments;  // appended to the quoted program as given; may be empty

    bool operator==(const BenchCase&) const = default;
};

// Reads a plan: one case per line, "label<TAB>program" or "label<TAB>program<TAB>arguments". Blank lines
// and lines starting with '#' are skipped; a carriage return before the line feed is ignored.
// Throws std::invalid_argument ("plan line <n>: ...") for a line without a program, for a label that is
// empty, used twice, or holds anything but letters, digits, '-', '_' and '.' (labels name files).
std::vector<BenchCase> parsePlan(const std::string& text);

// The command line a case is started with: the program in double quotes, a blank and the arguments.
std::string commandLineOf(const BenchCase& benchCase);

// The order in which round number `round` starts `count` cases: a permutation of 0 .. count-1, the same
// for the same seed and round, shuffled afresh for every round so that no case always follows the same
// neighbour (whose left-over dirty pages or cache state it would otherwise inherit every time).
std::vector<std::size_t> roundOrder(std::size_t count, unsigned round, std::uint32_t seed);

// An environment block for CreateProcess: every "NAME=value" string of `block` (a block as
// GetEnvironmentStrings returns it, ended by an empty string) except TEMP and TMP, whose names are
// compared ignoring case, followed by TEMP and TMP set to tempDir; each string NUL-terminated, then
// one more NUL.
std::string environmentWithTemp(const char* block, const std::string& tempDir);

// The entries of a run's temporary directory that the program should not have left there: everything but
// the launcher's log file "morvane.log" (name compared ignoring case).
std::vector<std::string> unexpectedLeftovers(const std::vector<std::string>& entries);

}  // namespace bench
