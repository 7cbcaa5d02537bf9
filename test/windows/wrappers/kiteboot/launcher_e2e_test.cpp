// The launcher end to end: real launcher executables around the probe payload, each started with a
// temporary directory of its own, checked by what the payload reports, the exit code, what is left on
// disk and the log the run wrote.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "programs/probe_report.h"
#include "support/LogFile.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "windows/common/FileUtils.h"

namespace {

using testing_support::ParsedRecord;
using testing_support::TempDir;

constexpr unsigned long kFailure = 0xFFFFFFFF;  // the launcher's -1

const char* const kCreateNewFile = "FileUtils::`anonymous-namespace'::createNewFile";
const char* const kDeleteFileImpl = "FileUtils::`anonymous-namespace'::deleteFileImpl";
const char* const kMoveFileImpl = "FileUtils::`anonymous-namespace'::moveFileImpl";
const char* const kDeleteDirectory = "FileUtils::deleteDirectory";
const char* const kRun = "`anonymous-namespace'::run";

std::string launcherPath(const std::string& name) {
    return testing_support::siblingProgram(name);
}

// ASCII punctuation escaped, so a path can stand inside a regular expression.
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

// "<LEVEL> <file> <function>: <message>", one line per record, for readable comparisons.
std::vector<std::string> summarize(const std::vector<ParsedRecord>& records) {
    std::vector<std::string> lines;
    for (const ParsedRecord& record : records)
        lines.push_back(record.level + " " + record.file + " " + record.function + ": " + record.message);
    return lines;
}

std::string summary(const char* level, const char* file, const char* function, const std::string& message) {
    return std::string(level) + " " + file + " " + function + ": " + message;
}

// One start of a launcher: its own TEMP, a report file outside it, the exit code.
class LauncherRun {
public:
    // tempPrefix names the run's TEMP directory (it may hold any UTF-8 text).
    explicit LauncherRun(std::string launcher, const std::string& tempPrefix = "kbtemp")
        : temp(tempPrefix), launcher_(std::move(launcher)) {
        options.environment["TEMP"] = temp.path();
        options.environment["TMP"] = temp.path();
        options.environment[probe::kReportVariable] = reportPath();
        options.timeoutMs = 60000;
    }

    unsigned long start(const std::vector<std::string>& arguments = {}) {
        return testing_support::runProcess(launcher_, arguments, options);
    }

    // The payload's report; an empty report (and a test failure) when the payload wrote none.
    probe::Report report() const {
        if (!testing_support::exists(reportPath())) {
            ADD_FAILURE() << "the payload wrote no report";
            return {};
        }
        return probe::parseReport(testing_support::readFile(reportPath()));
    }
    bool payloadRan() const { return testing_support::exists(reportPath()); }

    std::vector<ParsedRecord> records() const { return testing_support::readLogRecords(temp.path()); }
    std::vector<std::string> tempEntries() const { return testing_support::listDirectory(temp.path()); }

    // The secure directory the payload ran from, checked to be a fresh zor<number>.tmp directly in TEMP.
    std::string secureDirectory(const probe::Report& report, const std::string& payloadName) const {
        const std::regex pattern(escapeRegex(temp.path()) + R"(\\zor-?\d+\.tmp\\)" +
                                 escapeRegex(payloadName));
        EXPECT_TRUE(std::regex_match(report.modulePath, pattern)) << report.modulePath;
        return FileUtils::parentPath(report.modulePath);
    }

    // Nothing but the log left in TEMP, and the log holds exactly the records of a run that extracted
    // the payload as payloadName into secureDirectory, ran it and removed the directory.
    void expectCleanSuccessfulRun(const std::string& secureDirectory, const std::string& payloadName) const {
        EXPECT_EQ(tempEntries(), std::vector<std::string>{"morvane.log"});
        const std::vector<ParsedRecord> log = records();
        ASSERT_EQ(log.size(), 6u) << testing::PrintToString(summarize(log));
        // The extraction's temporary file has a name of its own; the rest follows from it.
        std::smatch match;
        const std::regex created("Created \\[(" + escapeRegex(secureDirectory) +
                                 R"(\\zor-?\d+\.tmp)\] file)");
        ASSERT_TRUE(std::regex_match(log[2].message, match, created)) << log[2].message;
        const std::string temporary = match[1];
        const std::string payload = secureDirectory + "\\" + payloadName;
        const std::vector<std::string> expected = {
            summary("TRACE", "FileUtils.cpp", kCreateNewFile, "Created [" + secureDirectory + "] file"),
            summary("TRACE", "FileUtils.cpp", kDeleteFileImpl, "Deleted [" + secureDirectory + "] file"),
            summary("TRACE", "FileUtils.cpp", kCreateNewFile, "Created [" + temporary + "] file"),
            summary("TRACE", "FileUtils.cpp", kMoveFileImpl,
                    "Moved '" + temporary + "' file to '" + payload + "'"),
            summary("TRACE", "FileUtils.cpp", kDeleteFileImpl, "Deleted [" + payload + "] file"),
            summary("TRACE", "FileUtils.cpp", kDeleteDirectory,
                    "Deleted [" + secureDirectory + "] directory"),
        };
        EXPECT_EQ(summarize(log), expected);
        expectOneProcess(log, payloadName);
    }

