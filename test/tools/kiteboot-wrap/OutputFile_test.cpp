// The output's temporary name.
#include <gtest/gtest.h>

#include "OutputFile.h"

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

}  // namespace
