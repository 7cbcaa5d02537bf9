#include "common/share/tstrings.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "common/share/errors/ZorError.h"

namespace {

// The composed text of a tstrings failure: "tstrings.cpp(<line>) at tstrings::unsafe_format(): <message>".
std::string unsafeFormatFailure(const std::string& message) {
    return R"(tstrings\.cpp\(\d+\) at tstrings::unsafe_format\(\): )" + message;
}

}  // namespace

TEST(UnsafeFormat, EmptyFormatGivesEmptyText) {
    EXPECT_EQ("", tstrings::unsafe_format(""));
}

TEST(UnsafeFormat, TextsAroundEachGrowthStepComeBackWhole) {
    // 255 characters fit the first 256-character buffer with their NUL; 256 need the second one.
    for (std::size_t length : {1u, 255u, 256u, 257u, 511u, 512u, 513u, 1000u, 1001u, 5000u}) {
        const std::string text(length, 'x');
        EXPECT_EQ(text, tstrings::unsafe_format("%s", text.c_str())) << length;
    }
}

TEST(UnsafeFormat, EveryAttemptFormatsTheSameArguments) {
    // A long text needs several attempts; each must start from the first argument again.
    const std::string head(700, 'h');
    const std::string tail(600, 't');
    const std::string expected = head + "|42|" + tail + "|-7|ffff|100%";
    EXPECT_EQ(expected,
              tstrings::unsafe_format("%s|%u|%s|%d|%x|100%%", head.c_str(), 42u, tail.c_str(), -7, 0xffff));
}

TEST(UnsafeFormat, PercentSignsInArgumentsStayUnchanged) {
    EXPECT_EQ("a %s %d %% b", tstrings::unsafe_format("a %s b", "%s %d %%"));
}

TEST(UnsafeFormat, NullFormatIsRejected) {
    try {
        tstrings::unsafe_format(nullptr);
        FAIL() << "no exception";
    } catch (const ZorError<std::invalid_argument>& error) {
        EXPECT_TRUE(std::regex_match(error.what(),
                                     std::regex(unsafeFormatFailure("Destination buffer can't be NULL"))))
            << error.what();
    }
}

// Formats the runtime's formatter refuses at every buffer size. Each must end in a clear exception after
// a bounded number of attempts instead of growing the buffer until memory runs out.
struct UnrenderableCase {
    const char* name;
    std::string (*format)();
    const char* formatText;
};

class UnrenderableFormat : public testing::TestWithParam<UnrenderableCase> {};

TEST_P(UnrenderableFormat, EndsInARuntimeError) {
    try {
        const std::string text = GetParam().format();
        FAIL() << "rendered: " << text.size() << " characters";
    } catch (const ZorError<std::runtime_error>& error) {
        const std::string expected =
            unsafeFormatFailure("Format '" + std::string(GetParam().formatText) + "' can't be rendered");
        EXPECT_TRUE(std::regex_match(error.what(), std::regex(expected))) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runtime, UnrenderableFormat,
    testing::Values(
        // A wide character that the C locale cannot convert to a narrow one.
        UnrenderableCase{"WideCharacterOutsideTheLocale",
                         [] { return tstrings::unsafe_format("%ls", L"\u20ac"); }, "%ls"},
        UnrenderableCase{
            "WideTextAfterLongText",
            [] { return tstrings::unsafe_format("%s%ls", std::string(600, 'a').c_str(), L"a\u20ac"); },
            "%s%ls"},
        // An unknown conversion: the formatter rejects it, while measuring counts it as one character.
        UnrenderableCase{"UnknownConversion", [] { return tstrings::unsafe_format("%y"); }, "%y"},
        UnrenderableCase{"UnknownConversionPastTheFirstBuffer",
                         [] { return tstrings::unsafe_format("%300s%y", "a"); }, "%300s%y"},
        UnrenderableCase{"LoneTrailingPercent", [] { return tstrings::unsafe_format("100%"); }, "100%"}),
    [](const testing::TestParamInfo<UnrenderableCase>& info) { return std::string(info.param.name); });

TEST(Utf8, EmptyTextsConvertToEmptyTexts) {
    EXPECT_EQ("", tstrings::toUtf8(L""));
    EXPECT_EQ(L"", tstrings::fromUtf8(""));
}

TEST(Utf8, ConvertsEveryEncodedLengthBothWays) {
    // One, two, three and four bytes per character; a NUL inside the text is converted like any other.
    const std::wstring wide(L"a\u00e9\u20ac\U0001F600\0z", 7);
    const std::string narrow("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\0z", 12);
    EXPECT_EQ(narrow, tstrings::toUtf8(wide));
    EXPECT_EQ(wide, tstrings::fromUtf8(narrow));
}

TEST(Utf8, InvalidInputGivesEmptyTextWithoutError) {
    for (const std::string& invalid :
         {std::string("\xFF"), std::string("abc\xC3"), std::string("\xC0\x80"), std::string("a\xED\xA0\x80z"),
          std::string("\x80z"), std::string("ok\xF8\x88\x80\x80\x80")}) {
        EXPECT_EQ(L"", tstrings::fromUtf8(invalid)) << testing::PrintToString(invalid);
    }
}

TEST(Utf8, LoneSurrogateBecomesTheReplacementCharacter) {
    // UTF-16 that is not valid: WideCharToMultiByte without flags replaces it, so nothing is lost silently
    // and nothing throws.
    EXPECT_EQ("a\xEF\xBF\xBDz", tstrings::toUtf8(L"a\xD800z"));
}

TEST(CaseInsensitive, AsciiLettersAreTheOnlyBytesLowered) {
    for (int byte = 0; byte < 256; ++byte) {
        const char c = static_cast<char>(byte);
        const char expected = byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : c;
        EXPECT_EQ(std::string(1, expected), tstrings::toLower(std::string(1, c))) << "byte " << byte;
    }
}

TEST(CaseInsensitive, AsciiCaseDifferencesAreEqual) {
    EXPECT_TRUE(tstrings::equalsIgnoreCase("C:\\Users\\Setup.EXE", "c:\\users\\setup.exe"));
    EXPECT_TRUE(tstrings::equalsIgnoreCase("", ""));
    EXPECT_TRUE(tstrings::equalsIgnoreCase("ZOR12.TMP", "zor12.tmp"));
}

TEST(CaseInsensitive, OtherDifferencesAreNotEqual) {
    EXPECT_FALSE(tstrings::equalsIgnoreCase("setup.exe", "setup.ex"));
    EXPECT_FALSE(tstrings::equalsIgnoreCase("setup.exe", "setup.exe "));
    // Non-ASCII letters that differ in case: UTF-8 ("\u00c4" / "\u00e4", "\u0416" / "\u0436") and 8-bit
    // code page bytes (0xC4 / 0xE4 in Windows-1252).
    EXPECT_FALSE(tstrings::equalsIgnoreCase("\xC3\x84pfel", "\xC3\xA4pfel"));
    EXPECT_FALSE(tstrings::equalsIgnoreCase("\xD0\x96", "\xD0\xB6"));
    EXPECT_FALSE(tstrings::equalsIgnoreCase("\xC4pfel", "\xE4pfel"));
    EXPECT_FALSE(tstrings::equalsIgnoreCase(std::string("a\0b", 3), std::string("a\0c", 3)));
}