    // Every record written by one process and thread that names itself programName.
    static void expectOneProcess(const std::vector<ParsedRecord>& log, const std::string& programName) {
        for (const ParsedRecord& record : log) {
            EXPECT_EQ(record.program, programName);
            EXPECT_EQ(record.processId, log.front().processId);
            EXPECT_EQ(record.threadId, log.front().threadId);
        }
    }

    TempDir temp;
    TempDir outside{"kbout"};
    testing_support::ProcessOptions options;

private:
    std::string reportPath() const { return outside / "report.txt"; }

    std::string launcher_;
};

// ---- Exit codes

TEST(LauncherExitCode, PayloadExitCodeComesBackUnchanged) {
    for (const unsigned long code : {0ul, 1ul, 42ul, 0xC0000005ul, 0x80000000ul, 0xFFFFFFFEul}) {
        SCOPED_TRACE(testing::Message() << "exit code 0x" << std::hex << code);
        LauncherRun run(launcherPath("probe_launcher.exe"));
        run.options.environment[probe::kExitVariable] = std::to_string(code);
        EXPECT_EQ(run.start(), code);
        const probe::Report report = run.report();
        run.expectCleanSuccessfulRun(run.secureDirectory(report, "probe_launcher.exe"), "probe_launcher.exe");
    }
}

TEST(LauncherExitCode, CrashOfThePayloadComesBackAsItsExceptionCode) {
    LauncherRun run(launcherPath("probe_launcher.exe"));
    run.options.environment[probe::kCrashVariable] = "1";
    EXPECT_EQ(run.start(), 0xC0000005ul);
    const probe::Report report = run.report();
    run.expectCleanSuccessfulRun(run.secureDirectory(report, "probe_launcher.exe"), "probe_launcher.exe");
}

// ---- Arguments

// The payload's argument vector, element 0 (its own path) left out.
std::vector<std::string> payloadArguments(const probe::Report& report) {
    if (report.arguments.empty()) return {};
    return std::vector<std::string>(report.arguments.begin() + 1, report.arguments.end());
}

void expectArgumentsArrive(const std::vector<std::string>& arguments) {
    LauncherRun run(launcherPath("probe_launcher.exe"));
    ASSERT_EQ(run.start(arguments), 0u);
    const probe::Report report = run.report();
    EXPECT_EQ(payloadArguments(report), arguments);
    ASSERT_FALSE(report.arguments.empty());
    EXPECT_EQ(report.arguments[0], report.modulePath);
    run.expectCleanSuccessfulRun(run.secureDirectory(report, "probe_launcher.exe"), "probe_launcher.exe");
}

TEST(LauncherArguments, ArriveExactly) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"with space", "two  spaces", " leading and trailing ", "\ttab"},
        {"", "between", "", ""},
        {"a\"b", "\"", "\"quoted\"", "\"\"", "say \"hi\" twice \"\""},
        {"INSTALLDIR=C:\\Program Files\\App\\", "\\", "\\\\", "C:\\", "end\\\\\\"},
        {"\\\"", "a\\\"b", "a\\\\\"b", "\\\\\\\"\\\\", "\\server\\share\\"},
        {"*", "*.exe", "a?c", "%PATH%", "^&|<>()"},
        {"/s", "INSTALL_SILENT=Enable", "INSTALL_SILENT=1", "/S", "INSTALL_SILENT=0"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        expectArgumentsArrive(arguments);
    }
}

