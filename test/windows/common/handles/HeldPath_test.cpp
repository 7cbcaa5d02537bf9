// A path held directory by directory from its root, and how a path is split into its root and names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/share/tstrings.h"
#include "common/windows/WinHeaders.h"
#include "support/TempDir.h"
#include "windows/common/FileUtils.h"
#include "windows/common/handles/HeldPath.h"

namespace {

using testing_support::TempDir;
using Lines = std::vector<std::string>;

DWORD attempt(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

TEST(HeldPathSplit, ARootAndTheNamesOfTheDirectoriesBelowIt) {
    const struct {
        const wchar_t* path;
        bool ok;
        const wchar_t* root;
        std::vector<std::wstring> names;
    } rows[] = {
        {L"C:\\Users\\A\\Temp\\zor5.tmp", true, L"C:\\", {L"Users", L"A", L"Temp", L"zor5.tmp"}},
        {L"T:\\zor5.tmp", true, L"T:\\", {L"zor5.tmp"}},
        {L"T:\\", true, L"T:\\", {}},
        {L"C:/a/b/", true, L"C:/", {L"a", L"b"}},
        {L"\\\\server\\share\\zor5.tmp", true, L"\\\\server\\share\\", {L"zor5.tmp"}},
        {L"\\\\server\\share", true, L"\\\\server\\share", {}},
        {L"\\\\server\\", false, L"", {}},
        {L"T:zor5.tmp", false, L"", {}},
        {L"\\zor5.tmp", false, L"", {}},
        {L"zor5.tmp", false, L"", {}},
        {L"\\\\?\\C:\\zor5.tmp", false, L"", {}},
        {L"\\\\.\\C:\\zor5.tmp", false, L"", {}},
        {L"C:\\a\\..\\b", false, L"", {}},
        {L"C:\\a\\.\\b", false, L"", {}},
        {L"C:\\a\\\\b", false, L"", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(tstrings::toUtf8(row.path));
        std::wstring root = L"unchanged";
        std::vector<std::wstring> names;
        EXPECT_EQ(splitPath(row.path, root, names), row.ok);
        if (!row.ok) continue;
        EXPECT_EQ(root, row.root);
        EXPECT_EQ(names, row.names);
    }
}

// While a path is held no directory on it can be renamed; afterwards each can.
TEST(HeldPath, NoDirectoryOfAHeldPathCanBeRenamedUntilItIsReleased) {
    const TempDir parent("kbheld");
    const std::string deepest = parent / "a\\b";
    ASSERT_TRUE(CreateDirectoryA((parent / "a").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(deepest.c_str(), nullptr));
    HeldPath chain;
    ASSERT_EQ(chain.hold(tstrings::fromUtf8(deepest)), static_cast<DWORD>(ERROR_SUCCESS));
    const std::vector<std::string> directories = {FileUtils::parentPath(parent.path()), parent.path(),
                                                  parent / "a", deepest};
    for (const std::string& directory : directories) {
        EXPECT_EQ(attempt(MoveFileExW(tstrings::fromUtf8(directory).c_str(),
                                      tstrings::fromUtf8(directory + "-moved").c_str(), 0)),
                  ERROR_SHARING_VIOLATION)
            << directory;
    }
    chain.release();
    EXPECT_EQ(attempt(MoveFileExA(deepest.c_str(), (deepest + "-moved").c_str(), 0)), ERROR_SUCCESS);
    EXPECT_EQ(testing_support::listDirectory(parent / "a"), Lines{"b-moved"});
}

}  // namespace
