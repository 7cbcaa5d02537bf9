#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/windows/WinAutoHandle.h"
#include "support/LogCapture.h"

namespace {

constexpr DWORD kSuccess = ERROR_SUCCESS;

HANDLE newEvent() {
    return CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

bool isOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != 0;
}

std::string closeFailure(HANDLE handle) {
    char text[32];
    std::snprintf(text, sizeof(text), "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle)));
    return std::string("CloseHandle(") + text + ") failed with system error 6 (Invalid handle)";
}

}  // namespace

TEST(CloseHandle, ClosedHandleLogsOneErrorRecord) {
    testing_support::LogCapture log;
    const HANDLE event = newEvent();
    ASSERT_TRUE(CloseHandle(event));
    EXPECT_EQ(closeHANDLE(event), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].level, "ERROR");
    EXPECT_EQ(log.records[0].file, "WinAutoHandle.cpp");
    EXPECT_EQ(log.records[0].function, "closeHANDLE");
    EXPECT_EQ(log.records[0].message, closeFailure(event));
}

TEST(CloseHandle, NullAndInvalidHandleAreSkipped) {
    testing_support::LogCapture log;
    EXPECT_EQ(closeHANDLE(nullptr), kSuccess);  // CloseHandle(NULL) would fail and log
    EXPECT_EQ(closeHANDLE(INVALID_HANDLE_VALUE), kSuccess);
    EXPECT_TRUE(log.records.empty());
}

TEST(ScopedHandle, ReleasedTwiceClosesOnce) {
    testing_support::LogCapture log;
    UniqueHandle holder(newEvent());
    const HANDLE event = holder.get();
    EXPECT_EQ(holder.reset(), kSuccess);
    EXPECT_FALSE(isOpen(event));
    EXPECT_EQ(holder.reset(), kSuccess);
    EXPECT_FALSE(holder.owned());
    EXPECT_TRUE(log.records.empty());  // a second CloseHandle would have logged
}

TEST(ScopedHandle, MoveTransfersOwnership) {
    testing_support::LogCapture log;
    UniqueHandle target(newEvent());
    const HANDLE replaced = target.get();
    HANDLE moved = nullptr;
    {
        UniqueHandle source(newEvent());
        moved = source.get();
        UniqueHandle middle(std::move(source));
        EXPECT_FALSE(source.owned());
        target = std::move(middle);
        EXPECT_FALSE(middle.owned());
        EXPECT_FALSE(isOpen(replaced));
    }
    EXPECT_TRUE(isOpen(moved));
    EXPECT_EQ(target.get(), moved);
    target.reset();
    EXPECT_FALSE(isOpen(moved));
    EXPECT_TRUE(log.records.empty());
}

TEST(ScopedHandle, InstallingClosesThePreviousHandle) {
    UniqueHandle holder(newEvent());
    const HANDLE first = holder.get();
    const HANDLE second = newEvent();
    holder.reset(second);
    EXPECT_FALSE(isOpen(first));
    EXPECT_TRUE(isOpen(second));
    EXPECT_TRUE(holder.owned());
}

TEST(ScopedHandle, ResetKeepsTheLastError) {
    testing_support::LogCapture log;
    const HANDLE event = newEvent();
    CloseHandle(event);
    UniqueHandle holder(event);  // closing it fails and sets ERROR_INVALID_HANDLE
    SetLastError(ERROR_FILE_EXISTS);
    EXPECT_EQ(holder.reset(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(log.messages(), std::vector<std::string>{closeFailure(event)});
}
