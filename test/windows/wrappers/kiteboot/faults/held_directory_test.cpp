// createHeldDirectory on real directories: made and held in one step, nothing can rename or remove it
// while held, and an occupied path is refused without touching what is there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/windows/WinHeaders.h"
#include "support/TempDir.h"
#include "windows/common/Security.h"
#include "windows/wrappers/kiteboot/HeldDirectory.h"

namespace {

using testing_support::TempDir;
using Lines = std::vector<std::string>;

DWORD attempt(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

class HeldDirectory : public testing::Test {
protected:
    UniqueHandle create(const std::string& path, DWORD& error) {
        return createHeldDirectory(path, descriptor.get(), error);
    }

    TempDir parent{"kbheld"};
    security::SecurityDescriptor descriptor{MessageBuilder("D:(A;;FA;;;BA)")};
};

TEST_F(HeldDirectory, IsMadeEmptyAndCannotBeRenamedOrRemovedUntilReleased) {
    const std::string path = parent / "zor1.tmp";
    DWORD error = 12345;
    UniqueHandle hold = create(path, error);
    ASSERT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(hold.owned());
    EXPECT_TRUE(testing_support::isDirectory(path));
    EXPECT_EQ(testing_support::listDirectory(path), Lines{});

    EXPECT_EQ(attempt(MoveFileExA(path.c_str(), (parent / "moved").c_str(), 0)), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(attempt(RemoveDirectoryA(path.c_str())), ERROR_SHARING_VIOLATION);
    // Files come and go inside it as usual.
    testing_support::writeFile(path + "\\inside.txt", "x");
    EXPECT_EQ(attempt(DeleteFileA((path + "\\inside.txt").c_str())), ERROR_SUCCESS);

    hold.reset();
    EXPECT_EQ(attempt(RemoveDirectoryA(path.c_str())), ERROR_SUCCESS);
}

TEST_F(HeldDirectory, AnOccupiedPathIsRefusedAndLeftAsItWas) {
    testing_support::writeFile(parent / "file.tmp", "someone's");
    ASSERT_TRUE(CreateDirectoryA((parent / "dir.tmp").c_str(), nullptr));
    testing_support::writeFile(parent / "dir.tmp\\theirs.exe", "theirs");
    for (const char* name : {"file.tmp", "dir.tmp", "DIR.TMP"}) {
        SCOPED_TRACE(name);
        DWORD error = ERROR_SUCCESS;
        const UniqueHandle hold = create(parent / name, error);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
        EXPECT_FALSE(hold.owned());
    }
    EXPECT_EQ(testing_support::readFile(parent / "file.tmp"), "someone's");
    EXPECT_EQ(testing_support::listDirectory(parent / "dir.tmp"), Lines{"theirs.exe"});
}

TEST_F(HeldDirectory, AMissingParentIsReportedAsSuch) {
    DWORD error = ERROR_SUCCESS;
    const UniqueHandle hold = create(parent / "missing\\zor1.tmp", error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(hold.owned());
    EXPECT_EQ(testing_support::listDirectory(parent.path()), Lines{});
}

}  // namespace
