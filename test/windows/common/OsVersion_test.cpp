#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "support/LogCapture.h"
#include "windows/common/Dll.h"
#include "windows/common/SysInfo.h"

namespace {

int fallbackCalls = 0;

bool fails(OSVERSIONINFOEXW&) {
    return false;
}

bool reads61(OSVERSIONINFOEXW& record) {
    record.dwMajorVersion = 6;
    record.dwMinorVersion = 1;
    return true;
}

bool fallbackReads63(OSVERSIONINFOEXW& record) {
    ++fallbackCalls;
    record.dwMajorVersion = 6;
    record.dwMinorVersion = 3;
    return true;
}

// Fills the record before it throws, as a reader interrupted half way would.
bool throwsAfterWriting(OSVERSIONINFOEXW& record) {
    record.dwMajorVersion = 10;
    throw std::runtime_error("cannot bind");
}

bool throwsUnknown(OSVERSIONINFOEXW&) {
    throw 42;
}

OSVERSIONINFOEXW dirtyRecord() {
    OSVERSIONINFOEXW record{};
    record.dwMajorVersion = 6;
    record.dwBuildNumber = 1234;
    return record;
}

}  // namespace

TEST(OsVersionClass, EveryRowOfTheTable) {
    struct Row {
        unsigned long major, minor;
        int osClass;
    };
    const Row rows[] = {{0, 0, 0},  {4, 0, 0},  {5, 0, 0},  {5, 1, 1},           {5, 2, 1}, {5, 3, 0},
                        {6, 0, 2},  {6, 1, 3},  {6, 2, 4},  {6, 3, 5},           {6, 4, 7}, {7, 0, 7},
                        {10, 0, 6}, {10, 1, 7}, {11, 0, 7}, {0xFFFFFFFFul, 0, 7}};
    for (const Row& row : rows) {
        EXPECT_EQ(SysInfo::classifyOsVersion(row.major, row.minor), row.osClass)
            << row.major << "." << row.minor;
    }
}

// The class was computed before main ran; which version Wine reports depends on the prefix's settings.
TEST(OsVersionClass, RunningSystemIsClassifiedAtStartup) {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    const auto rtlGetVersion =
        reinterpret_cast<RtlGetVersionFunction>(Dll("ntdll").getFunction("RtlGetVersion", true));
    OSVERSIONINFOEXW record{};
    record.dwOSVersionInfoSize = sizeof(record);
    ASSERT_EQ(rtlGetVersion(&record), 0);
    EXPECT_EQ(SysInfo::getOsVersionClass(),
              SysInfo::classifyOsVersion(record.dwMajorVersion, record.dwMinorVersion));
    EXPECT_GE(SysInfo::getOsVersionClass(), 2) << record.dwMajorVersion << "." << record.dwMinorVersion;
}

TEST(OsVersionRead, FirstReaderThatSucceedsDecides) {
    OSVERSIONINFOEXW record = dirtyRecord();
    fallbackCalls = 0;
    EXPECT_EQ(SysInfo::readOsVersionClass(record, reads61, fallbackReads63), 3);
    EXPECT_EQ(fallbackCalls, 0);
    EXPECT_EQ(record.dwOSVersionInfoSize, 284u);
    EXPECT_EQ(record.dwBuildNumber, 0u);  // zeroed before the read
    EXPECT_EQ(SysInfo::readOsVersionClass(record, fails, fallbackReads63), 5);
    EXPECT_EQ(fallbackCalls, 1);
}

TEST(OsVersionRead, BothReadsFailingGiveClassZero) {
    OSVERSIONINFOEXW record = dirtyRecord();
    testing_support::LogCapture log;
    EXPECT_EQ(SysInfo::readOsVersionClass(record, fails, fails), 0);
    EXPECT_EQ(record.dwMajorVersion, 0u);
    EXPECT_TRUE(log.records.empty());
}

TEST(OsVersionRead, ExceptionFromAReaderIsReportedAndCountsAsUnread) {
    struct Case {
        SysInfo::OsVersionReader reader;
        const char* message;
    };
    const Case cases[] = {{throwsAfterWriting, "Exception with message 'cannot bind' caught"},
                          {throwsUnknown, "Unknown exception caught"}};
    for (const Case& c : cases) {
        OSVERSIONINFOEXW record = dirtyRecord();
        fallbackCalls = 0;
        testing_support::LogCapture log;
        EXPECT_EQ(SysInfo::readOsVersionClass(record, c.reader, fallbackReads63), 0) << c.message;
        EXPECT_EQ(fallbackCalls, 0);
        EXPECT_EQ(record.dwMajorVersion, 0u);
        EXPECT_EQ(record.dwOSVersionInfoSize, 284u);
        ASSERT_EQ(log.records.size(), 1u);
        EXPECT_EQ(log.records[0].level, "ERROR");
        EXPECT_EQ(log.records[0].function, "SysInfo::readOsVersionClass");
        EXPECT_EQ(log.records[0].message, c.message);
    }
}
