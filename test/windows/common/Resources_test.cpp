// Resource access on this test's own executable, which carries the small resources of Resources_test.rc.
#include "windows/common/Resources.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "common/share/errors/SysError.h"
#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

namespace {

using testing_support::TempDir;

const std::string kRawBytes("kiteboot\x00\x01\xFE\xFF\x01\x00z", 15);

HMODULE self() {
    return GetModuleHandleW(nullptr);
}

std::u16string stringOf(unsigned id) {
    std::uint32_t size = 0;
    const char16_t* data = static_cast<const char16_t*>(Resource(id, 6, self()).getPtr(size));
    EXPECT_EQ(size % 2, 0u);
    return std::u16string(data, size / 2);
}

// The text a failed lookup throws, with the line number and the system's description left open.
std::regex failureText(const std::string& message, unsigned long code) {
    std::string escaped;
    for (const char c :
         message + ". System error [" + std::to_string(code) + "](" + formatSystemError(code) + ")") {
        if (std::string("\\^$.|?*+()[]{}").find(c) != std::string::npos) escaped += '\\';
        escaped += c;
    }
    return std::regex(R"(Resources\.cpp\(\d+\) at Resource::getPtr\(\): )" + escaped);
}

TEST(ResourceGetPtr, RawDataIsReadInPlaceFromTheImage) {
    const Resource resource(7, 10, self());
    std::uint32_t size = 0;
    const void* data = resource.getPtr(size);
    EXPECT_EQ(std::string(static_cast<const char*>(data), size), kRawBytes);
    // Nothing is copied: the bytes lie inside the loaded image, the same bytes on every call.
    MEMORY_BASIC_INFORMATION region{};
    ASSERT_NE(VirtualQuery(data, &region, sizeof(region)), 0u);
    EXPECT_EQ(region.AllocationBase, self());
    std::uint32_t again = 0;
    EXPECT_EQ(resource.getPtr(again), data);
}

TEST(ResourceGetPtr, MissingResourceNamesItAndCarriesTheLookupError) {
    struct Case {
        unsigned name, type;
        const char* message;
        unsigned long code;
    };
    const Case cases[] = {
        // The module has RCDATA, but not with this identifier.
        {100, 10, "cannot find resource (name='#100', type='#10')", ERROR_RESOURCE_NAME_NOT_FOUND},
        // The module has no resources of this type at all.
        {100, 23, "cannot find resource (name='#100', type='#23')", ERROR_RESOURCE_TYPE_NOT_FOUND},
        // A string whose block does not exist; the message names the string, not the block.
        {0x100, 6, "cannot find resource (name='#256', type='#6')", ERROR_RESOURCE_NAME_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::uint32_t size = 12345;
        try {
            Resource(c.name, c.type, self()).getPtr(size);
            ADD_FAILURE() << "no exception";
        } catch (const SysError& error) {
            EXPECT_TRUE(std::regex_match(error.what(), failureText(c.message, c.code))) << error.what();
        }
        EXPECT_EQ(size, 12345u);
    }
}

TEST(ResourceGetPtr, StringSelectsItsEntryInTheBlock) {
    // 0x25 is the sixth string of block 3; the strings before it are skipped by their lengths.
    EXPECT_EQ(stringOf(0x25), u"sixth, the one");
    std::uint32_t size = 0;
    Resource(0x25, 6, self()).getPtr(size);
    EXPECT_EQ(size, 28u);
    EXPECT_EQ(stringOf(0x20), u"first of block 3");
    EXPECT_EQ(stringOf(0x22), u"third");
    EXPECT_EQ(stringOf(0x26), u"\u041F\u0440\u0438");
    EXPECT_EQ(stringOf(0x2F), u"last");
    // An identifier of an existing block without a string of its own is an empty string.
    EXPECT_EQ(stringOf(0x21), u"");
}

class ResourceSaveToFile : public testing::Test {
protected:
    TempDir directory{"kbres"};
    testing_support::LogCapture log;
};

TEST_F(ResourceSaveToFile, WritesTheBytesThroughATemporaryFileAndMove) {
    const std::string target = directory / "payload.bin";
    Resource(7, 10, self()).saveToFile(target);
    EXPECT_EQ(testing_support::readFile(target), kRawBytes);
    EXPECT_EQ(testing_support::listDirectory(directory.path()), std::vector<std::string>{"payload.bin"});
    ASSERT_EQ(log.messages().size(), 2u) << testing::PrintToString(log.messages());
    std::smatch match;
    const std::string created = log.messages()[0];
    ASSERT_TRUE(std::regex_match(created, match, std::regex(R"(Created \[(.*\\zor-?\d+\.tmp)\] file)")))
        << created;
    EXPECT_EQ(match[1].str().rfind(directory.path() + "\\", 0), 0u) << created;
    EXPECT_EQ(log.messages()[1], "Moved '" + match[1].str() + "' file to '" + target + "'");
}

TEST_F(ResourceSaveToFile, ReplacesALongerExistingFile) {
    const std::string target = directory / "payload.bin";
    testing_support::writeFile(target, std::string(1000, 'x'));
    Resource(7, 10, self()).saveToFile(target);
    EXPECT_EQ(testing_support::readFile(target), kRawBytes);
    EXPECT_EQ(testing_support::listDirectory(directory.path()), std::vector<std::string>{"payload.bin"});
}

TEST_F(ResourceSaveToFile, StringResourceIsSavedAsItsText) {
    const std::string target = directory / "string.bin";
    Resource(0x26, 6, self()).saveToFile(target);
    EXPECT_EQ(testing_support::readFile(target), std::string("\x1F\x04\x40\x04\x38\x04", 6));
}

TEST_F(ResourceSaveToFile, MissingResourceCreatesNothing) {
    EXPECT_THROW(Resource(100, 10, self()).saveToFile(directory / "payload.bin"), SysError);
    EXPECT_TRUE(testing_support::listDirectory(directory.path()).empty());
    EXPECT_TRUE(log.messages().empty());
}

TEST_F(ResourceSaveToFile, FailedMoveRemovesTheTemporaryFile) {
    // A directory stands where the file should go, so the final move fails.
    const std::string target = directory / "payload.bin";
    ASSERT_TRUE(CreateDirectoryA(target.c_str(), nullptr));
    testing_support::writeFile(target + "\\inside.txt", "keep");
    EXPECT_THROW(Resource(7, 10, self()).saveToFile(target), SysError);
    EXPECT_EQ(testing_support::listDirectory(directory.path()), std::vector<std::string>{"payload.bin"});
    EXPECT_EQ(testing_support::readFile(target + "\\inside.txt"), "keep");
    ASSERT_EQ(log.messages().size(), 2u) << testing::PrintToString(log.messages());
    std::smatch match;
    const std::string created = log.messages()[0];
    ASSERT_TRUE(std::regex_match(created, match, std::regex(R"(Created \[(.*\\zor-?\d+\.tmp)\] file)")));
    EXPECT_EQ(log.messages()[1], "Deleted [" + match[1].str() + "] file");
}

}  // namespace
