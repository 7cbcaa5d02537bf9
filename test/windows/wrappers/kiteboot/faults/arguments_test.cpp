// Argument vectors made from a fixed seed - blanks, tabs, quotes, runs of backslashes before quotes and
// at the end, empty arguments, text outside ASCII - each passed to a real launcher, which must hand them
// to its payload exactly.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "windows/wrappers/kiteboot/LaunchRun.h"

namespace launch_testing {
namespace {

using Lines = std::vector<std::string>;

constexpr int kVectors = 200;
constexpr int kAtOnce = 4;

// Pieces an argument is made of; each argument is zero to six of them.
const char* const kPieces[] = {"a",       "setup",    "INSTALLDIR=C:\\Program Files\\App",
                               " ",       "  ",       "\t",
                               "\"",      "\"\"",     "\\",
                               "\\\\",    "\\\\\\",   "\\\"",
                               "\\\\\"",  "\\\\\\\"", "=",
                               "/s",      "%TEMP%",   "^&|<>",
                               "Ünïcödé", "日本語",   "Привет",
                               "😀",       "a\\b\\",   "*?",
                               "'",       "-",        "--x=\"y z\""};

Lines randomArguments(std::mt19937& random) {
    const auto pick = [&random](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    Lines arguments(pick(0, 5));
    for (std::string& argument : arguments) {
        for (int pieces = pick(0, 6); pieces > 0; --pieces)
            argument += kPieces[pick(0, static_cast<int>(std::size(kPieces)) - 1)];
    }
    // Backslashes at the very end of the last argument, right before the closing quote the launcher adds.
    if (!arguments.empty() && pick(0, 3) == 0) arguments.back() += std::string(pick(1, 4), '\\');
    return arguments;
}

TEST(BadInput, TwoHundredGeneratedArgumentVectorsReachThePayloadExactly) {
    std::mt19937 random(20240607);
    std::vector<Lines> vectors;
    for (int i = 0; i < kVectors; ++i)
        vectors.push_back(randomArguments(random));
    for (int first = 0; first < kVectors; first += kAtOnce) {
        std::vector<std::unique_ptr<LaunchRun>> runs;
        for (int i = first; i < first + kAtOnce && i < kVectors; ++i) {
            runs.push_back(
                std::make_unique<LaunchRun>(testing_support::siblingProgram("probe_launcher.exe")));
            runs.back()->start(vectors[i]);
        }
        for (std::size_t k = 0; k < runs.size(); ++k) {
            const Lines& arguments = vectors[first + k];
            SCOPED_TRACE(testing::Message()
                         << "vector " << first + k << ": " << testing::PrintToString(arguments));
            EXPECT_EQ(runs[k]->wait(), 0u);
            const probe::Report report = runs[k]->report();
            ASSERT_FALSE(report.arguments.empty());
            EXPECT_EQ(Lines(report.arguments.begin() + 1, report.arguments.end()), arguments);
            EXPECT_EQ(runs[k]->tempEntries(), Lines{"morvane.log"});
        }
    }
}

}  // namespace
}  // namespace launch_testing
