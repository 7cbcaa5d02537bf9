// Resource access on this test's own executable, which carries the small resources of Resources_test.rc;
// writing a resource's bytes to a stream in pieces, from memory or from a file: every byte once, in order,
// no piece too large, and no piece after one that failed; and where a resource's bytes lie in its file.
#include "windows/common/Resources.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ios>
#include <optional>
#include <ostream>
#include <regex>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "common/share/errors/SysError.h"
#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "support/TempDir.h"
#include "windows/common/ImageLayout.h"
#include "windows/common/ModuleFile.h"

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

// Records the size of each write it receives; refuses every write after the first `accepted` ones.
class RecordingBuffer : public std::streambuf {
public:
    explicit RecordingBuffer(std::size_t accepted = SIZE_MAX) : accepted_(accepted) {}

    std::vector<std::streamsize> writes;
    std::string bytes;

protected:
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        writes.push_back(count);
        if (writes.size() > accepted_) return 0;
        bytes.append(data, static_cast<std::size_t>(count));
        return count;
    }

private:
    std::size_t accepted_;
};

std::string sample(std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < size; ++i)
        text += static_cast<char>('a' + i % 26);
    return text;
}

TEST(WriteInPieces, EveryByteOnceInOrderInPiecesNoLargerThanAsked) {
    const struct {
        std::size_t size;
        std::vector<std::streamsize> writes;
    } cases[] = {
        {0, {}}, {1, {1}}, {4, {4}}, {5, {4, 1}}, {12, {4, 4, 4}}, {13, {4, 4, 4, 1}},
    };
    for (const auto& c : cases) {
        RecordingBuffer buffer;
        std::ostream out(&buffer);
        const std::string data = sample(c.size);
        writeInPieces(out, data.data(), data.size(), 4);
        EXPECT_EQ(buffer.writes, c.writes) << c.size;
        EXPECT_EQ(buffer.bytes, data) << c.size;
        EXPECT_TRUE(out.good()) << c.size;
    }
}

TEST(WriteInPieces, StopsAtTheFirstPieceThatFails) {
    const std::string data = sample(20);
    RecordingBuffer quiet(2);
    std::ostream out(&quiet);
    writeInPieces(out, data.data(), data.size(), 4);
    EXPECT_EQ(quiet.writes, (std::vector<std::streamsize>{4, 4, 4}));
    EXPECT_EQ(quiet.bytes, data.substr(0, 8));
    EXPECT_TRUE(out.bad());

    RecordingBuffer throwing(1);
    std::ostream strict(&throwing);
    strict.exceptions(std::ios::badbit | std::ios::failbit);
    EXPECT_THROW(writeInPieces(strict, data.data(), data.size(), 4), std::ios_base::failure);
    EXPECT_EQ(throwing.writes, (std::vector<std::streamsize>{4, 4}));
}

TEST(CopyFromFile, CopiesWholePiecesFromTheOffsetAndStopsAtAShortRead) {
    testing_support::TempDir directory("kbcopy");
    const std::string data = sample(13);
    testing_support::writeFile(directory / "image", data);
    const UniqueHandle file(CreateFileA((directory / "image").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
    const struct {
        std::uint64_t offset;
        std::size_t size, copied;
        std::vector<std::streamsize> writes;
    } cases[] = {
        {2, 9, 9, {4, 4, 1}},  // all there
        {2, 12, 8, {4, 4}},    // the third piece would need a byte past the end: not written
        {20, 4, 0, {}},        // nothing there
    };
    for (const auto& c : cases) {
        RecordingBuffer buffer;
        std::ostream out(&buffer);
        EXPECT_EQ(copyFromFile(out, file.get(), c.offset, c.size, 4), c.copied) << c.offset << " " << c.size;
        EXPECT_EQ(buffer.writes, c.writes) << c.offset << " " << c.size;
        EXPECT_EQ(buffer.bytes, data.substr(c.offset < data.size() ? c.offset : 0, c.copied));
    }
}

// This test program's own file: proven to be its image, and its resource's bytes found at the offset the
// section table gives.
TEST(ImageLayout, OwnResourceBytesLieInTheOwnFileWhereTheSectionTableSays) {
    const HMODULE self = GetModuleHandleW(nullptr);
    std::uint32_t size = 0;
    const char* data = static_cast<const char*>(Resource(7, 10, self).getPtr(size));
    const UniqueHandle file = openModuleFile(self);
    ASSERT_TRUE(file.owned());
    const auto rva = static_cast<std::uint32_t>(data - reinterpret_cast<const char*>(self));
    const std::optional<std::uint64_t> offset = fileOffsetOf(imageSections(self), rva, size);
    ASSERT_TRUE(offset.has_value());
    RecordingBuffer buffer;
    std::ostream out(&buffer);
    EXPECT_EQ(copyFromFile(out, file.get(), *offset, size, kResourceWritePiece), size);
    EXPECT_EQ(buffer.bytes, std::string(data, size));
}

}  // namespace
