// Moving and deleting files and directories, on real files.
#include <gtest/gtest.h>

#include "common/windows/WinAutoHandle.h"
#include "support/TempDir.h"
#include "windows/common/FileSystemTesting.h"
#include "windows/common/FileUtils.h"

using namespace testing_support;

namespace {

constexpr DWORD kSuccess = ERROR_SUCCESS;

std::string trace(const char* function, const std::string& message) {
    return std::string("TRACE ") + function + ": " + message;
}

// Opens path for reading without delete sharing, as another program holding it would.
UniqueHandle holdOpen(const std::string& path) {
    UniqueHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    EXPECT_NE(file.get(), INVALID_HANDLE_VALUE) << path;
    return file;
}

// deleteFile fails on path with code: the nothrow form returns code, the other throws it; nothing is
// logged.
void expectDeleteFileFails(const std::string& path, DWORD code) {
    LogCapture log;
    EXPECT_EQ(FileUtils::deleteFile(path, std::nothrow), code);
    expectThrowsSysError([&] { FileUtils::deleteFile(path); }, "FileUtils.cpp", kDeleteFile,
                         "DeleteFile(" + path + ") failed", code);
    EXPECT_TRUE(log.records.empty());
}

TEST(Deletion, AbsentTargetsCountAsDeletedSilently) {
    TempDir dir;
    LogCapture log;
    for (const std::string& path : {dir / "missing.txt", dir / "missing\\x.txt"}) {
        EXPECT_EQ(FileUtils::deleteFile(path, std::nothrow), kSuccess) << path;
        EXPECT_NO_THROW(FileUtils::deleteFile(path)) << path;
        EXPECT_EQ(FileUtils::deleteDirectory(path, std::nothrow), kSuccess) << path;
        EXPECT_NO_THROW(FileUtils::deleteDirectory(path)) << path;
    }
    EXPECT_TRUE(log.records.empty());
}

TEST(FileDeletion, ReadOnlyFileLosesTheAttributeAndGoes) {
    TempDir dir;
    const std::string file = dir / "ro.txt";
    writeFile(file, "r/o");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    LogCapture log;
    EXPECT_EQ(FileUtils::deleteFile(file, std::nothrow), kSuccess);
    EXPECT_FALSE(exists(file));
    EXPECT_EQ(
        describeRecords(log),
        (std::vector<std::string>{trace(kDeleteFile, "Discarded R/O attribute from [" + file + "] file"),
                                  trace(kDeleteFileImpl, "Deleted [" + file + "] file")}));
}

TEST(FileDeletion, FileHeldOpenStaysAndReportsTheDeleteError) {
    TempDir dir;
    const std::string file = dir / "held.txt";
    writeFile(file, "held");
    UniqueHandle holder = holdOpen(file);
    // DeleteFile's own error is handed back: a sharing violation, not a denial.
    expectDeleteFileFails(file, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(readFile(file), "held");
}

TEST(FileDeletion, ReadOnlyFileHeldOpenKeepsItsAttribute) {
    TempDir dir;
    const std::string file = dir / "ro-held.txt";
    writeFile(file, "x");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
    UniqueHandle holder = holdOpen(file);
    // The sharing violation comes before the read-only test, so the attribute is not touched.
    expectDeleteFileFails(file, ERROR_SHARING_VIOLATION);
    EXPECT_EQ(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

TEST(FileDeletion, DeniedForAnotherReasonThanReadOnlyGivesAccessDenied) {
    TempDir dir;
    const std::string subdir = dir / "not-a-file";
    ASSERT_TRUE(CreateDirectoryA(subdir.c_str(), nullptr));
    expectDeleteFileFails(subdir, ERROR_ACCESS_DENIED);
    EXPECT_TRUE(isDirectory(subdir));
}

TEST(DirectoryDeletion, RemovesAnEmptyDirectoryAndKeepsAFullOne) {
    TempDir dir;
    const std::string empty = dir / "empty";
    const std::string full = dir / "full";
    ASSERT_TRUE(CreateDirectoryA(empty.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(full.c_str(), nullptr));
    writeFile(full + "\\f.txt", "f");
    LogCapture log;
    EXPECT_EQ(FileUtils::deleteDirectory(empty, std::nothrow), kSuccess);
    EXPECT_EQ(FileUtils::deleteDirectory(full, std::nothrow), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    expectThrowsSysError([&] { FileUtils::deleteDirectory(full); }, "FileUtils.cpp", kDeleteDirectory,
                         "RemoveDirectory(" + full + ") failed", ERROR_DIR_NOT_EMPTY);
    EXPECT_FALSE(exists(empty));
    EXPECT_EQ(readFile(full + "\\f.txt"), "f");
    EXPECT_EQ(describeRecords(log),
              std::vector<std::string>{trace(kDeleteDirectory, "Deleted [" + empty + "] directory")});
}

TEST(FileMove, ReplacesAnExistingTarget) {
    TempDir dir;
    const std::string from = dir / "x.tmp";
    const std::string to = dir / "x.exe";
    writeFile(from, "new");
    writeFile(to, "old content");
    LogCapture log;
    FileUtils::moveFile(from, to);
    EXPECT_FALSE(exists(from));
    EXPECT_EQ(readFile(to), "new");
    EXPECT_EQ(describeRecords(log),
              std::vector<std::string>{trace(kMoveFileImpl, "Moved '" + from + "' file to '" + to + "'")});
}

TEST(FileMove, CreatesMissingDirectoriesAndNamesFolders) {
    TempDir dir;
    const std::string from = dir / "folder";
    const std::string to = dir / "a\\b\\moved";
    ASSERT_TRUE(CreateDirectoryA(from.c_str(), nullptr));
    writeFile(from + "\\inner.txt", "inner");
    LogCapture log;
    FileUtils::moveFile(from, to);
    EXPECT_EQ(readFile(to + "\\inner.txt"), "inner");
    EXPECT_EQ(
        describeRecords(log),
        (std::vector<std::string>{trace(kCreateDir, "Created [" + dir / "a\\] directory"),
                                  trace(kCreateDir, "Created [" + dir / "a\\b\\] directory"),
                                  trace(kMoveFileImpl, "Moved '" + from + "' folder to '" + to + "'")}));
}

TEST(FileMove, MissingSourceThrows) {
    TempDir dir;
    const std::string from = dir / "missing";
    const std::string to = dir / "target";
    LogCapture log;
    expectThrowsSysError([&] { FileUtils::moveFile(from, to); }, "FileUtils.cpp", kMoveFileImpl,
                         "MoveFileEx(" + from + ", " + to + ", 3) failed", ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(log.records.empty());
}

// A path that is not UTF-8 has no wide form: each call fails as the system call would, with the
// conversion's error, and changes nothing.
TEST(Deletion, PathNotInUtf8FailsWithTheConversionError) {
    TempDir dir;
    const std::string path = dir / "bad\xff.txt";
    const std::string from = dir / "good.txt";
    writeFile(from, "good");
    expectDeleteFileFails(path, ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(FileUtils::deleteDirectory(path, std::nothrow),
              static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    expectThrowsSysError([&] { FileUtils::moveFile(from, path); }, "FileUtils.cpp", kMoveFileImpl,
                         "MoveFileEx(" + from + ", " + path + ", 3) failed", ERROR_NO_UNICODE_TRANSLATION);
    EXPECT_EQ(listDirectory(dir.path()), std::vector<std::string>{"good.txt"});
}

}  // namespace
