#include "common/share/logging/FileLogAppender.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "common/share/logging/LogRecord.h"
#include "common/windows/WinHeaders.h"
#include "common/share/logging/SampleRecord.h"
#include "support/TempDir.h"
#include "windows/common/handles/UserTempDirectory.h"

using namespace testing_support;

namespace {

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

}  // namespace