TEST(LauncherArguments, NonAsciiTextArrivesExactly) {
    const std::vector<std::vector<std::string>> cases = {
        {"Привет, мир", "INSTALLDIR=C:\\Программы\\Приложение\\"},
        {"中文参数", "安装目录=D:\\软件\\应用", "mixed Ünïcödé 日本語 ёЁ"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        expectArgumentsArrive(arguments);
    }
}

TEST(LauncherPayload, TemporaryDirectoryAndLauncherNameOutsideTheAnsiCodePage) {
    TempDir install("kbsetup");
    const std::string name = "установка 安装.exe";
    const std::string setup = install / name;
    ASSERT_TRUE(CopyFileA(launcherPath("probe_launcher.exe").c_str(), setup.c_str(), TRUE));
    LauncherRun run(setup, "kbtemp Временные 临时");
    run.options.environment[probe::kInheritedVariable] = "Значение 值";
    ASSERT_EQ(run.start({"Ёж"}), 0u);
    const probe::Report report = run.report();
    EXPECT_EQ(payloadArguments(report), std::vector<std::string>{"Ёж"});
    EXPECT_EQ(report.inherited, "Значение 值");
    run.expectCleanSuccessfulRun(run.secureDirectory(report, name), name);
}

TEST(LauncherArguments, CommandLineIsThePayloadPathAndEachArgumentQuoted) {
    LauncherRun run(launcherPath("probe_launcher.exe"));
    ASSERT_EQ(run.start({"/s", "INSTALLDIR=C:\\Program Files\\App"}), 0u);
    const probe::Report report = run.report();
    EXPECT_EQ(report.commandLine,
              "\"" + report.modulePath + "\" \"/s\" \"INSTALLDIR=C:\\Program Files\\App\"");

    LauncherRun bare(launcherPath("probe_launcher.exe"));
    ASSERT_EQ(bare.start(), 0u);
    const probe::Report bareReport = bare.report();
    EXPECT_EQ(bareReport.commandLine, "\"" + bareReport.modulePath + "\"");
}

TEST(LauncherArguments, UnquotedArgumentsAsTheRuntimeSplitThem) {
    LauncherRun run(launcherPath("probe_launcher.exe"));
    const std::string launcher = launcherPath("probe_launcher.exe");
    const unsigned long exitCode = testing_support::runProcessRaw(
        launcher, "\"" + launcher + "\" one \"two words\" \"\" \"three \\\"quoted\\\"\" * back\\slash\\",
        run.options);
    ASSERT_EQ(exitCode, 0u);
    const std::vector<std::string> expected = {"one", "two words",    "", "three \"quoted\"",
                                               "*",   "back\\slash\\"};
    EXPECT_EQ(payloadArguments(run.report()), expected);
}

// ---- Where and how the payload runs

TEST(LauncherPayload, RunsFromTheSecureDirectoryUnderTheLauncherName) {
    TempDir install("kbsetup");
    const std::string setup = install / "setup.exe";
    ASSERT_TRUE(CopyFileA(launcherPath("probe_launcher.exe").c_str(), setup.c_str(), TRUE));
    LauncherRun run(setup);
    run.options.environment[probe::kInheritedVariable] = "from the launcher's environment";
    ASSERT_EQ(run.start({"/s"}), 0u);
    const probe::Report report = run.report();

    const std::string secureDirectory = run.secureDirectory(report, "setup.exe");
    EXPECT_EQ(report.currentDirectory, secureDirectory);
    EXPECT_TRUE(report.hasInherited);
    EXPECT_EQ(report.inherited, "from the launcher's environment");
    // The payload's own file holds exactly the bytes of the embedded installer.
    const std::string probeFile = testing_support::siblingProgram("probe_payload.exe");
    EXPECT_EQ(report.imageSize, testing_support::readFile(probeFile).size());
    EXPECT_EQ(report.imageHash, hashOfFile(probeFile));
    run.expectCleanSuccessfulRun(secureDirectory, "setup.exe");
}

TEST(LauncherPayload, ProcessesStartedByThePayloadAreNotWaitedFor) {
    LauncherRun run(launcherPath("probe_launcher.exe"));
    const std::string childReport = run.outside / "child-report.txt";
    const std::string release = run.outside / "release";
    run.options.environment[probe::kSpawnVariable] = testing_support::siblingProgram("probe_payload.exe");
    run.options.environment[probe::kSpawnReportVariable] = childReport;
    run.options.environment[probe::kSpawnWaitForVariable] = release;
    // A launcher that waited for the grandchild would run into this time-out: the grandchild waits for
    // the release file, which is made only after the launcher has returned.
    run.options.timeoutMs = 20000;
    run.options.environment[probe::kExitVariable] = "7";
    EXPECT_EQ(run.start(), 7u);
    EXPECT_FALSE(testing_support::exists(childReport));
    const probe::Report report = run.report();
    run.expectCleanSuccessfulRun(run.secureDirectory(report, "probe_launcher.exe"), "probe_launcher.exe");

    testing_support::writeFile(release, "");
    for (int i = 0; i < 500 && !testing_support::exists(childReport); ++i)
        Sleep(20);
    ASSERT_TRUE(testing_support::exists(childReport)) << "the grandchild did not finish";
    EXPECT_NE(probe::parseReport(testing_support::readFile(childReport)).processId, report.processId);
}

TEST(LauncherPayload, PayloadOf151MiBIsExtractedAndRun) {
    LauncherRun run(launcherPath("big_probe_launcher.exe"));
    run.options.environment[probe::kExitVariable] = "42";
    ASSERT_EQ(run.start(), 42u);
    const probe::Report report = run.report();
    EXPECT_EQ(report.imageSize, 151ull << 20);
    EXPECT_EQ(report.imageHash, hashOfFile(testing_support::siblingProgram("probe_payload_151m.exe")));
    run.expectCleanSuccessfulRun(run.secureDirectory(report, "big_probe_launcher.exe"),
                                 "big_probe_launcher.exe");
}

// ---- Refusals and failures

TEST(LauncherRefusal, NotElevatedAndSilentEndsWithoutCreatingAnything) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"/s"}, {"first", "INSTALL_SILENT=Enable"}, {"INSTALL_SILENT=1", "last"}}) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        LauncherRun run(launcherPath("probe_launcher.exe"));
        run.options.limitedToken = true;
        EXPECT_EQ(run.start(arguments), kFailure);
        EXPECT_FALSE(run.payloadRan());
        EXPECT_EQ(run.tempEntries(), std::vector<std::string>{"morvane.log"});
        const std::vector<ParsedRecord> log = run.records();
        const std::vector<std::string> expected = {
            summary("ERROR", "kiteboot.cpp", kRun,
                    "Administrator privileges are required to run this application, exiting.")};
        EXPECT_EQ(summarize(log), expected);
        LauncherRun::expectOneProcess(log, "probe_launcher.exe");
    }
}

