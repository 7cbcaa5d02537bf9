// The output's temporary name, and the file flushed on its own thread while it is read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "InputFile.h"
#include "OutputFile.h"
#include "Scratch.h"

namespace {

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

// Read back while its flush runs on a thread of its own, the file is at the output whole once committed;
// given up after the flush began (a failed check), it leaves neither the output nor the temporary file.
TEST(OutputFile, FlushedWhileReadBackThenCommittedOrGivenUp) {
    const testing_scratch::Scratch scratch;
    wrap::Bytes bytes(3 << 20);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + (i >> 13));
    const std::string kept = (scratch.path() / "kept.exe").string();
    {
        wrap::OutputFile out(kept);
        out.write(bytes.data(), bytes.size());
        out.startFlush();
        EXPECT_EQ(out.readAt(1 << 20, 64),
                  wrap::Bytes(bytes.begin() + (1 << 20), bytes.begin() + (1 << 20) + 64));
        out.commit();
    }
    EXPECT_EQ(wrap::InputFile::readWhole(kept), bytes);

    const std::string givenUp = (scratch.path() / "given-up.exe").string();
    std::string temporary;
    {
        wrap::OutputFile out(givenUp);
        out.write(bytes.data(), bytes.size());
        out.startFlush();
        temporary = out.temporaryPath();
    }
    EXPECT_FALSE(std::filesystem::exists(temporary));
    EXPECT_FALSE(std::filesystem::exists(givenUp));
}

}  // namespace
