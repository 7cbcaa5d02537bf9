#include "windows/wrappers/kiteboot/LeftoverRules.h"

#include <gtest/gtest.h>

#include <utility>

#include "common/share/tstrings.h"

namespace {

// (Whether a descriptor read back is exactly the secure directory's is decided against the launcher's own
// descriptor, which only its source file makes: kiteboot_test.cpp holds that table.)
TEST(LeftoverRules, TheSecureDirectoriesNamesWithoutRegardToCase) {
    const std::pair<const wchar_t*, bool> rows[] = {
        {L"zor1.tmp", true},
        {L"zor123456789.tmp", true},
        {L"ZOR42.TMP", true},
        {L"Zor7.Tmp", true},
        {L"zor-2147.tmp", true},  // the tick count as a signed number, after 24.8 days of uptime
        {L"zor.tmp", false},
        {L"zor-.tmp", false},
        {L"zorx.tmp", false},
        {L"zor1a.tmp", false},
        {L"zor1.tmp.", false},
        {L"zor1.tm", false},
        {L"zor1.tmpx", false},
        {L"xzor1.tmp", false},
        {L"zor1 .tmp", false},
        {L"zor--1.tmp", false},
        {L"zor+1.tmp", false},
        {L"zor\\1.tmp", false},
        {L"zor\u0661.tmp", false},  // an Arabic-Indic digit one
        {L"", false},
    };
    for (const auto& [name, expected] : rows) {
        SCOPED_TRACE(tstrings::toUtf8(name));
        EXPECT_EQ(isSecureDirectoryName(name), expected);
    }
}

}  // namespace
