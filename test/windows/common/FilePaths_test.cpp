#include <gtest/gtest.h>

#include <string>

#include "windows/common/FileUtils.h"

namespace {

struct OneArgument {
    const char* path;
    const char* expected;
};

void PrintTo(const OneArgument& c, std::ostream* out) {
    *out << "[" << c.path << "]";
}

class ParentPath : public testing::TestWithParam<OneArgument> {};

TEST_P(ParentPath, DropsTheLastComponentAndTheSeparatorsBeforeIt) {
    EXPECT_EQ(GetParam().expected, FileUtils::parentPath(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ParentPath,
    testing::Values(OneArgument{"C:\\dir\\file.txt", "C:\\dir"}, OneArgument{"C:\\dir\\\\file", "C:\\dir"},
                    OneArgument{"C:/dir/", "C:/dir"}, OneArgument{"C:\\file", "C:"},
                    OneArgument{"file.txt", ""}, OneArgument{"\\file", ""}, OneArgument{"", ""},
                    OneArgument{"C:\\dir/\\/sub\\/", "C:\\dir/\\/sub"}, OneArgument{"a/b\\c", "a/b"},
                    OneArgument{"\\\\/", ""}, OneArgument{"\\\\server\\share", "\\\\server"}));

class StripTrailingSeparators : public testing::TestWithParam<OneArgument> {};

TEST_P(StripTrailingSeparators, RemovesEverySeparatorAtTheEnd) {
    EXPECT_EQ(GetParam().expected, FileUtils::stripTrailingSeparators(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(Examples, StripTrailingSeparators,
                         testing::Values(OneArgument{"C:\\", "C:"}, OneArgument{"C:\\dir\\/", "C:\\dir"},
                                         OneArgument{"\\/\\\\", ""}, OneArgument{"", ""},
                                         OneArgument{"C:\\dir", "C:\\dir"},
                                         OneArgument{"\\\\a\\b", "\\\\a\\b"}));

class DirectoryPath : public testing::TestWithParam<OneArgument> {};

// Without the root's separator "T:" would name the current directory of drive T:, not its root.
TEST_P(DirectoryPath, RemovesTheSeparatorsAtTheEndButARootKeepsOne) {
    EXPECT_EQ(GetParam().expected, FileUtils::directoryPath(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, DirectoryPath,
    testing::Values(OneArgument{"T:\\", "T:\\"}, OneArgument{"T:\\\\/", "T:\\"}, OneArgument{"t:/", "t:\\"},
                    OneArgument{"T:", "T:"}, OneArgument{"T:\\Temp\\", "T:\\Temp"},
                    OneArgument{"C:/Users/A/Temp/", "C:/Users/A/Temp"},
                    OneArgument{"\\\\server\\share\\", "\\\\server\\share\\"},
                    OneArgument{"\\\\server\\share\\\\", "\\\\server\\share\\"},
                    OneArgument{"//server/share/", "//server/share\\"},
                    OneArgument{"\\\\server\\share\\Temp\\", "\\\\server\\share\\Temp"},
                    OneArgument{"\\\\server\\", "\\\\server"}, OneArgument{"\\\\?\\T:\\", "\\\\?\\T:\\"},
                    OneArgument{"\\\\?\\UNC\\server\\share\\", "\\\\?\\UNC\\server\\share\\"},
                    OneArgument{"\\\\?\\T:\\Temp\\", "\\\\?\\T:\\Temp"}, OneArgument{"\\", "\\"},
                    OneArgument{"\\/\\", "\\"}, OneArgument{"", ""}, OneArgument{"Temp\\", "Temp"}));

struct TwoArguments {
    const char* base;
    const char* tail;
    const char* expected;
};

void PrintTo(const TwoArguments& c, std::ostream* out) {
    *out << "[" << c.base << "] + [" << c.tail << "]";
}

class JoinPath : public testing::TestWithParam<TwoArguments> {};

TEST_P(JoinPath, JoinsWithExactlyOneBackslash) {
    EXPECT_EQ(GetParam().expected, FileUtils::joinPath(GetParam().base, GetParam().tail));
}

TEST_P(JoinPath, AppendPathChangesItsFirstArgumentTheSameWay) {
    std::string base = GetParam().base;
    std::string& result = FileUtils::appendPath(base, GetParam().tail);
    EXPECT_EQ(&base, &result);
    EXPECT_EQ(GetParam().expected, base);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, JoinPath,
    testing::Values(TwoArguments{"C:\\dir\\", "\\sub", "C:\\dir\\sub"},
                    TwoArguments{"C:/dir", "sub/x", "C:/dir\\sub/x"},
                    TwoArguments{"C:\\dir", "\\\\sub", "C:\\dir\\\\sub"}, TwoArguments{"", "sub", "sub"},
                    TwoArguments{"", "\\sub", "\\sub"}, TwoArguments{"", "", ""},
                    TwoArguments{"C:\\dir\\", "", "C:\\dir\\"}, TwoArguments{"\\", "x", "\\x"},
                    TwoArguments{"C:\\dir", "file.txt", "C:\\dir\\file.txt"},
                    TwoArguments{"C:\\dir//\\", "/file", "C:\\dir\\file"}, TwoArguments{"C:", "x", "C:\\x"},
                    TwoArguments{"T:\\", "zor1.tmp", "T:\\zor1.tmp"},
                    TwoArguments{"\\\\server\\share\\", "zor1.tmp", "\\\\server\\share\\zor1.tmp"}));

TEST(AppendPath, TwiceGivesTheSameAsJoinPath) {
    std::string path;
    FileUtils::appendPath(FileUtils::appendPath(path, "C:\\Temp\\zor5.tmp"), "setup.exe");
    EXPECT_EQ("C:\\Temp\\zor5.tmp\\setup.exe", path);
    EXPECT_EQ(FileUtils::joinPath("C:\\Temp\\zor5.tmp", "setup.exe"), path);
}

}  // namespace
