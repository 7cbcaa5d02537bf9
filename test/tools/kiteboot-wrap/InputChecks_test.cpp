// The checks of versions and texts (the checks of files are tested end to end with their messages).
#include <gtest/gtest.h>

#include "InputChecks.h"
#include "Utf16.h"
#include "VersionResource.h"

namespace {

TEST(InputChecks, VersionsAreFourNumbersUpTo65535) {
    const struct {
        const char* version;
        const char* problem;
    } cases[] = {
        {"1.2.3.4", ""},
        {"0.0.0.0", ""},
        {"65535.65535.65535.65535", ""},
        {"000001.2.3.00000", ""},  // leading zeros: the numbers 1 and 0
        {"0000065536.1.1.1", "--file-version '0000065536.1.1.1' has a number above 65535"},
        {"1.2.3", "--file-version '1.2.3' is not four numbers separated by dots (like 1.2.3.4)"},
        {"1.2.3.4.5", "--file-version '1.2.3.4.5' is not four numbers separated by dots (like 1.2.3.4)"},
        {"1..3.4", "--file-version '1..3.4' is not four numbers separated by dots (like 1.2.3.4)"},
        {"1.2.3.-4", "--file-version '1.2.3.-4' is not four numbers separated by dots (like 1.2.3.4)"},
        {"", "--file-version '' is not four numbers separated by dots (like 1.2.3.4)"},
        {"1.2.65536.4", "--file-version '1.2.65536.4' has a number above 65535"},
        {"1.2.3.99999999999999999999",
         "--file-version '1.2.3.99999999999999999999' has a number above 65535"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::versionProblem("--file-version", c.version), c.problem) << c.version;
    EXPECT_EQ(wrap::versionNumbers("65535.0.7.10"), (std::array<std::uint16_t, 4>{65535, 0, 7, 10}));
    EXPECT_EQ(wrap::versionNumbers("000001.2.3.00000"), (std::array<std::uint16_t, 4>{1, 2, 3, 0}));
}

TEST(InputChecks, TextsAreUtf8WithoutLineBreaksOrTabs) {
    const struct {
        std::string text;
        std::string problem;
    } cases[] = {
        {"Установщик 中文 \xF0\x9F\x98\x80", ""},
        {"", ""},
        {"a\tb", "--company 'a\\tb' holds a line break or a tab"},
        {"a\r\n", "--company 'a\\r\\n' holds a line break or a tab"},
        {"\xC0\xAF", "--company '\\xc0\\xaf' is not UTF-8 text"},           // overlong '/'
        {"\xED\xA0\x80", "--company '\\xed\\xa0\\x80' is not UTF-8 text"},  // a surrogate
        {"\xE4\xB8", "--company '\\xe4\\xb8' is not UTF-8 text"},           // cut short
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::textProblem("--company", c.text), c.problem) << c.text;
    EXPECT_EQ(wrap::utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
}

}  // namespace
