#include "windows/wrappers/kiteboot/LaunchRun.h"

#include <gtest/gtest.h>

#include <iostream>
#include <regex>

#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"
#include "quoting/ArgumentQuoting.h"

namespace launch_testing {

using testing_support::ParsedRecord;

LaunchRun::LaunchRun(std::string launcher) : LaunchRun(std::move(launcher), std::string()) {}

LaunchRun::LaunchRun(std::string launcher, std::string temp)
    : temp_(temp.empty() ? ownTemp_.path() : std::move(temp)), launcher_(std::move(launcher)) {
    options.environment["TEMP"] = temp_;
    options.environment["TMP"] = temp_;
    options.environment[probe::kReportVariable] = reportPath();
    options.timeoutMs = 60000;
}

LaunchRun::~LaunchRun() {
    if (testing::Test::HasFailure() && exitCode_ == kFailure && !logShown_) {
        std::cout << launcher_ << " ended with -1; its log " << temp_ << "\\morvane.log holds:\n"
                  << logText() << std::endl;
    }
}

void LaunchRun::start(const std::vector<std::string>& arguments) {
    startRaw(quoteCommandLine(launcher_, arguments));
}

void LaunchRun::startRaw(const std::string& commandLine) {
    process_ = testing_support::startProcessRaw(launcher_, commandLine, options);
}

unsigned long LaunchRun::wait() {
    exitCode_ = testing_support::waitForProcess(process_, launcher_, options.timeoutMs);
    process_.reset();
    return exitCode_;
}

void LaunchRun::terminate() {
    ASSERT_TRUE(TerminateProcess(process_.get(), kFailure)) << GetLastError();
    wait();
}

void LaunchRun::pauseAt(const std::string& pauseVariable, const std::string& value) {
    options.environment[pauseVariable] = value;
    options.environment["KITEBOOT_TEST_PAUSED"] = outside / "paused";
    options.environment["KITEBOOT_TEST_RESUME"] = outside / "resume";
}

bool LaunchRun::waitUntilPaused() const {
    for (int polls = 0; !testing_support::exists(outside / "paused") && polls < 6000; ++polls)
        Sleep(5);
    return testing_support::exists(outside / "paused");
}

void LaunchRun::resume() const {
    testing_support::writeFile(outside / "resume", "");
}

void LaunchRun::holdPayloadAfterReport() {
    options.environment[probe::kReleaseVariable] = outside / "release";
}

void LaunchRun::release() const {
    testing_support::writeFile(outside / "release", "");
}

bool LaunchRun::payloadRan() const {
    return testing_support::exists(reportPath());
}

bool LaunchRun::launcherRunning() const {
    return process_.owned() && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

probe::Report LaunchRun::report() const {
    // The launcher waits for its payload: once it has ended, no report can come any more.
    for (unsigned waited = 0; !payloadRan() && launcherRunning() && waited < options.timeoutMs; waited += 10)
        Sleep(10);
    if (!payloadRan()) {
        logShown_ = true;
        ADD_FAILURE() << "the payload wrote no report; the launcher's log " << temp_
                      << "\\morvane.log holds:\n"
                      << logText();
        return {};
    }
    return probe::parseReport(testing_support::readFile(reportPath()));
}

std::string LaunchRun::secureDirectory(const probe::Report& report) const {
    const std::regex pattern(escapeRegex(temp_) + R"(\\zor-?\d+\.tmp\\)" +
                             escapeRegex(FileUtils::fileName(launcher_)));
    EXPECT_TRUE(std::regex_match(report.modulePath, pattern)) << report.modulePath;
    return FileUtils::parentPath(report.modulePath);
}

void LaunchRun::expectCleanRun(const std::string& secureDirectory) const {
    EXPECT_EQ(tempEntries(), std::vector<std::string>{"morvane.log"});
    const std::vector<ParsedRecord> log = records();
    ASSERT_EQ(log.size(), 6u) << testing::PrintToString(summarize(log));
    // The extraction's temporary file has a name of its own; the rest follows from it.
    const std::string temporary = extractionTemporary(log, secureDirectory);
    ASSERT_FALSE(temporary.empty()) << log[2].message;
    const std::string payloadName = FileUtils::fileName(launcher_);
    EXPECT_EQ(summarize(log), cleanRunSummaries(secureDirectory, payloadName, temporary));
    EXPECT_EQ(sourceFiles(log),
              (std::vector<std::string>{"TempDirectory.cpp", "TempDirectory.cpp", "TempDirectory.cpp",
                                        "HeldDirectory.cpp", "HeldDirectory.cpp", "HeldDirectory.cpp"}));
    expectOneProcess(log, payloadName);
}

std::string LaunchRun::logText() const {
    const std::string log = temp_ + "\\morvane.log";
    return testing_support::exists(log) ? testing_support::readFile(log) : "(no log)";
}

std::vector<ParsedRecord> LaunchRun::records() const {
    return testing_support::readLogRecords(temp_);
}

std::string summary(const char* level, const char* function, const std::string& message) {
    return std::string(level) + " " + function + ": " + message;
}

std::string summary(const ParsedRecord& record) {
    return summary(record.level.c_str(), record.function.c_str(), record.message);
}

std::vector<std::string> summarize(const std::vector<ParsedRecord>& records) {
    std::vector<std::string> lines;
    for (const ParsedRecord& record : records)
        lines.push_back(summary(record));
    return lines;
}

std::vector<std::string> sourceFiles(const std::vector<ParsedRecord>& records) {
    std::vector<std::string> files;
    for (const ParsedRecord& record : records)
        files.push_back(record.file);
    return files;
}

void expectOneProcess(const std::vector<ParsedRecord>& records, const std::string& programName) {
    for (const ParsedRecord& record : records) {
        EXPECT_EQ(record.program, programName);
        EXPECT_EQ(record.processId, records.front().processId);
        EXPECT_EQ(record.threadId, records.front().threadId);
    }
}

std::vector<std::string> cleanRunSummaries(const std::string& secureDirectory, const std::string& payloadName,
                                           const std::string& temporary) {
    const std::string payload = secureDirectory + "\\" + payloadName;
    return {
        summary("TRACE", kCreated, "Created [" + secureDirectory + "] file"),
        summary("TRACE", kReserveDeleted, "Deleted [" + secureDirectory + "] file"),
        summary("TRACE", kCreated, "Created [" + temporary + "] file"),
        summary("TRACE", kSaved, "Moved '" + temporary + "' file to '" + payload + "'"),
        summary("TRACE", kPayloadDeleted, "Deleted [" + payload + "] file"),
        summary("TRACE", kDirectoryDeleted, "Deleted [" + secureDirectory + "] directory"),
    };
}

std::string reservedDirectory(const std::vector<ParsedRecord>& records) {
    std::smatch match;
    if (records.empty() ||
        !std::regex_match(records[0].message, match, std::regex(R"(Created \[(.*)\] file)")))
        return {};
    return match[1];
}

std::string extractionTemporary(const std::vector<ParsedRecord>& records,
                                const std::string& secureDirectory) {
    std::smatch match;
    const std::regex created("Created \\[(" + escapeRegex(secureDirectory) + R"(\\zor-?\d+\.tmp)\] file)");
    if (records.size() < 3 || !std::regex_match(records[2].message, match, created)) return {};
    return match[1];
}

std::string caughtReport(const std::string& what) {
    return "Exception with message '" + what + "' caught";
}

std::string escapeRegex(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) escaped += '\\';
        escaped += c;
    }
    return escaped;
}

std::string hashOfFile(const std::string& path) {
    const std::string content = testing_support::readFile(path);
    probe::Fnv1a hash;
    hash.add(content.data(), content.size());
    return hash.hex();
}

long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(testing_support::longPath(path).c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace launch_testing
