#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/windows/WinErrorHandling.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

int createDirectoryThrowLine = 0;

void createDirectory(const std::string& path) {
    if (!CreateDirectoryA(path.c_str(), nullptr)) {
        createDirectoryThrowLine = __LINE__ + 1;
        ZOR_THROW_LAST_ERROR(CreateDirectoryA, "CreateDirectory(" << path << ") failed");
    }
}

std::string hex16(const void* address) {
    char text[32];
    std::snprintf(text, sizeof(text), "%016llX",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address)));
    return text;
}

int returnedErrorThrowLine = 0;
int returnedErrorEvaluations = 0;

// Raises the code a call returned, as code that may throw does with a handle-relative call's result.
void raiseReturned(DWORD code) {
    returnedErrorThrowLine = __LINE__ + 1;
    ZOR_THROW_IF_WIN32_ERROR(CreateFileW, (++returnedErrorEvaluations, code), "Open(" << code << ") failed");
}

// A committed page that belongs to no module.
struct PrivatePage {
    void* address = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ~PrivatePage() { VirtualFree(address, 0, MEM_RELEASE); }
};

// No system message table has customer codes (bit 29 set).
constexpr DWORD kUnknownCode = 0x2000ABCD;

}  // namespace

TEST(SysErrorText, FailedCallReadsAsLocationMessageCodeAndDescription) {
    testing_support::TempDir dir;
    const std::string path = dir / "missing\\child";
    try {
        createDirectory(path);
        FAIL() << "CreateDirectoryA succeeded on " << path;
    } catch (const SysError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "WinErrorHandling_test.cpp(" + std::to_string(createDirectoryThrowLine) +
                      ") at `anonymous-namespace'::createDirectory(): CreateDirectory(" + path +
                      ") failed. System error [3](system error 3 (Path not found))");
    }
}

TEST(SysErrorText, DescriptionIsOneLineWithoutFinalPeriod) {
    EXPECT_EQ(getSystemErrorText(ERROR_PATH_NOT_FOUND), "Path not found");
    for (DWORD code = 0; code < 16000; ++code) {
        const std::string text = getSystemErrorText(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), '.') << code;
        EXPECT_NE(text.back(), ' ') << code;
        for (char c : text)
            ASSERT_GE(static_cast<unsigned char>(c), 0x20) << code << ": " << text;
    }
}

TEST(SysErrorText, ModuleWithoutTheCodeFallsBackToTheSystem) {
    // The test program has no message table, so only the second lookup can find the text.
    EXPECT_EQ(getSystemErrorText(ERROR_INVALID_HANDLE, GetModuleHandleW(nullptr)), "Invalid handle");
    EXPECT_EQ(formatSystemError(ERROR_INVALID_HANDLE, GetModuleHandleW(nullptr)),
              "system error 6 (Invalid handle)");
}

TEST(SysErrorText, UnknownCodeHasNoDescription) {
    EXPECT_EQ(formatSystemError(kUnknownCode), "system error 536914893 (No description available)");
    EXPECT_EQ(getSystemErrorText(kUnknownCode, GetModuleHandleW(L"kernel32.dll")),
              "No description available");
    EXPECT_EQ(
        std::string(
            SysError(MessageBuilder("Probe() failed"), functionAddress(CreateFileA), kUnknownCode).what()),
        "Probe() failed. System error [536914893](system error 536914893 (No description available))");
}

TEST(SysErrorText, AddressOutsideEveryModuleGivesNoDescriptionAndOneWarning) {
    const PrivatePage page;
    ASSERT_NE(page.address, nullptr);
    testing_support::LogCapture log;
    const SysError error(MessageBuilder("Probe(x) failed"), page.address, ERROR_ACCESS_DENIED);
    EXPECT_EQ(std::string(error.what()), "Probe(x) failed. System error [5]");
    ASSERT_EQ(log.records.size(), 1u);
    EXPECT_EQ(log.records[0].level, "WARNING");
    EXPECT_EQ(log.records[0].file, "WinErrorHandling.cpp");
    EXPECT_EQ(log.records[0].function, "`anonymous-namespace'::makeMessage");
    EXPECT_EQ(log.records[0].message, "GetModuleHandleEx() failed for " + hex16(page.address) + " address.");
}

// A returned code is raised as a failed call is, with the statement's location; ERROR_SUCCESS is not; the
// code is evaluated once either way.
TEST(SysErrorText, AReturnedCodeIsRaisedUnlessItIsSuccess) {
    returnedErrorEvaluations = 0;
    EXPECT_NO_THROW(raiseReturned(ERROR_SUCCESS));
    EXPECT_EQ(returnedErrorEvaluations, 1);
    try {
        raiseReturned(ERROR_SHARING_VIOLATION);
        FAIL() << "no exception";
    } catch (const SysError& error) {
        EXPECT_EQ(std::string(error.what()),
                  "WinErrorHandling_test.cpp(" + std::to_string(returnedErrorThrowLine) +
                      ") at `anonymous-namespace'::raiseReturned(): Open(32) failed. System error [32](" +
                      formatSystemError(ERROR_SHARING_VIOLATION) + ")");
    }
    EXPECT_EQ(returnedErrorEvaluations, 2);
}
