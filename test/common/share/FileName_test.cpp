#include "common/share/FileName.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

struct FileNameCase {
    const char* path;
    const char* expected;
};

void PrintTo(const FileNameCase& c, std::ostream* out) {
    *out << "[" << c.path << "]";
}

class FileName : public testing::TestWithParam<FileNameCase> {};

TEST_P(FileName, IsTheTextAfterTheLastSeparator) {
    EXPECT_EQ(GetParam().expected, FileUtils::fileName(GetParam().path));
}

INSTANTIATE_TEST_SUITE_P(Examples, FileName,
                         testing::Values(FileNameCase{"C:\\dir\\file.txt", "file.txt"},
                                         FileNameCase{"C:\\dir\\", ""}, FileNameCase{"file.txt", "file.txt"},
                                         FileNameCase{"a/b\\c", "c"}, FileNameCase{"a\\b/c", "c"},
                                         FileNameCase{"", ""}, FileNameCase{"C:file", "C:file"},
                                         FileNameCase{"/", ""}));

}  // namespace
