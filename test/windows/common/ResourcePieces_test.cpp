// Writing a resource's bytes to a stream in pieces, from memory or from a file: every byte once, in order,
// no piece too large, and no piece after one that failed; and where a resource's bytes lie in its file.
#include <gtest/gtest.h>

#include <cstdint>
#include <ios>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "windows/common/ImageLayout.h"
#include "windows/common/ModuleFile.h"
#include "windows/common/Resources.h"

namespace {

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

TEST(ImageLayout, BytesAreFoundInTheFileOnlyWhereOneSectionsRawDataHoldsThemAll) {
    const std::vector<ImageSection> sections = {
        {0x1000, 0x0200, 0x0400, 0x0200},
        {0x2000, 0x3000, 0x0600, 0x1000},  // raw data shorter than the section: the rest is zeros in memory
        {0x6000, 0x0010, 0x1600, 0x0200},  // raw data padded past the section
        {0x7000, 0x0000, 0x1800, 0x0100},  // no virtual size: the raw size counts
    };
    const struct {
        std::uint32_t rva, size;
        std::optional<std::uint64_t> offset;
    } cases[] = {
        {0x1000, 0x200, 0x400}, {0x1100, 0x100, 0x500},        {0x1100, 0x101, std::nullopt},
        {0x2800, 0x800, 0xE00}, {0x2800, 0x801, std::nullopt}, {0x0000, 0x10, std::nullopt},
        {0x6000, 0x10, 0x1600}, {0x6000, 0x11, std::nullopt},  {0x7080, 0x80, 0x1880},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fileOffsetOf(sections, c.rva, c.size), c.offset) << std::hex << c.rva << " " << c.size;
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
