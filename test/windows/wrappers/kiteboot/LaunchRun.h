// One start of a launcher around the probe payload, for the end-to-end and fault tests: started with a
// temporary directory of its own (or a given one), the payload's report written outside it, and what the
// run left behind.
#pragma once

#include <string>
#include <vector>

#include "common/windows/WinAutoHandle.h"
#include "programs/probe_report.h"
#include "support/FileUtilsFunctions.h"
#include "support/LogFile.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace launch_testing {

constexpr unsigned long kFailure = 0xFFFFFFFF;  // the launcher's -1

// Function texts of the records a run writes.
constexpr const char* kRun = "`anonymous-namespace'::run";
// The secure directory's records: the reserving file made and removed, the extraction's file made and
// moved (or removed after a failure), the held payload, other entries and the directory removed, and what
// stays reported.
constexpr const char* kCreated = "createFileIn";
constexpr const char* kReserveDeleted = "TempDirectory::reserveName";
constexpr const char* kSaved = "HeldDirectory::saveFile";
constexpr const char* kPayloadDeleted = "HeldDirectory::removeHeldFiles";
constexpr const char* kChildDeleted = "`anonymous-namespace'::removeChild";
constexpr const char* kDirectoryDeleted = "HeldDirectory::removeSelf";
constexpr const char* kLeftover = "`anonymous-namespace'::reportLeftover";

class LaunchRun {
public:
    // A TEMP of the run's own.
    explicit LaunchRun(std::string launcher);
    // The given TEMP (which the run does not own; it may be missing or a file).
    LaunchRun(std::string launcher, std::string temp);
    // In a test that has failed, prints the log of a run whose launcher failed, so the cause shows.
    ~LaunchRun();
    LaunchRun(const LaunchRun&) = delete;
    LaunchRun& operator=(const LaunchRun&) = delete;

    // Starts the launcher with these arguments (each quoted so the launcher's C runtime gives it back
    // exactly), or with a raw command line, and returns at once.
    void start(const std::vector<std::string>& arguments = {});
    void startRaw(const std::string& commandLine);
    // Waits for the launcher and returns its exit code.
    unsigned long wait();
    unsigned long run(const std::vector<std::string>& arguments = {}) {
        start(arguments);
        return wait();
    }

    // Ends the launcher at once, as the Task Manager ends a program: nothing of its clean-up runs. Its
    // payload, if started, goes on.
    void terminate();

    // The hooked launcher (tamper_hook.cpp) stops where pauseVariable says (KITEBOOT_TEST_PAUSE_AFTER with a
    // record's number, KITEBOOT_TEST_PAUSE_BEFORE_START) until resume() is called; waitUntilPaused() waits
    // up to 30 s for it to stop and tells whether it has.
    void pauseAt(const std::string& pauseVariable, const std::string& value);
    bool waitUntilPaused() const;
    void resume() const;

    // Makes the payload wait after writing its report until release() is called.
    void holdPayloadAfterReport();
    void release() const;

    bool payloadRan() const;
    // The payload's report; waits up to the time-out for it while the launcher runs. An empty report and
    // a test failure showing the launcher's log when none comes.
    probe::Report report() const;
    // The secure directory the payload ran from, checked to be zor<number>.tmp directly in TEMP with the
    // payload under the launcher's file name.
    std::string secureDirectory(const probe::Report& report) const;

    // Nothing but the log left in TEMP, and the log holds exactly the records of a run that extracted the
    // payload into secureDirectory, ran it and removed the directory, all written by one process and
    // thread of the launcher.
    void expectCleanRun(const std::string& secureDirectory) const;

    const std::string& temp() const { return temp_; }
    const std::string& launcher() const { return launcher_; }
    std::vector<std::string> tempEntries() const { return testing_support::listDirectory(temp_); }
    std::vector<testing_support::ParsedRecord> records() const;
    // The log file's text as the run left it, for failure messages.
    std::string logText() const;

    testing_support::ProcessOptions options;
    testing_support::TempDir outside{"kbout"};

private:
    std::string reportPath() const { return outside / "report.txt"; }
    bool launcherRunning() const;
    testing_support::TempDir ownTemp_{"kbtemp"};
    std::string temp_;
    std::string launcher_;
    UniqueHandle process_;
    unsigned long exitCode_ = 0;
    mutable bool logShown_ = false;
};

// ---- Log records

// "<LEVEL> <function>: <message>", one line per record.
std::string summary(const testing_support::ParsedRecord& record);
std::string summary(const char* level, const char* function, const std::string& message);
std::vector<std::string> summarize(const std::vector<testing_support::ParsedRecord>& records);
// The source file of each record, in order.
std::vector<std::string> sourceFiles(const std::vector<testing_support::ParsedRecord>& records);

// Every record written by one process and thread that names itself programName.
void expectOneProcess(const std::vector<testing_support::ParsedRecord>& records,
                      const std::string& programName);

// The records of a run that extracted, ran and removed its payload, in order, from the reserving file to
// the removal of the secure directory; temporary is the extraction's temporary file.
std::vector<std::string> cleanRunSummaries(const std::string& secureDirectory, const std::string& payloadName,
                                           const std::string& temporary);

// The secure directory of a run, read from its first record ("Created [<dir>] file", the file that
// reserved the name); empty when that record is not there.
std::string reservedDirectory(const std::vector<testing_support::ParsedRecord>& records);

// The extraction's temporary file, read from the third record of a run ("Created [<dir>\zor...] file");
// empty when that record is not there.
std::string extractionTemporary(const std::vector<testing_support::ParsedRecord>& records,
                                const std::string& secureDirectory);

// The report of caught exception text at run: "Exception with message '<what>' caught".
std::string caughtReport(const std::string& what);

// ASCII punctuation escaped, so a path can stand inside a regular expression.
std::string escapeRegex(const std::string& text);

// The probe's hash of a file's bytes, as its report gives the hash of its own file.
std::string hashOfFile(const std::string& path);

// A file's size in bytes; -1 when it cannot be read.
long long fileSize(const std::string& path);

}  // namespace launch_testing
