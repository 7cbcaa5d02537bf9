#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "BackgroundTask.h"
#include "WrapError.h"

namespace {

// The work runs beside the caller and is over when wait() returns; what it throws reaches the caller there,
// as it was thrown (a WrapError keeps its cause), and a task left without wait() drops it quietly.
TEST(BackgroundTask, WaitEndsTheWorkAndThrowsWhatItThrew) {
    std::atomic<int> runs{0};
    wrap::BackgroundTask done([&runs] { ++runs; });
    done.wait();
    EXPECT_EQ(runs.load(), 1);

    wrap::BackgroundTask failed([] {
        throw wrap::WrapError("cannot write 'out.exe'", std::make_error_code(std::errc::no_space_on_device));
    });
    try {
        failed.wait();
        ADD_FAILURE() << "the work's failure was not thrown";
    } catch (const wrap::WrapError& error) {
        EXPECT_STREQ(error.what(), "cannot write 'out.exe'");
        EXPECT_EQ(error.cause(), std::make_error_code(std::errc::no_space_on_device));
    }

    {
        wrap::BackgroundTask dropped([&runs] {
            ++runs;
            throw std::runtime_error("never seen");
        });
    }
    EXPECT_EQ(runs.load(), 2);
}

}  // namespace
