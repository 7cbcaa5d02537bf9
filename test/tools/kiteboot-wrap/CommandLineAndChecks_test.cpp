// kiteboot-wrap's options and the checks of versions and texts (the checks of files are tested end to end
// with their messages).
#include <gtest/gtest.h>

#include "AppendedPayload.h"
#include "CommandLine.h"
#include "InputChecks.h"
#include "Stub.h"
#include "StubMark.h"
#include "Utf16.h"
#include "Wrap.h"
#include "WrapDefaults.h"

namespace {

TEST(CommandLine, TakesOptionsWithSeparateOrJoinedValuesAndReportsEveryMistake) {
    const struct {
        std::vector<std::string> arguments;
        std::string payload, company;
        std::vector<std::string> errors;
    } cases[] = {
        {{"--payload", "a.exe", "--company=X=Y"}, "a.exe", "X=Y", {}},
        {{"--payload=", "--company", "--odd"}, "", "--odd", {}},
        {{"--payload"}, "", wrap::defaultCompany, {"option --payload needs a value"}},
        {{"--payload", "a", "--payload", "b"},
         "b",
         wrap::defaultCompany,
         {"option --payload is given twice"}},
        {{"-x", "--out", "o"},
         "",
         wrap::defaultCompany,
         {"unknown option '-x'", "unknown option '--out'", "unknown option 'o'"}},
    };
    for (const auto& c : cases) {
        const wrap::ParsedCommandLine parsed = wrap::parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.options.payload, c.payload) << c.arguments[0];
        EXPECT_EQ(parsed.options.company, c.company) << c.arguments[0];
        EXPECT_EQ(parsed.errors, c.errors) << c.arguments[0];
        EXPECT_EQ(parsed.options.version, wrap::defaultVersion);
    }
    EXPECT_TRUE(wrap::parseCommandLine({"--help"}).help);
}

// --version asks for the program's own version; the bootstrapper's is --file-version. A script written for
// the old spelling (--version 1.2.3.4) gets a usage error rather than a version printed and nothing wrapped.
TEST(CommandLine, VersionIsTheProgramsOwnAndFileVersionTheBootstrappers) {
    const wrap::ParsedCommandLine own = wrap::parseCommandLine({"--version"});
    EXPECT_TRUE(own.toolVersion);
    EXPECT_TRUE(own.errors.empty());
    EXPECT_EQ(wrap::toolVersionText(), std::string("kiteboot-wrap ") + wrap::toolVersion + "\n");
    const wrap::ParsedCommandLine file = wrap::parseCommandLine({"--file-version", "2.3.4.5"});
    EXPECT_FALSE(file.toolVersion);
    EXPECT_EQ(file.options.version, "2.3.4.5");
    const wrap::ParsedCommandLine old =
        wrap::parseCommandLine({"--payload", "a.exe", "--version", "2.3.4.5"});
    EXPECT_EQ(old.errors, std::vector<std::string>{"unknown option '2.3.4.5'"});
    EXPECT_EQ(old.options.version, wrap::defaultVersion);
}

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
        {"a\tb", "--company 'a\tb' holds a line break or a tab"},
        {"a\r\n", "--company 'a\r\n' holds a line break or a tab"},
        {"\xC0\xAF", "--company '\xC0\xAF' is not UTF-8 text"},          // overlong '/'
        {"\xED\xA0\x80", "--company '\xED\xA0\x80' is not UTF-8 text"},  // a surrogate
        {"\xE4\xB8", "--company '\xE4\xB8' is not UTF-8 text"},          // cut short
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::textProblem("--company", c.text), c.problem) << c.text;
    EXPECT_EQ(wrap::utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string(u"\U0001F600"));
}

wrap::Resource stubMark(std::string_view text, std::uint16_t name = wrap::stubMarkName) {
    wrap::Resource mark = wrap::numberedResource(0, name, wrap::Bytes(text.begin(), text.end()));
    mark.type.text = wrap::stubMarkType;
    return mark;
}

TEST(InputChecks, OnlyAKitebootStubWithoutAnInstallerIsAStub) {
    const std::string notKiteboot =
        "stub 's.exe' is not a kiteboot stub (it lacks the mark kiteboot-stub.exe "
        "carries): --stub takes kiteboot-stub.exe, --payload the installer";
    const wrap::Resource manifest = wrap::numberedResource(24, 1, wrap::Bytes(3, 'm'));
    wrap::Resource markNamedByText = stubMark(wrap::stubMarkText);
    markNamedByText.name.text = u"STUB";
    const struct {
        const char* what;
        wrap::ResourceList resources;
        std::string problem;
    } cases[] = {
        {"the stub", {manifest, stubMark(wrap::stubMarkText)}, ""},
        {"no mark", {manifest}, notKiteboot},
        {"no resources", {}, notKiteboot},
        {"the mark's type as a number", {wrap::numberedResource(0, 1, wrap::Bytes(15, 'k'))}, notKiteboot},
        {"another name", {stubMark(wrap::stubMarkText, 2)}, notKiteboot},
        {"a name of text", {markNamedByText}, notKiteboot},
        {"another format",
         {stubMark("kiteboot stub 2\n")},
         "stub 's.exe' is a kiteboot stub of another format ('kiteboot stub 2?'): give the kiteboot-stub.exe "
         "that came with this kiteboot-wrap"},
        {"a bootstrapper",
         {stubMark(wrap::stubMarkText), wrap::numberedResource(wrap::typeRcdata, wrap::payloadId)},
         "stub 's.exe' is a bootstrapper that already carries an installer (resource RT_RCDATA 100), not the "
         "stub: give kiteboot-stub.exe, and the installer itself as --payload"},
        {"a bootstrapper with its installer after the image",
         {stubMark(wrap::stubMarkText), wrap::payloadRecordResource({0x1000, 1, 0x1200})},
         "stub 's.exe' is a bootstrapper that already carries an installer after its image (resource "
         "RT_RCDATA 101), not the stub: give kiteboot-stub.exe, and the installer itself as --payload"},
        {"another RT_RCDATA",
         {stubMark(wrap::stubMarkText), wrap::numberedResource(wrap::typeRcdata, 101)},
         ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::stubResourcesProblem("stub 's.exe'", c.resources), c.problem) << c.what;
}

TEST(Wrap, TheOutputNamesTheVersionResourcesFileNames) {
    const struct {
        const char* output;
        const char* internal;
        const char* original;
    } cases[] = {
        {"dist/Acme Setup.exe", "Acme Setup", "Acme Setup.exe"},
        {"Setup.EXE", "Setup", "Setup.EXE"},
        {"/tmp/setup-4.2", "setup-4.2", "setup-4.2"},
    };
    for (const auto& c : cases) {
        wrap::WrapOptions options = wrap::parseCommandLine({}).options;
        options.output = c.output;
        const wrap::VersionFields fields = wrap::versionFields(options);
        EXPECT_EQ(fields.strings[3], std::make_pair(std::string("InternalName"), std::string(c.internal)));
        EXPECT_EQ(fields.strings[5],
                  std::make_pair(std::string("OriginalFilename"), std::string(c.original)));
    }
}

}  // namespace
