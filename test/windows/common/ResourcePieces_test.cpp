// Writing a resource's bytes to a stream in pieces: every byte once, in order, no piece too large, and no
// piece after one that failed.
#include <gtest/gtest.h>

#include <cstdint>
#include <ios>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

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

}  // namespace
