// GoogleTest's port settings for this project, found before GoogleTest's own empty file of this name.
// The toolchain's Win32 thread model has no std::mutex or std::condition_variable, which GoogleTest's
// Notification (used only when GoogleTest starts threads of its own) waits with; this one waits on an
// atomic flag instead. GoogleTest's other locks are its own, made of Windows critical sections.
#ifndef GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#define GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    void Notify() { notified_.store(true); }
    void WaitForNotification() {
        while (!notified_.load()) {
        }
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace testing::internal

#endif  // GOOGLETEST_INCLUDE_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
