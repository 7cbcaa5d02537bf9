#include "common/share/logging/Logger.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/share/logging/LogRecord.h"
#include "common/windows/WinHeaders.h"
#include "support/LogCapture.h"
#include "support/LogFile.h"
#include "support/Process.h"
#include "support/TempDir.h"

using namespace testing_support;

namespace {

ULONGLONG asTicks(const SYSTEMTIME& time) {
    FILETIME file{};
    SystemTimeToFileTime(&time, &file);
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

TEST(Logger, LogFillsEveryFieldOfTheRecord) {
    LogCapture capture;
    SYSTEMTIME before{};
    SYSTEMTIME after{};
    GetLocalTime(&before);
    Logger::instance().log(LogLevel::Warning, "src\\common/share\\Mixed.cpp", 31, "ns::function", "text");
    GetLocalTime(&after);
    ASSERT_EQ(1u, capture.records.size());
    const LogRecord& record = capture.records[0];
    EXPECT_LE(asTicks(before), asTicks(record.time));
    EXPECT_GE(asTicks(after), asTicks(record.time));
    EXPECT_EQ(GetCurrentProcessId(), record.processId);
    EXPECT_EQ(GetCurrentThreadId(), record.threadId);
    EXPECT_EQ("foundation_tests.exe", record.program);
    EXPECT_EQ("WARNING", record.level);
    EXPECT_EQ("Mixed.cpp", record.file);
    EXPECT_EQ(31, record.line);
    EXPECT_EQ("ns::function", record.function);
    EXPECT_EQ("text", record.message);
}

TEST(Logger, EveryMessageFormAndLevelEndsInARecord) {
    LogCapture capture;
    Logger& logger = Logger::instance();
    logger.log(LogLevel::Trace, "plain.cpp", 1, "f", std::string("string"));
    logger.log(LogLevel::Info, "plain.cpp", 2, "f", "text");
    logger.log(LogLevel::Error, "plain.cpp", 3, "f", MessageBuilder("builder ") << 3);
    logger.log(static_cast<LogLevel>(4), "plain.cpp", 4, "f", "four");
    logger.log(static_cast<LogLevel>(-1), "plain.cpp", 5, "f", "minus one");
    ASSERT_EQ(5u, capture.records.size());
    const std::vector<std::pair<std::string, std::string>> expected = {{"TRACE", "string"},
                                                                       {"INFO", "text"},
                                                                       {"ERROR", "builder 3"},
                                                                       {"UNKNOWN", "four"},
                                                                       {"UNKNOWN", "minus one"}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(expected[i].first, capture.records[i].level) << i;
        EXPECT_EQ(expected[i].second, capture.records[i].message) << i;
        EXPECT_EQ("plain.cpp", capture.records[i].file) << i;
    }
}

int composed = 0;

std::string countComposition() {
    ++composed;
    return "composed";
}

TEST(Logger, StatementsBelowTheThresholdComposeNothing) {
    LogCapture capture;
    composed = 0;
    const int traceLine = __LINE__ + 1;
    LOG_TRACE("trace " << countComposition());
    {
        ThresholdOverride errorsOnly(3);
        LOG_TRACE("hidden " << countComposition());
        LOG_WARNING("hidden " << countComposition());
        LOG_ERROR("shown " << countComposition());
    }
    EXPECT_EQ(2, composed);
    EXPECT_EQ((std::vector<std::string>{"trace composed", "shown composed"}), capture.messages());
    ASSERT_FALSE(capture.records.empty());
    EXPECT_EQ("Logger_test.cpp", capture.records[0].file);
    EXPECT_EQ(traceLine, capture.records[0].line);
    EXPECT_EQ("TRACE", capture.records[0].level);
    EXPECT_EQ("`anonymous-namespace'::Logger_StatementsBelowTheThresholdComposeNothing_Test::TestBody",
              capture.records[0].function);
}

TEST(Logger, InstanceIsCreatedOnce) {
    Logger& first = Logger::instance();
    LogAppender* const appender = first.appender;
    EXPECT_EQ(&first, &Logger::instance());
    EXPECT_EQ(appender, Logger::instance().appender);
}

TEST(ProgramName, IsTheFileNameCutTo259Characters) {
    EXPECT_EQ("setup.exe", programNameOf("C:\\dir/sub\\setup.exe"));
    EXPECT_EQ("setup.exe", programNameOf("setup.exe"));
    const std::string exactly259 = std::string(255, 'n') + ".exe";
    EXPECT_EQ(exactly259, programNameOf("C:\\d\\" + exactly259));
    const std::string longName = std::string(300, 'p') + ".exe";
    EXPECT_EQ(std::string(259, 'p'), programNameOf("C:\\dir\\" + longName));
}

// ---- The logger of a real program: log_probe writes one record per argument.

ProcessOptions withTemp(const std::string& dir) {
    ProcessOptions options;
    options.environment = {{"TMP", dir}, {"TEMP", dir}};
    return options;
}

TEST(ProgramLog, RecordsOfARealProgramOnDisk) {
    TempDir dir;
    const std::string probe = siblingProgram("log_probe.exe");
    ASSERT_EQ(0u, runProcess(probe,
                             {"3:@self", "0:100% done %s\nsecond line", "2:warning", "1:info", "4:four",
                              "-1:minus one"},
                             withTemp(dir.path())));
    const std::string raw = readFile(dir / "morvane.log");
    // Every line ends in CR LF on disk, the line inside the message included.
    EXPECT_NE(std::string::npos, raw.find("\tTRACE: 100% done %s\r\nsecond line\r\n["));
    std::size_t bareLineFeeds = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) ++bareLineFeeds;
    }
    EXPECT_EQ(0u, bareLineFeeds);

