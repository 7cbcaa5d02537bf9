// The harness's retry of a test program's start that Wine failed with ERROR_INTERNAL_ERROR.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "common/windows/WinHeaders.h"
#include "support/Process.h"

namespace {

// Stands in for CreateProcess: each call gives the next scripted result, 0 for success or an error.
struct ScriptedStarts {
    std::vector<DWORD> results;
    std::size_t calls = 0;
    bool operator()() {
        const DWORD error = results.at(calls++);
        SetLastError(error);
        return error == ERROR_SUCCESS;
    }
};

TEST(StartRetry, OnlyTheInternalErrorIsTriedAgainAndEachRetryIsPrinted) {
    struct Case {
        std::vector<DWORD> results;
        bool started;
        DWORD lastError;  // when not started
    };
    const Case cases[] = {
        {{ERROR_SUCCESS}, true, 0},
        {{ERROR_INTERNAL_ERROR, ERROR_INTERNAL_ERROR, ERROR_SUCCESS}, true, 0},
        {std::vector<DWORD>(testing_support::kStartAttempts, ERROR_INTERNAL_ERROR), false,
         ERROR_INTERNAL_ERROR},
        {{ERROR_FILE_NOT_FOUND}, false, ERROR_FILE_NOT_FOUND},
        {{ERROR_INTERNAL_ERROR, ERROR_ACCESS_DENIED}, false, ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.results));
        ScriptedStarts starts{c.results};
        std::ostringstream log;
        EXPECT_EQ(testing_support::createProcessRetrying("x.exe", std::ref(starts), log), c.started);
        if (!c.started) {
            EXPECT_EQ(GetLastError(), c.lastError);
        }
        // Every scripted result was asked for, one retry line for each call after the first.
        EXPECT_EQ(starts.calls, c.results.size());
        std::string expected;
        for (std::size_t retry = 1; retry < c.results.size(); ++retry)
            expected +=
                "harness: starting x.exe failed with error 1359, retry " + std::to_string(retry) + " of 4\n";
        EXPECT_EQ(log.str(), expected);
    }
}

}  // namespace
