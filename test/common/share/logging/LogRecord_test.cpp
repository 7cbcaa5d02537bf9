#include "common/share/logging/LogRecord.h"

#include <gtest/gtest.h>

#include "common/windows/WinHeaders.h"
#include "common/share/logging/SampleRecord.h"

namespace {

using testing_support::sampleRecord;

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

}  // namespace
