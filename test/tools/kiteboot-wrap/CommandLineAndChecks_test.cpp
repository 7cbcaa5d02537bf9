// kiteboot-wrap's options, the checks of versions, texts and icons, how texts are shown and the temporary
// name (the checks of files are tested end to end with their messages), and the output's check of a payload
// carried after the image, which no sound run can fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "AppendedPayload.h"
#include "CommandLine.h"
#include "IconFile.h"
#include "InputChecks.h"
#include "InputFile.h"
#include "OutputCheck.h"
#include "OutputFile.h"
#include "PeLayout.h"
#include "ShownText.h"
#include "Stub.h"
#include "StubMark.h"
#include "Utf16.h"
#include "Wrap.h"
#include "WrapDefaults.h"
#include "WrapError.h"
#include "common/share/hashing/Sha256.h"

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
        {{"--payload", "--company", "X"},
         "",
         "X",
         {"option --payload needs a value, but the option '--company' follows it"}},
        {{"--payload", "--help"},
         "",
         wrap::defaultCompany,
         {"option --payload needs a value, but the option '--help' follows it"}},
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

TEST(ShownText, ControlCharactersAndBytesOutsideUtf8AreEscapedAndTheRestKept) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"Установщик 中文 \xF0\x9F\x98\x80 C:\\dir", "Установщик 中文 \xF0\x9F\x98\x80 C:\\dir"},
        {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {"\x1b[31mred\x7f", "\\x1b[31mred\\x7f"},  // a terminal's escape sequence, DEL
        {"\xC2\x9B"
         "2J",
         "\\xc2\\x9b2J"},            // U+009B, the C1 escape
        {"\xFF\xC3", "\\xff\\xc3"},  // not UTF-8, and cut short
        {"\xE4\xB8\xADx\xE4\xB8", "中x\\xe4\\xb8"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::shown(c.text), c.shown) << c.shown;
}

// The temporary name takes the start of the output's name, cut before a character, so it fits wherever
// a name of 255 bytes does.
TEST(OutputFile, TheTemporaryNameIsShortWhateverTheOutputsName) {
    const std::string longest = std::string(250, 's') + ".exe";
    EXPECT_EQ(wrap::OutputFile::temporaryName("dir/" + longest, 0x1234abcd),
              "dir/" + std::string(32, 's') + ".1234abcd.tmp");
    // 31 bytes, then a character of three: cut before it.
    EXPECT_EQ(wrap::OutputFile::temporaryName(std::string(31, 'a') + "中文.exe", 1),
              std::string(31, 'a') + ".00000001.tmp");
    EXPECT_EQ(wrap::OutputFile::temporaryName("/out/Setup.exe", 2), "/out/Setup.exe.00000002.tmp");
}

