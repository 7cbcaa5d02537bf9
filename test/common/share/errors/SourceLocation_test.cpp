// Reports of caught exceptions: one ERROR record located where the exception was absorbed.
#include "common/share/errors/SourceLocation.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/share/errors/ZorError.h"
#include "common/share/logging/Logger.h"
#include "support/LogCapture.h"

using testing_support::LogCapture;
using testing_support::ThresholdOverride;

namespace {

int throwingLine = 0;

void throwRuntimeError(int value) {
    throwingLine = __LINE__ + 1;
    ZOR_THROW_RUNTIME_ERROR("value " << value << " rejected");
}

TEST(ErrorReports, ReportErrorWritesOneErrorRecordAtTheLocation) {
    LogCapture capture;
    SourceLocation("src\\windows/wrappers\\kiteboot.cpp", "`anonymous-namespace'::run", 77)
        .reportError(std::runtime_error("it broke"));
    ASSERT_EQ(1u, capture.records.size());
    const LogRecord& record = capture.records[0];
    EXPECT_EQ("ERROR", record.level);
    EXPECT_EQ("kiteboot.cpp", record.file);
    EXPECT_EQ(77, record.line);
    EXPECT_EQ("`anonymous-namespace'::run", record.function);
    EXPECT_EQ("Exception with message 'it broke' caught", record.message);
}

TEST(ErrorReports, ReportErrorQuotesTheComposedTextOfAZorError) {
    LogCapture capture;
    try {
        throwRuntimeError(9);
    } catch (const std::exception& error) {
        SourceLocation("k.cpp", "f", 3).reportError(error);
    }
    EXPECT_EQ(
        std::vector<std::string>{"Exception with message 'SourceLocation_test.cpp(" +
                                 std::to_string(throwingLine) +
                                 ") at `anonymous-namespace'::throwRuntimeError(): value 9 rejected' caught"},
        capture.messages());
}

TEST(ErrorReports, ReportErrorUsesTheOwnTextOfAStandardException) {
    LogCapture capture;
    try {
        throw std::bad_alloc();
    } catch (const std::exception& error) {
        SourceLocation("k.cpp", "f", 3).reportError(error);
    }
    EXPECT_EQ(std::vector<std::string>{"Exception with message 'std::bad_alloc' caught"}, capture.messages());
}

int absorbingLine = 0;

// A site that absorbs failures the way the launcher's run sequence does.
void absorb(void (*body)()) {
    absorbingLine = __LINE__ + 4;
    try {
        body();
    }
    ZOR_REPORT_EXCEPTIONS
}

TEST(ErrorReports, AbsorbingSiteReportsEachKindAtItsOwnLocation) {
    LogCapture capture;
    absorb([] { throw std::out_of_range("index 4"); });
    absorb([] { throw 42; });
    ASSERT_EQ(2u, capture.records.size());
    for (const LogRecord& record : capture.records) {
        EXPECT_EQ("ERROR", record.level);
        EXPECT_EQ("SourceLocation_test.cpp", record.file);
        EXPECT_EQ(absorbingLine, record.line);
        EXPECT_EQ("`anonymous-namespace'::absorb", record.function);
    }
    EXPECT_EQ("Exception with message 'index 4' caught", capture.records[0].message);
    EXPECT_EQ("Unknown exception caught", capture.records[1].message);
}

TEST(ErrorReports, ReportsIgnoreTheThreshold) {
    LogCapture capture;
    {
        ThresholdOverride quiet(4);
        LOG_ERROR("not written");
        SourceLocation("k.cpp", "f", 3).reportUnknownError();
        SourceLocation("k.cpp", "f", 3).reportError(std::runtime_error("x"));
    }
    EXPECT_EQ((std::vector<std::string>{"Unknown exception caught", "Exception with message 'x' caught"}),
              capture.messages());
}

}  // namespace
