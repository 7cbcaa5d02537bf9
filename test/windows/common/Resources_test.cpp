// Resource access on this test's own executable, which carries the small resources of Resources_test.rc.
#include "windows/common/Resources.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/share/errors/SysError.h"
#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"

namespace {

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

TEST(ResourceWriteTo, WritesTheBytesOrTheStringsTextAndNothingForAMissingResource) {
    std::ostringstream raw;
    Resource(7, 10, self()).writeTo(raw);
    EXPECT_EQ(raw.str(), kRawBytes);
    std::ostringstream text;
    Resource(0x26, 6, self()).writeTo(text);
    EXPECT_EQ(text.str(), std::string("\x1F\x04\x40\x04\x38\x04", 6));
    std::ostringstream missing;
    EXPECT_THROW(Resource(100, 10, self()).writeTo(missing), SysError);
    EXPECT_EQ(missing.str(), "");
}

}  // namespace
