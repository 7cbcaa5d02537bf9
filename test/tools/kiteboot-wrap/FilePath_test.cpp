// Paths as UTF-8 text and as the system's paths: the one conversion, and its failure a WrapError.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "FilePath.h"
#include "WrapError.h"

namespace {

TEST(FilePath, TextComesBackAsItWasAndAWindowsNameThatIsNotTextIsAWrapError) {
    for (const std::string text : {"setup.exe", "dist/Установщик 中文.exe", "\xF0\x9F\x98\x80"})
        EXPECT_EQ(wrap::pathText(wrap::filePath(text)), text) << text;
#ifdef _WIN32
    try {
        wrap::pathText(std::filesystem::path(L"half\xd800.exe"));
        ADD_FAILURE() << "half of a UTF-16 pair was taken for text";
    } catch (const wrap::WrapError& error) {
        EXPECT_STREQ(error.what(), "a path is not text (it holds half of a UTF-16 pair)");
        EXPECT_NE(error.cause().value(), 0);
    }
#endif
}

}  // namespace