TEST(LauncherFailure, MissingPayloadResourceEndsWithMinusOneAndLeavesNothing) {
    LauncherRun run(launcherPath("other_id_launcher.exe"));
    EXPECT_EQ(run.start({"/s"}), kFailure);
    EXPECT_FALSE(run.payloadRan());
    EXPECT_EQ(run.tempEntries(), std::vector<std::string>{"morvane.log"});
    const std::vector<ParsedRecord> log = run.records();
    ASSERT_EQ(log.size(), 4u) << testing::PrintToString(summarize(log));
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(log[0].message, match, std::regex(R"(Created \[(.*\\zor-?\d+\.tmp)\] file)")))
        << log[0].message;
    const std::string secureDirectory = match[1];
    EXPECT_EQ(FileUtils::parentPath(secureDirectory), run.temp.path());
    // The directory is removed before the failure is reported.
    const std::vector<std::string> expected = {
        summary("TRACE", "FileUtils.cpp", kCreateNewFile, "Created [" + secureDirectory + "] file"),
        summary("TRACE", "FileUtils.cpp", kDeleteFileImpl, "Deleted [" + secureDirectory + "] file"),
        summary("TRACE", "FileUtils.cpp", kDeleteDirectory, "Deleted [" + secureDirectory + "] directory"),
    };
    const std::vector<std::string> lines = summarize(log);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), expected);
    EXPECT_EQ(log[3].level, "ERROR");
    EXPECT_EQ(log[3].file, "kiteboot.cpp");
    EXPECT_EQ(log[3].function, kRun);
    // 1814: the module has RCDATA resources, but none with identifier 100.
    const std::regex report(
        "Exception with message 'Resources\\.cpp\\(\\d+\\) at Resource::getPtr\\(\\): " +
        escapeRegex("cannot find resource (name='#100', type='#10'). System error [1814](" +
                    formatSystemError(ERROR_RESOURCE_NAME_NOT_FOUND) + ")' caught"));
    EXPECT_TRUE(std::regex_match(log[3].message, report)) << log[3].message;
    LauncherRun::expectOneProcess(log, "other_id_launcher.exe");
}

}  // namespace
