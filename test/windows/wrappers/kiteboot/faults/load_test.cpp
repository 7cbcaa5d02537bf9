// Eight launchers started at once with one temporary directory: each payload gets its own arguments,
// each launcher returns its own payload's exit code, each run has a secure directory of its own and
// removes it, and the shared log stays well formed: every record whole, the records of each process in
// their order. Records the log's open-retry rule dropped under the contention are counted and printed.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "windows/common/FileUtils.h"
#include "windows/wrappers/kiteboot/LaunchRun.h"

namespace launch_testing {
namespace {

using testing_support::ParsedRecord;
using Lines = std::vector<std::string>;

constexpr int kLaunchers = 8;
constexpr int kRounds = 3;

// The records one run writes, as patterns in order: the reserving file, the extraction's temporary file
// and its move, the removal of the payload and of the directory.
std::vector<std::regex> runRecordPatterns(const std::string& secureDirectory,
                                          const std::string& payloadName) {
    const std::string directory = escapeRegex(secureDirectory);
    const std::string temporary = directory + R"(\\zor-?\d+\.tmp)";
    const std::string payload = directory + "\\\\" + escapeRegex(payloadName);
    return {
        std::regex(escapeRegex(summary("TRACE", kCreated, "Created [")) + directory + "\\] file"),
        std::regex(escapeRegex(summary("TRACE", kReserveDeleted, "Deleted [")) + directory + "\\] file"),
        std::regex(escapeRegex(summary("TRACE", kCreated, "Created [")) + temporary + "\\] file"),
        std::regex(escapeRegex(summary("TRACE", kSaved, "Moved '")) + temporary + "' file to '" + payload +
                   "'"),
        std::regex(escapeRegex(summary("TRACE", kPayloadDeleted, "Deleted [")) + payload + "\\] file"),
        std::regex(escapeRegex(summary("TRACE", kDirectoryDeleted, "Deleted [")) + directory +
                   "\\] directory"),
    };
}

// Milliseconds since midnight of a record's time.
long long timeOf(const ParsedRecord& record) {
    return ((record.hour * 60LL + record.minute) * 60 + record.second) * 1000 + record.millisecond;
}

// The most processes whose first and last records span a common moment.
std::size_t mostAtOnce(const std::vector<ParsedRecord>& records) {
    std::map<unsigned long, std::pair<long long, long long>> spans;
    for (const ParsedRecord& record : records) {
        auto [span, added] = spans.try_emplace(record.processId, timeOf(record), timeOf(record));
        if (!added) span->second.second = timeOf(record);
    }
    std::size_t most = 0;
    for (const auto& [id, span] : spans) {
        std::size_t atOnce = 0;
        for (const auto& [other, otherSpan] : spans)
            atOnce += otherSpan.first <= span.first && span.first <= otherSpan.second;
        most = std::max(most, atOnce);
    }
    return most;
}

// How many of the expected records are missing from lines, which must be the expected ones in their order
// with none repeated and nothing else; -1 (and a test failure) otherwise.
int missingRecords(const Lines& lines, const std::vector<std::regex>& expected) {
    std::size_t next = 0;
    for (const std::string& line : lines) {
        while (next < expected.size() && !std::regex_match(line, expected[next]))
            ++next;
        if (next == expected.size()) {
            ADD_FAILURE() << "unexpected or out of order: " << line;
            return -1;
        }
        ++next;
    }
    return static_cast<int>(expected.size() - lines.size());
}

TEST(Load, EightLaunchersAtOnceWithOneTemp) {
    int dropped = 0;
    int written = 0;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(testing::Message() << "round " << round);
        testing_support::TempDir temp("kbshared");
        std::vector<std::unique_ptr<LaunchRun>> runs;
        std::vector<Lines> arguments;
        for (int i = 0; i < kLaunchers; ++i) {
            runs.push_back(std::make_unique<LaunchRun>(testing_support::siblingProgram("probe_launcher.exe"),
                                                       temp.path()));
            runs.back()->options.environment[probe::kExitVariable] = std::to_string(1000 * round + 100 + i);
            arguments.push_back(
                {"--instance", std::to_string(i), "round " + std::to_string(round), "\"quoted\" \\"});
        }
        // Each payload waits after its report until all have reported, so that all runs overlap however
        // slowly the launchers start, and their clean-ups begin together.
        for (int i = 0; i < kLaunchers; ++i) {
            runs[i]->holdPayloadAfterReport();
            runs[i]->start(arguments[i]);
        }
        std::vector<probe::Report> reports;
        for (int i = 0; i < kLaunchers; ++i)
            reports.push_back(runs[i]->report());
        for (int i = 0; i < kLaunchers; ++i)
            runs[i]->release();
        std::set<std::string> directories;
        std::map<unsigned long, std::vector<std::regex>> expectedByLauncher;
        for (int i = 0; i < kLaunchers; ++i) {
            EXPECT_EQ(runs[i]->wait(), static_cast<unsigned long>(1000 * round + 100 + i))
                << "launcher " << i;
            const probe::Report& report = reports[i];
            ASSERT_GE(report.arguments.size(), 1u);
            EXPECT_EQ(Lines(report.arguments.begin() + 1, report.arguments.end()), arguments[i]);
            const std::string directory = runs[i]->secureDirectory(report);
            directories.insert(directory);
            EXPECT_FALSE(testing_support::exists(directory)) << directory;
            // The payload's parent is its launcher; its records are found by the secure directory they name.
            expectedByLauncher[i] = runRecordPatterns(directory, "probe_launcher.exe");
        }
        EXPECT_EQ(directories.size(), static_cast<std::size_t>(kLaunchers));
        EXPECT_EQ(testing_support::listDirectory(temp.path()), Lines{"morvane.log"});

        // The whole log parses (a torn or interleaved record would not), and per process its records are
        // one run's records in their order.
        std::vector<ParsedRecord> records;
        ASSERT_NO_THROW(records = testing_support::readLogRecords(temp.path()));
        // The runs did overlap: several launchers were between their first and last record at one moment
        // (all of them, unless the open-retry rule dropped all records of a run before or after its payload).
        const std::size_t atOnce = mostAtOnce(records);
        EXPECT_GE(atOnce, 2u);
        std::cout << "round " << round << ": at most " << atOnce << " launchers running at once" << std::endl;
        std::map<unsigned long, Lines> byProcess;
        for (const ParsedRecord& record : records)
            byProcess[record.processId].push_back(summary(record));
        std::set<int> matched;
        for (const auto& [processId, lines] : byProcess) {
            int owner = -1;
            for (const auto& [launcher, patterns] : expectedByLauncher) {
                for (const std::regex& pattern : patterns) {
                    if (std::regex_match(lines.front(), pattern)) owner = static_cast<int>(launcher);
                }
            }
            ASSERT_GE(owner, 0) << "records of no launcher: " << testing::PrintToString(lines);
            EXPECT_TRUE(matched.insert(owner).second)
                << "two processes wrote launcher " << owner << "'s records";
            const int missing = missingRecords(lines, expectedByLauncher[owner]);
            EXPECT_GE(missing, 0) << "process " << processId;
            dropped += missing;
            written += static_cast<int>(lines.size());
        }
        EXPECT_EQ(matched.size(), static_cast<std::size_t>(kLaunchers));
    }
    std::cout << "records written: " << written << ", dropped by the open-retry rule: " << dropped << " of "
              << kRounds * kLaunchers * 6 << std::endl;
    RecordProperty("records_dropped", dropped);
}

}  // namespace
}  // namespace launch_testing