// The icon's reader is safe on its own: a damaged file is refused with a sentence, not read past its end.
TEST(IconFile, ImagesBeyondTheLimitsAreRefusedAndTheReaderIsSafeWithoutTheCheck) {
    const auto ico = [](std::uint16_t count, const wrap::Bytes& image, std::uint32_t bytes) {
        wrap::Bytes file = {0, 0, 1, 0};
        wrap::appendU16(file, count);
        for (std::uint16_t i = 0; i < count; ++i) {
            file.insert(file.end(), {16, 16, 0, 0, 1, 0, 32, 0});
            wrap::appendU32(file, bytes);
            wrap::appendU32(file, 6 + 16u * count);
        }
        file.insert(file.end(), image.begin(), image.end());
        return file;
    };
    const auto bitmap = [](std::int32_t width, std::int32_t height, std::uint16_t planes,
                           std::uint16_t bits) {
        wrap::Bytes header;
        wrap::appendU32(header, 40);
        wrap::appendU32(header, static_cast<std::uint32_t>(width));
        wrap::appendU32(header, static_cast<std::uint32_t>(height));
        wrap::appendU16(header, planes);
        wrap::appendU16(header, bits);
        header.resize(104);
        return header;
    };
    const auto png = [](std::uint32_t length, std::uint32_t width, std::uint8_t depth, std::uint8_t colour) {
        wrap::Bytes image = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
        for (std::uint32_t value : {length, 0x49484452u, width, 16u})  // "IHDR"
            image.insert(image.end(),
                         {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
        image.insert(image.end(), {depth, colour, 0, 0, 0, 0, 0, 0, 0});
        return image;
    };
    const std::string invalid = "icon 'i.ico' is not a valid .ico file: ";
    const wrap::Bytes good = bitmap(16, 32, 1, 32);
    const struct {
        const char* what;
        wrap::Bytes file;
        std::string problem;
    } cases[] = {
        {"a bitmap", ico(1, good, 104), ""},
        {"256 images", ico(256, good, 104), ""},
        {"257 images", ico(257, good, 104),
         invalid +
             "it holds 257 images; kiteboot-wrap takes at most 256 (Windows shows one per size and depth)"},
        {"3 images in 6 bytes", wrap::Bytes{0, 0, 1, 0, 3, 0},
         invalid + "its directory of 3 images is cut short"},
        {"width -1", ico(1, bitmap(-1, 32, 1, 32), 104),
         invalid + "image 1 of 1 is a bitmap that has a width of -1; an icon's images take 1 to 1024"},
        {"height 0", ico(1, bitmap(16, 0, 1, 32), 104),
         invalid +
             "image 1 of 1 is a bitmap that has a height of 0; an icon's images take 1 to 2048 (its colours "
             "and its mask)"},
        {"0 bits", ico(1, bitmap(16, 32, 1, 0), 104),
         invalid + "image 1 of 1 is a bitmap of 0 bits per pixel; a bitmap has 1, 4, 8, 16, 24 or 32"},
        {"2 planes", ico(1, bitmap(16, 32, 2, 32), 104),
         invalid + "image 1 of 1 is a bitmap of 2 planes; a bitmap has 1"},
        {"a PNG", ico(1, png(13, 16, 8, 6), 33), ""},
        {"a PNG of 8 bytes", ico(1, png(13, 16, 8, 6), 8),
         invalid + "image 1 of 1 is a PNG of 8 bytes, too few for its signature and header (33)"},
        {"IHDR of 12 bytes", ico(1, png(12, 16, 8, 6), 33),
         invalid + "image 1 of 1 is a PNG whose first chunk is not a header (IHDR of 13 bytes)"},
        {"PNG width 0", ico(1, png(13, 0, 8, 6), 33),
         invalid + "image 1 of 1 is a PNG that has a width of 0; an icon's images take 1 to 1024"},
        {"RGBA of 4 bits", ico(1, png(13, 16, 4, 6), 33),
         invalid + "image 1 of 1 is a PNG whose header (IHDR) is not valid: bit depth 4, colour type 6"},
    };
    for (const auto& c : cases) {
        const wrap::ByteSource source = wrap::ByteSource::ofBytes("icon 'i.ico'", c.file);
        EXPECT_EQ(wrap::iconFileProblem(source), c.problem) << c.what;
        try {
            EXPECT_EQ(wrap::iconResources(source, 101).size(),
                      c.file.size() > 6 ? wrap::getU16(&c.file[4]) + 1u : 0u)
                << c.what;
        } catch (const wrap::WrapError& error) {
            EXPECT_EQ(error.what(), c.problem) << c.what;
        }
    }
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
    const std::string elevated = "<requestedExecutionLevel level=\"requireAdministrator\"/>";
    const wrap::Resource manifest =
        wrap::numberedResource(24, 1, wrap::Bytes(elevated.begin(), elevated.end()));
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
         {manifest, stubMark(wrap::stubMarkText), wrap::numberedResource(wrap::typeRcdata, 101)},
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

// A bootstrapper with its payload after the image, written from the real stub (KITEBOOT_TEST_STUB), passes
// the output's check; with its record or the bytes it records changed, it does not, and the check says what.
TEST(OutputCheck, APayloadAfterTheImageMustLieWhereItsRecordSaysAndHashToIt) {
    const char* stubPath = std::getenv("KITEBOOT_TEST_STUB");
    if (!stubPath) GTEST_SKIP() << "KITEBOOT_TEST_STUB does not name the stub";
    const wrap::Bytes stub = wrap::InputFile::readWhole(stubPath);
    const wrap::ByteSource source = wrap::ByteSource::ofBytes("stub", stub);
    wrap::Bytes payload(70000);
    for (std::size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    const wrap::WrapPlan plan =
        wrap::planWrap(source, payload.size(), {}, {{1, 2, 3, 4}, {}}, wrap::PayloadForm::appended);
    wrap::BytesSink sound;
    const wrap::WrittenPayload wrote =
        wrap::writeInMemory(plan, source, payload, sound);  // checked there too

    const std::uint64_t at = plan.appended->offset;
    const std::uint64_t record = plan.image.sections[plan.stub.resourceSection].rawPointer +
                                 plan.resources.dataOffset(wrap::typeRcdata, wrap::payloadRecordId);
    const std::uint64_t certificates = plan.stub.optionalHeader + wrap::pe::optional::directories +
                                       wrap::pe::directory::certificate * wrap::pe::optional::directorySize;
    Sha256 hash;
    hash.add(payload.data(), payload.size());
    const Sha256::Digest digest = hash.finish();
    Sha256::Digest otherDigest = digest;
    otherDigest[0] ^= 0xff;
    const std::string recorded = "the payload it records (70000 bytes at " + wrap::hexNumber(at) + ")";
    const struct {
        const char* what;
        std::function<void(wrap::Bytes&)> damage;
        std::string problem;
    } cases[] = {
        {"as written", [](wrap::Bytes&) {}, ""},
        {"recorded inside the image", [&](wrap::Bytes& b) { wrap::putU32(&b[record + 8], 0x200); },
         "setup: the payload it records (70000 bytes at 0x200) starts inside its image, which ends at " +
             wrap::hexNumber(plan.image.fileSize) + " in the file"},
        {"recorded past the file's end", [&](wrap::Bytes& b) { wrap::putU32(&b[record + 16], 0x20000); },
         "setup: the payload it records (131072 bytes at " + wrap::hexNumber(at) +
             ") passes the end of the file (" + std::to_string(sound.bytes.size()) + " bytes)"},
        {"a certificate table over the payload",
         [&](wrap::Bytes& b) {
             wrap::putU32(&b[certificates], static_cast<std::uint32_t>(at + 16));
             wrap::putU32(&b[certificates + 4], 8);
         },
         "setup: its certificate table at " + wrap::hexNumber(at + 16) + " lies before the end of " +
             recorded + ", so a signature would not follow it"},
        {"a record of another form", [&](wrap::Bytes& b) { b[record] ^= 1; },
         "setup carries its payload's record (resource RT_RCDATA 101) in a form kiteboot-wrap does not "
         "write (56 bytes)"},
        {"another hash recorded", [&](wrap::Bytes& b) { b[record + 24] ^= 0xff; },
         "setup carries a payload after its image whose SHA-256 is " + Sha256::hex(digest) +
             "; its record holds " + Sha256::hex(otherDigest)},
        {"a byte of the payload changed", [&](wrap::Bytes& b) { b[at + 65600] ^= 1; },
         "setup does not carry the installer as it was read: the 70000 bytes after its image differ from "
         "those written"},
    };
    for (const auto& c : cases) {
        wrap::Bytes damaged = sound.bytes;
        c.damage(damaged);
        try {
            wrap::checkBootstrapper(wrap::ByteSource::ofBytes("setup", damaged),
                                    wrap::ByteSource::ofBytes("the payload", payload), wrote);
            EXPECT_EQ(c.problem, "") << c.what;
        } catch (const wrap::WrapError& error) {
            EXPECT_EQ(error.what(), c.problem) << c.what;
        }
    }
}

}  // namespace
