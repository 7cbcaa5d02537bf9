#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/share/logging/FileLogAppender.h"
#include "common/share/logging/LogRecord.h"
#include "common/share/logging/Logger.h"
#include "common/share/tstrings.h"
#include "common/windows/WinHeaders.h"
#include "support/LogCapture.h"
#include "support/LogFile.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "windows/common/handles/UserTempDirectory.h"

using namespace testing_support;

namespace {

LogRecord sampleRecord(const std::string& message) {
    LogRecord record{};
    record.time.wYear = 2026;
    record.time.wMonth = 3;
    record.time.wDayOfWeek = 6;
    record.time.wDay = 7;
    record.time.wHour = 4;
    record.time.wMinute = 5;
    record.time.wSecond = 6;
    record.time.wMilliseconds = 9;
    record.threadId = 345;
    record.processId = 12;
    record.program = "kiteboot.exe";
    record.level = "ERROR";
    record.file = "kiteboot.cpp";
    record.line = 57;
    record.function = "`anonymous-namespace'::run";
    record.message = message;
    return record;
}

TEST(LogRecordFormat, BothLinesFieldByField) {
    EXPECT_EQ(
        "[2026/03/07 04:05:06.009, kiteboot.exe (PID: 12, TID: 345), kiteboot.cpp:57 "
        "(`anonymous-namespace'::run)]\n"
        "\tERROR: 100% done %s %d\nsecond line\n",
        formatLogRecord(sampleRecord("100% done %s %d\nsecond line")));
}

TEST(LogRecordFormat, EveryTimeFieldIsZeroPadded) {
    LogRecord record = sampleRecord("m");
    record.time = SYSTEMTIME{987, 1, 0, 2, 0, 0, 0, 0};
    EXPECT_EQ(0u, formatLogRecord(record).find("[0987/01/02 00:00:00.000, "));
    record.time = SYSTEMTIME{12345, 12, 3, 31, 23, 59, 58, 999};
    EXPECT_EQ(0u, formatLogRecord(record).find("[12345/12/31 23:59:58.999, "));
}

TEST(LogLevels, NamesOfTheFourLevelsAndOfAnyOtherValue) {
    EXPECT_STREQ("TRACE", logLevelName(LogLevel::Trace));
    EXPECT_STREQ("INFO", logLevelName(LogLevel::Info));
    EXPECT_STREQ("WARNING", logLevelName(LogLevel::Warning));
    EXPECT_STREQ("ERROR", logLevelName(LogLevel::Error));
    for (int other : {4, -1, 100}) {
        EXPECT_STREQ("UNKNOWN", logLevelName(static_cast<LogLevel>(other))) << other;
    }
}

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
    EXPECT_EQ("logging_test.cpp", capture.records[0].file);
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

TEST(LogFilePath, FileNamePartJoinedToTheTemporaryDirectory) {
    struct Case {
        const char* name;
        const char* tempDir;
        const char* expected;
    };
    for (const Case& c :
         {Case{"morvane.log", "C:\\Temp", "C:\\Temp\\morvane.log"},
          Case{"C:\\elsewhere/logs\\custom.log", "C:\\Temp", "C:\\Temp\\custom.log"},
          Case{"", "C:\\Temp", "C:\\Temp\\morvane.log"}, Case{"logs\\", "C:\\Temp", "C:\\Temp\\morvane.log"},
          Case{"morvane.log", "", "morvane.log"}, Case{"a/b.log", "", "b.log"}}) {
        EXPECT_EQ(c.expected, logFilePath(c.name, c.tempDir)) << c.name << " in " << c.tempDir;
    }
}

TEST(FileLogAppender, RecordTextGetsCrLfLineEnds) {
    EXPECT_EQ(withCrLf(""), "");
    EXPECT_EQ(withCrLf("a\n\tb\n"), "a\r\n\tb\r\n");
    EXPECT_EQ(withCrLf("\n\n"), "\r\n\r\n");
    EXPECT_EQ(withCrLf("no break\r"), "no break\r");
}

TEST(FileLogAppender, AppendsEachRecordWithCrLfToTheFileInTheTemporaryDirectory) {
    TempDir dir;
    FileLogAppender appender("elsewhere\\custom.log", dir.path());
    EXPECT_EQ(dir / "custom.log", appender.path());
    const LogRecord first = sampleRecord("first 100%\nmore");
    const LogRecord second = sampleRecord("second");
    appender.append(first);
    appender.append(second);
    EXPECT_EQ(withCrLf(formatLogRecord(first) + formatLogRecord(second)), readFile(dir / "custom.log"));
    // A directory that cannot be opened drops every record, with its error.
    FileLogAppender nowhere("custom.log", dir / "missing");
    EXPECT_EQ(nowhere.append(first), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(FileLogAppender, TheProcessLogsWhereItFirstFoundTheTemporaryDirectory) {
    const std::string first = UserTempDirectory::path();
    ASSERT_FALSE(first.empty());
    TempDir later;
    TempOverride temp(later.path());
    FileLogAppender appender("looked-up-once.log");
    const LogRecord record = sampleRecord("once");
    appender.append(record);
    const std::string written = readFile(first + "\\looked-up-once.log");
    DeleteFileA((first + "\\looked-up-once.log").c_str());
    EXPECT_EQ(first, UserTempDirectory::path());
    EXPECT_EQ(withCrLf(formatLogRecord(record)), written);
    EXPECT_TRUE(listDirectory(later.path()).empty());
}

// Opens path the way another program might hold it: share is _SH_DENYRW, _SH_DENYWR or _SH_DENYNO.
struct HeldFile {
    HeldFile(const std::string& path, int access, int share) {
        _sopen_s(&fd, path.c_str(), access, share, _S_IREAD);
    }
    ~HeldFile() {
        if (fd >= 0) _close(fd);
    }
    int fd = -1;
};

double millisecondsSince(LARGE_INTEGER start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

TEST(FileLogAppender, RecordIsDroppedWhileAnotherHolderDeniesWritingAndTheNextIsWritten) {
    TempDir dir;
    FileLogAppender appender("morvane.log", dir.path());
    const LogRecord kept = sampleRecord("kept");
    EXPECT_EQ(appender.append(kept), static_cast<DWORD>(ERROR_SUCCESS));
    for (const int share : {_SH_DENYRW, _SH_DENYWR}) {
        {
            HeldFile holder(appender.path(), _O_RDWR | _O_BINARY, share);
            ASSERT_GE(holder.fd, 0) << share;
            LARGE_INTEGER start{};
            QueryPerformanceCounter(&start);
            EXPECT_EQ(appender.append(sampleRecord("lost")), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
            // Ten attempts one millisecond apart before the record is given up.
            EXPECT_GE(millisecondsSince(start), 9.0) << share;
        }
        EXPECT_EQ(appender.append(kept), static_cast<DWORD>(ERROR_SUCCESS));
    }
    EXPECT_EQ(withCrLf(formatLogRecord(kept) + formatLogRecord(kept) + formatLogRecord(kept)),
              readFile(appender.path()));
}

TEST(FileLogAppender, ReadersThatShareWritingDoNotBlockRecords) {
    TempDir dir;
    FileLogAppender appender("morvane.log", dir.path());
    appender.append(sampleRecord("one"));
    {
        HeldFile reader(appender.path(), _O_RDONLY | _O_BINARY, _SH_DENYNO);
        ASSERT_GE(reader.fd, 0);
        appender.append(sampleRecord("two"));
    }
    EXPECT_EQ(withCrLf(formatLogRecord(sampleRecord("one")) + formatLogRecord(sampleRecord("two"))),
              readFile(appender.path()));
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
