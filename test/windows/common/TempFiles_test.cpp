// Temporary names and directory creation, on real files.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/TempDir.h"
#include "windows/common/FileSystemTesting.h"
#include "windows/common/FileUtils.h"

using namespace testing_support;

namespace {

TEST(TempFileName, PrintsTheNumberAsSigned32Bit) {
    struct Case {
        const char* prefix;
        unsigned long number;
        const char* suffix;
        const char* name;
    };
    const Case cases[] = {
        {"zor", 0, ".tmp", "zor0.tmp"},
        {"zor", 2147483647ul, ".tmp", "zor2147483647.tmp"},
        {"zor", 2147483648ul, ".tmp", "zor-2147483648.tmp"},
        {"zor", 4294967295ul, ".tmp", "zor-1.tmp"},
        {"", 1234567, "", "1234567"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileUtils::tempFileName(c.prefix, c.number, c.suffix), c.name);
}

TEST(TempFileName, TickCountWrapsAroundBetweenAttempts) {
    const unsigned long ticks = 4294967295ul;
    const char* expected[] = {"x-1", "x0", "x1", "x2"};
    for (unsigned long attempt = 0; attempt < 4; ++attempt) {
        EXPECT_EQ(FileUtils::tempFileName("x", ticks + attempt, ""), expected[attempt]);
    }
}

TEST(CreateTempFile, RefusesIllegalCharactersPrefixFirst) {
    struct Case {
        std::string prefix;
        std::string suffix;
        std::string message;
    };
    // what() is a C string: a message holding a NUL ends there.
    const std::string nul("a\0b", 3);
    const Case cases[] = {
        {"a/b", ".tmp", "Illegal characters in prefix=a/b"},
        {"a\\b", ".tmp", "Illegal characters in prefix=a\\b"},
        {"a:b", ".tmp", "Illegal characters in prefix=a:b"},
        {"a\tb", ".tmp", "Illegal characters in prefix=a\tb"},
        {nul, ".tmp", "Illegal characters in prefix=a"},
        {"zor", "x|y", "Illegal characters in suffix=x|y"},
        {"zor", nul, "Illegal characters in suffix=a"},
        {"a?b", "x*y", "Illegal characters in prefix=a?b"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        try {
            FileUtils::createTempFile(c.prefix, c.suffix, dir.path());
            ADD_FAILURE() << "accepted " << c.message;
        } catch (const std::runtime_error& error) {
            const std::string text = error.what();
            const std::string tail = ") at FileUtils::createTempFile(): " + c.message;
            EXPECT_EQ(text.rfind("FileUtils.cpp(", 0), 0u) << text;
            EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail);
        }
    }
    EXPECT_TRUE(listDirectory(dir.path()).empty());
}

// The number part of a name made with an empty prefix and suffix.
long long numberOf(const std::string& path) {
    return std::stoll(FileUtils::fileName(path));
}

TEST(CreateTempFile, EmptyPrefixAndSuffixGiveTheNumberAlone) {
    TempDir dir;
    LogCapture log;
    const std::string path = FileUtils::createTempFile("", "", dir.path());
    const std::string name = FileUtils::fileName(path);
    EXPECT_EQ(path, dir / name);
    EXPECT_EQ(FileUtils::tempFileName("", static_cast<unsigned long>(numberOf(path)), ""), name);
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(describeRecords(log), std::vector<std::string>{std::string("TRACE ") + kCreateNewFile +
                                                             ": Created [" + path + "] file"});
}

TEST(CreateTempFile, SkipsNamesAlreadyTaken) {
    TempDir dir;
    // Take the next 99 numbers from now on: a call that starts inside that run must end just after it.
    const unsigned long start = GetTickCount();
    const unsigned long taken = 99;
    for (unsigned long i = 0; i < taken; ++i) {
        const std::string name = dir / FileUtils::tempFileName("t", start + i, ".x");
        CloseHandle(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    }
    LogCapture log;
    const std::string path = FileUtils::createTempFile("t", ".x", dir.path());
    if (GetTickCount() - start >= taken) GTEST_SKIP() << "the clock passed the taken names";
    EXPECT_EQ(path, dir / FileUtils::tempFileName("t", start + taken, ".x"));
    EXPECT_EQ(log.messages(), std::vector<std::string>{"Created [" + path + "] file"});
}

TEST(CreateTempFile, GivesUpAfterHundredAttemptsSilently) {
    TempDir dir;
    const std::string missing = dir / "missing";
    LogCapture log;
    try {
        FileUtils::createTempFile("zor", ".tmp", missing);
        ADD_FAILURE() << "created a file in a missing directory";
    } catch (const std::runtime_error& error) {
        const std::string text = error.what();
        const std::string tail =
            ") at FileUtils::createTempFile(): createTempFile(zor, .tmp, " + missing + ") failed";
        EXPECT_EQ(text.rfind("FileUtils.cpp(", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail);
    }
    EXPECT_TRUE(log.records.empty());
    EXPECT_FALSE(exists(missing));
}

TEST(CreateDirectories, CreatesMissingLevelsWhateverTheTrailingSeparators) {
    for (const std::string trailing : {"", "\\", "\\\\/"}) {
        TempDir dir;
        LogCapture log;
        FileUtils::createDirectories(dir / "a\\b" + trailing);
        EXPECT_TRUE(isDirectory(dir / "a\\b"));
        EXPECT_EQ(describeRecords(log),
                  (std::vector<std::string>{
                      std::string("TRACE ") + kCreateDir + ": Created [" + dir / "a\\] directory",
                      std::string("TRACE ") + kCreateDir + ": Created [" + dir / "a\\b\\] directory"}))
            << "trailing '" << trailing << "'";
    }
}

TEST(CreateDirectories, ExistingDirectoryIsSilent) {
    TempDir dir;
    FileUtils::createDirectories(dir / "a");
    LogCapture log;
    FileUtils::createDirectories(dir / "a");
    FileUtils::createDirectories(dir.path());
    EXPECT_TRUE(log.records.empty());
    EXPECT_TRUE(isDirectory(dir / "a"));
}

TEST(CreateDirectories, ExistingFileOfThatNameThrows) {
    TempDir dir;
    const std::string file = dir / "plain.txt";
    writeFile(file, "data");
    LogCapture log;
    expectThrowsSysError([&] { FileUtils::createDirectories(file); }, "FileUtils.cpp", kCreateDir,
                         "CreateDirectory(" + file + "\\) failed", ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(log.records.empty());
    EXPECT_EQ(readFile(file), "data");
}

}  // namespace