    const std::vector<ParsedRecord> records = parseLog(raw);
    ASSERT_EQ(6u, records.size()) << raw;
    const std::vector<std::pair<std::string, std::string>> expected = {{"TRACE", "100% done %s\nsecond line"},
                                                                       {"WARNING", "warning"},
                                                                       {"INFO", "info"},
                                                                       {"UNKNOWN", "four"},
                                                                       {"UNKNOWN", "minus one"}};
    const ParsedRecord& self = records[0];
    EXPECT_EQ("ERROR", self.level);
    EXPECT_EQ("pid=" + std::to_string(self.processId) + " tid=" + std::to_string(self.threadId) +
                  " line=" + std::to_string(self.line),
              self.message);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ("log_probe.exe", records[i].program) << i;
        EXPECT_EQ("log_probe.cpp", records[i].file) << i;
        EXPECT_EQ("main", records[i].function) << i;
        EXPECT_EQ(self.line, records[i].line) << i;
        EXPECT_EQ(self.processId, records[i].processId) << i;
        EXPECT_EQ(self.threadId, records[i].threadId) << i;
        if (i > 0) {
            EXPECT_EQ(expected[i - 1].first, records[i].level) << i;
            EXPECT_EQ(expected[i - 1].second, records[i].message) << i;
        }
    }
    EXPECT_NE(GetCurrentProcessId(), self.processId);
}

TEST(ProgramLog, RecordsOfTwoProcessesFollowEachOtherInOneFile) {
    TempDir dir;
    const std::string probe = siblingProgram("log_probe.exe");
    ASSERT_EQ(0u, runProcess(probe, {"3:@self", "3:first run"}, withTemp(dir.path())));
    ASSERT_EQ(0u, runProcess(probe, {"3:@self", "3:second run"}, withTemp(dir.path())));
    const std::vector<ParsedRecord> records = readLogRecords(dir.path());
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ("first run", records[1].message);
    EXPECT_EQ("second run", records[3].message);
    for (std::size_t run : {0u, 2u}) {
        EXPECT_EQ("pid=" + std::to_string(records[run].processId) + " tid=" +
                      std::to_string(records[run].threadId) + " line=" + std::to_string(records[run].line),
                  records[run].message);
        EXPECT_EQ(records[run].processId, records[run + 1].processId);
    }
}

TEST(ProgramLog, LogFileLiesInTheTemporaryDirectoryOfTheProgram) {
    TempDir tmp;
    TempDir temp;
    const std::string probe = siblingProgram("log_probe.exe");
    // TMP comes first; without it, TEMP.
    ProcessOptions both;
    both.environment = {{"TMP", tmp.path()}, {"TEMP", temp.path()}};
    ASSERT_EQ(0u, runProcess(probe, {"3:to tmp"}, both));
    ProcessOptions tempOnly;
    tempOnly.environment = {{"TMP", ""}, {"TEMP", temp.path()}};
    ASSERT_EQ(0u, runProcess(probe, {"3:to temp"}, tempOnly));
    const std::vector<ParsedRecord> inTmp = readLogRecords(tmp.path());
    const std::vector<ParsedRecord> inTemp = readLogRecords(temp.path());
    ASSERT_EQ(1u, inTmp.size());
    ASSERT_EQ(1u, inTemp.size());
    EXPECT_EQ("to tmp", inTmp[0].message);
    EXPECT_EQ("to temp", inTemp[0].message);
}

TEST(ProgramLog, WithoutATemporaryDirectoryTheLogGoesToTheCurrentDirectory) {
    // A TMP value longer than MAX_PATH makes GetTempPathA fail under Wine; the log file then has its bare
    // name, which resolves against the current directory.
    TempDir current;
    ProcessOptions options;
    options.environment = {{"TMP", "C:\\" + std::string(300, 't')}};
    options.currentDirectory = current.path();
    ASSERT_EQ(0u, runProcess(siblingProgram("log_probe.exe"), {"3:no temp"}, options));
    const std::vector<ParsedRecord> records = readLogRecords(current.path());
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("no temp", records[0].message);
}

// A file that is deleted when the object goes.
struct ScopedFile {
    explicit ScopedFile(const std::string& path) : path(path) {}
    ~ScopedFile() { removeAll(path); }
    std::string path;
};

TEST(ProgramLog, ProgramNameIsTheExecutablesFileName) {
    // 255 characters is the longest file name the Linux file system under Wine stores, and Wine starts no
    // program whose path is longer than 259 characters, so the program lies in the root of drive C:. The
    // cut beyond 259 characters is pinned by ProgramName.IsTheFileNameCutTo259Characters.
    TempDir dir;
    const std::string id = std::to_string(GetCurrentProcessId());
    const std::string name = std::string(251 - id.size(), 'L') + id + ".exe";
    const ScopedFile copy("C:\\" + name);
    ASSERT_TRUE(CopyFileA(siblingProgram("log_probe.exe").c_str(), copy.path.c_str(), FALSE))
        << GetLastError();
    ASSERT_EQ(0u, runProcess(copy.path, {"3:long name"}, withTemp(dir.path())));
    const std::vector<ParsedRecord> records = readLogRecords(dir.path());
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(255u, records[0].program.size());
    EXPECT_EQ(name, records[0].program);
}

}  // namespace
