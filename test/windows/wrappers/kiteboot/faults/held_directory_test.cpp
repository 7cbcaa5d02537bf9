// The temporary directory and the held secure directory on real directories: made and held in one step,
// nothing can rename or remove it while held, an occupied path is refused without touching what is there,
// files are saved through a temporary file and held from their creation, and the clean-up waits a bounded
// time for something that still holds the directory. Leftovers of earlier runs: which are removed, and how
// much one run does.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/share/tstrings.h"
#include "common/windows/WinHeaders.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"
#include "windows/common/Security.h"
#include "windows/common/handles/HandleFiles.h"
#include "windows/wrappers/kiteboot/HeldDirectory.h"
#include "windows/wrappers/kiteboot/Leftovers.h"

namespace {

using testing_support::TempDir;
using Lines = std::vector<std::string>;

DWORD attempt(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

class HeldDirectoryTest : public testing::Test {
protected:
    std::unique_ptr<HeldDirectory> create(const std::string& name, DWORD& error) {
        std::unique_ptr<HeldDirectory> directory;
        error = HeldDirectory::create(temp, parent / name, descriptor.get(), directory);
        return directory;
    }

    TempDir parent{"kbheld"};
    TempDirectory temp{parent.path()};
    security::SecurityDescriptor descriptor{MessageBuilder("D:(A;;FA;;;BA)")};
    testing_support::LogCapture log;
};

TEST_F(HeldDirectoryTest, IsMadeEmptyAndCannotBeRenamedOrRemovedUntilRemovedThroughItsHandles) {
    const std::string path = parent / "zor1.tmp";
    DWORD error = 12345;
    std::unique_ptr<HeldDirectory> held = create("zor1.tmp", error);
    ASSERT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(held);
    EXPECT_TRUE(testing_support::isDirectory(path));
    EXPECT_EQ(testing_support::listDirectory(path), Lines{});
    EXPECT_EQ(held->finalPath(), path);

    EXPECT_EQ(attempt(MoveFileExA(path.c_str(), (parent / "moved").c_str(), 0)), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(attempt(RemoveDirectoryA(path.c_str())), ERROR_SHARING_VIOLATION);
    // Files come and go inside it as usual; what is left is removed with it.
    testing_support::writeFile(path + "\\inside.txt", "x");
    EXPECT_EQ(attempt(DeleteFileA((path + "\\inside.txt").c_str())), ERROR_SUCCESS);
    testing_support::writeFile(path + "\\left.txt", "x");
    held.reset();
    EXPECT_EQ(testing_support::listDirectory(parent.path()), Lines{});
    EXPECT_EQ(log.messages(),
              (Lines{"Deleted [" + path + "\\left.txt] file", "Deleted [" + path + "] directory"}));
}

TEST_F(HeldDirectoryTest, AnOccupiedPathIsRefusedAndLeftAsItWas) {
    testing_support::writeFile(parent / "file.tmp", "someone's");
    ASSERT_TRUE(CreateDirectoryA((parent / "dir.tmp").c_str(), nullptr));
    testing_support::writeFile(parent / "dir.tmp\\theirs.exe", "theirs");
    for (const char* name : {"file.tmp", "dir.tmp", "DIR.TMP"}) {
        SCOPED_TRACE(name);
        DWORD error = ERROR_SUCCESS;
        EXPECT_FALSE(create(name, error));
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    }
    EXPECT_EQ(testing_support::readFile(parent / "file.tmp"), "someone's");
    EXPECT_EQ(testing_support::listDirectory(parent / "dir.tmp"), Lines{"theirs.exe"});
}

TEST_F(HeldDirectoryTest, TheReservedNameIsFreeAgainAndAnUnopenableTempGivesNone) {
    const std::string path = temp.reserveName("zor", ".tmp");
    EXPECT_TRUE(std::regex_match(path, std::regex(R"(.*\\zor-?\d+\.tmp)"))) << path;
    EXPECT_EQ(testing_support::listDirectory(parent.path()), Lines{});
    EXPECT_EQ(log.messages(), (Lines{"Created [" + path + "] file", "Deleted [" + path + "] file"}));
    const TempDirectory missing(parent / "missing");
    EXPECT_THROW(missing.reserveName("zor", ".tmp"), std::runtime_error);
}

TEST_F(HeldDirectoryTest, ASavedFileGoesThroughATemporaryFileAndIsHeldUntilRemoved) {
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<HeldDirectory> held = create("zor2.tmp", error);
    ASSERT_TRUE(held);
    const std::string target = held->path() + "\\payload.bin";
    const HANDLE file = held->saveFile("payload.bin", [](std::ostream& out) { out << "bytes"; });
    EXPECT_EQ(testing_support::readFile(target), "bytes");
    EXPECT_EQ(held->checkHoldsOnly(file), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_EQ(log.messages().size(), 2u) << testing::PrintToString(log.messages());
    std::smatch match;
    const std::string created = log.messages()[0];
    ASSERT_TRUE(std::regex_match(created, match, std::regex(R"(Created \[(.*\\zor-?\d+\.tmp)\] file)")));
    EXPECT_EQ(log.messages()[1], "Moved '" + match[1].str() + "' file to '" + target + "'");
    EXPECT_EQ(attempt(DeleteFileA(target.c_str())), ERROR_SHARING_VIOLATION);
    UniqueHandle writer(CreateFileA(target.c_str(), GENERIC_WRITE, 7, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ(writer.get(), INVALID_HANDLE_VALUE);
    // Anything beside the held file fails the check.
    testing_support::writeFile(held->path() + "\\extra.dll", "");
    EXPECT_EQ(held->checkHoldsOnly(file), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
}

TEST_F(HeldDirectoryTest, AFailedWriteRemovesTheTemporaryFileThroughItsHandle) {
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<HeldDirectory> held = create("zor3.tmp", error);
    ASSERT_TRUE(held);
    EXPECT_THROW(held->saveFile("payload.bin",
                                [](std::ostream& out) {
                                    out << "part";
                                    throw std::runtime_error("full");
                                }),
                 std::runtime_error);
    EXPECT_EQ(testing_support::listDirectory(held->path()), Lines{});
    ASSERT_EQ(log.messages().size(), 2u) << testing::PrintToString(log.messages());
    std::smatch match;
    const std::string created = log.messages()[0];
    ASSERT_TRUE(std::regex_match(created, match, std::regex(R"(Created \[(.*\\zor-?\d+\.tmp)\] file)")));
    EXPECT_EQ(log.messages()[1], "Deleted [" + match[1].str() + "] file");
}

// Something the payload started may hold the directory a moment after the payload ended: the clean-up
// waits for it, but not for ever.
TEST_F(HeldDirectoryTest, CleanUpTriesAgainWhileTheDirectoryIsHeldForAMomentAndGivesUpAfterAFewSeconds) {
    for (const DWORD holdMs : {400u, 6000u}) {
        SCOPED_TRACE(holdMs);
        DWORD error = ERROR_SUCCESS;
        std::unique_ptr<HeldDirectory> held = create("zor4.tmp", error);
        ASSERT_TRUE(held);
        // Held as a working directory is: traversed, without delete sharing.
        UniqueHandle holder(CreateFileA(held->path().c_str(), FILE_TRAVERSE | SYNCHRONIZE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
        // A second thread lets the holder go while the clean-up waits (CreateThread: the toolchain's
        // Win32 thread model has no std::thread).
        struct Release {
            DWORD holdMs;
            UniqueHandle& holder;
        } release{holdMs, holder};
        const auto letGo = [](void* context) -> DWORD {
            auto& r = *static_cast<Release*>(context);
            Sleep(r.holdMs);
            r.holder.reset();
            return 0;
        };
        UniqueHandle releasing(CreateThread(nullptr, 0, letGo, &release, 0, nullptr));
        ASSERT_TRUE(releasing.get());
        const DWORD start = GetTickCount();
        held.reset();
        const DWORD took = GetTickCount() - start;
        WaitForSingleObject(releasing.get(), INFINITE);
        if (holdMs < 1000) {
            EXPECT_EQ(testing_support::listDirectory(parent.path()), Lines{});
            EXPECT_GE(took, holdMs - 50);
        } else {
            EXPECT_EQ(testing_support::listDirectory(parent.path()), Lines{"zor4.tmp"});
            EXPECT_GE(took, 3000u);
            EXPECT_LT(took, holdMs);
            ASSERT_FALSE(log.messages().empty());
            EXPECT_EQ(log.messages().back().rfind("RemoveDirectory(" + parent / "zor4.tmp" + ") failed.", 0),
                      0u)
                << log.messages().back();
            RemoveDirectoryA((parent / "zor4.tmp").c_str());
        }
        log.records.clear();
    }
}

// A path names the held file only when the system takes it, unchanged, to that very file.
TEST_F(HeldDirectoryTest, APathNamesTheHeldFileOnlyAsTheSystemTakesItToThatFile) {
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<HeldDirectory> held = create("zor5.tmp", error);
    ASSERT_TRUE(held);
    const HANDLE file = held->saveFile("setup.exe", [](std::ostream& out) { out << "MZ"; });
    testing_support::writeFile(parent / "setup.exe", "MZ");
    const std::string directory = held->finalPath();
    const std::string payload = directory + "\\setup.exe";
    const struct {
        std::string path;
        DWORD expected;
    } rows[] = {
        {payload, ERROR_SUCCESS},
        {"\\\\?\\" + payload, ERROR_BAD_PATHNAME},           // a device path skips normalisation
        {"\\\\.\\" + payload, ERROR_BAD_PATHNAME},           // so does this one, which Wine opens as the file
        {directory + "\\.\\setup.exe", ERROR_BAD_PATHNAME},  // normalised to another text
        {directory + "\\setup.exe.", ERROR_BAD_PATHNAME},    // the final dot is dropped
        {directory + "\\..\\zor5.tmp\\setup.exe", ERROR_BAD_PATHNAME},  // ".." resolved
        {parent / "setup.exe", ERROR_CANT_ACCESS_FILE},                 // a copy elsewhere
        {directory, ERROR_CANT_ACCESS_FILE},                            // the directory, not the file
        {directory + "\\missing.exe", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(HandleFiles::checkNamesFile(tstrings::fromUtf8(row.path), file), row.expected);
    }
    EXPECT_EQ(held->checkNamedBy(directory), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(held->checkNamedBy(payload), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
    EXPECT_EQ(held->checkNamedBy(directory + "."), static_cast<DWORD>(ERROR_BAD_PATHNAME));
}

}  // namespace

namespace {

// ---- Leftovers of earlier runs, reclaimed through the TEMP handle (the descriptor decision supplied)

class LeftoversTest : public HeldDirectoryTest {
protected:
    // A directory in TEMP holding the given files (a trailing separator: an empty directory).
    void makeDirectory(const std::string& name, const Lines& files = {}) {
        ASSERT_TRUE(CreateDirectoryA((parent / name).c_str(), nullptr)) << name;
        for (const std::string& file : files) {
            const std::string path = parent / name + "\\" + file;
            if (file.back() == '\\') {
                ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
            } else {
                testing_support::writeFile(path, "x");
            }
        }
    }

    // Reclaims with a decision that declares the names in ours to carry the secure directory's descriptor
    // and records every name it is asked about.
    void reclaim(const Lines& ours, const LeftoverBounds& bounds = {}) {
        reclaimLeftovers(
            temp,
            [&](const std::string& path, PSECURITY_DESCRIPTOR) {
                const std::string name = path.substr(parent.path().size() + 1);
                asked.push_back(name);
                return std::find(ours.begin(), ours.end(), name) != ours.end();
            },
            bounds);
        std::sort(asked.begin(), asked.end());
    }

    Lines asked;
};

TEST_F(LeftoversTest, OnlyDirectoriesOfTheSecureNameThatNobodyHoldsAndThatAreOursAreRemoved) {
    makeDirectory("zor1.tmp", {"setup.exe", "sub\\", "sub\\x.txt"});
    makeDirectory("ZOR2.TMP", {"setup.exe"});
    makeDirectory("zor3.tmp", {"theirs.txt"});  // not ours by the decision
    makeDirectory("zor9.tmp");                  // empty: as a live launcher's is while it deletes it
    testing_support::writeFile(parent / "zor4.tmp", "a file");
    for (const char* name : {"zorx.tmp", "zor.tmp", "xzor5.tmp", "zor6.tmp.bak"})
        makeDirectory(name, {"theirs.txt"});
    // A live launcher's hold, and a directory that is some process's working directory.
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<HeldDirectory> live = create("zor7.tmp", error);
    ASSERT_TRUE(live);
    live->saveFile("setup.exe", [](std::ostream& out) { out << "MZ"; });
    makeDirectory("zor8.tmp", {"theirs.txt"});
    UniqueHandle workingDirectory(CreateFileA((parent / "zor8.tmp").c_str(), FILE_TRAVERSE | SYNCHRONIZE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_NE(workingDirectory.get(), INVALID_HANDLE_VALUE);
    log.records.clear();

    reclaim({"zor1.tmp", "ZOR2.TMP", "zor7.tmp", "zor8.tmp", "zor9.tmp", "zor4.tmp", "zorx.tmp", "zor.tmp"});
    // The held ones and the empty one are refused before their descriptor is read; the names and the file
    // never get there.
    EXPECT_EQ(asked, (Lines{"ZOR2.TMP", "zor1.tmp", "zor3.tmp"}));
    EXPECT_EQ(testing_support::listDirectory(parent.path()),
              (Lines{"xzor5.tmp", "zor.tmp", "zor3.tmp", "zor4.tmp", "zor6.tmp.bak", "zor7.tmp", "zor8.tmp",
                     "zor9.tmp", "zorx.tmp"}));
    Lines messages = log.messages();
    std::sort(messages.begin(), messages.end());
    const std::string first = parent / "zor1.tmp";
    EXPECT_EQ(messages,
              (Lines{"Deleted [" + parent / "ZOR2.TMP" + "\\setup.exe] file",
                     "Deleted [" + parent / "ZOR2.TMP" + "] directory",
                     "Deleted [" + first + "\\setup.exe] file", "Deleted [" + first + "\\sub\\x.txt] file",
                     "Deleted [" + first + "\\sub] directory", "Deleted [" + first + "] directory"}));
    EXPECT_EQ(testing_support::listDirectory(parent / "zor8.tmp"), Lines{"theirs.txt"});
    workingDirectory.reset();
    live.reset();
    for (const char* name :
         {"zor3.tmp", "zor8.tmp", "zor9.tmp", "zorx.tmp", "zor.tmp", "xzor5.tmp", "zor6.tmp.bak"}) {
        DeleteFileA((parent / name + "\\theirs.txt").c_str());
        RemoveDirectoryA((parent / name).c_str());
    }
}

// A file held inside stops the removal of its directory, silently; the directory is left for a later run.
TEST_F(LeftoversTest, WhatCannotBeRemovedIsLeftSilently) {
    makeDirectory("zor1.tmp", {"setup.exe", "other.txt"});
    UniqueHandle held(CreateFileA((parent / "zor1.tmp\\setup.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                  nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    reclaim({"zor1.tmp"});
    EXPECT_EQ(testing_support::listDirectory(parent / "zor1.tmp"), Lines{"setup.exe"});
    EXPECT_EQ(log.messages(), Lines{"Deleted [" + parent / "zor1.tmp\\other.txt] file"});
    held.reset();
    log.records.clear();
    reclaim({"zor1.tmp"});
    EXPECT_EQ(testing_support::listDirectory(parent.path()), Lines{});
}

// Each bound stops the run's work there: directories removed, directories examined, names listed.
TEST_F(LeftoversTest, EachRunDoesBoundedWork) {
    const struct {
        LeftoverBounds bounds;
        std::size_t asked;
        std::size_t left;
    } rows[] = {
        {{1024, 64, 4}, 4, 2},
        {{1024, 3, 4}, 3, 3},
        {{2, 64, 4}, 2, 4},
        {{1024, 64, 6}, 6, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.bounds.listed << " " << row.bounds.examined << " " << row.bounds.removed);
        Lines names;
        for (int i = 1; i <= 6; ++i) {
            names.push_back("zor" + std::to_string(i) + ".tmp");
            makeDirectory(names.back(), {"setup.exe"});
        }
        asked.clear();
        reclaim(names, row.bounds);
        EXPECT_EQ(asked.size(), row.asked);
        EXPECT_EQ(testing_support::listDirectory(parent.path()).size(), row.left);
        for (const std::string& name : names) {
            DeleteFileA((parent / name + "\\setup.exe").c_str());
            RemoveDirectoryA((parent / name).c_str());
        }
        log.records.clear();
    }
}

}  // namespace
