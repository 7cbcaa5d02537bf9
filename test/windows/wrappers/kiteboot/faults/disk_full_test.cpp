// The launcher on a full disk: its TEMP lies on a small file system that disk_full.sh mounts (8 MiB) and
// names in KITEBOOT_SMALL_DISK. Writing the payload fails, and so does writing the log; the run ends as
// it should, leaves nothing behind, and the log keeps only whole records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"
#include "windows/wrappers/kiteboot/LaunchRun.h"

namespace launch_testing {
namespace {

using testing_support::ParsedRecord;
using Lines = std::vector<std::string>;

constexpr unsigned long long kPage = 4096;  // the small file system's allocation unit

class DiskFull : public testing::Test {
protected:
    void SetUp() override {
        const char* disk = std::getenv("KITEBOOT_SMALL_DISK");
        if (!disk || !*disk) GTEST_SKIP() << "run by disk_full.sh, which mounts the small file system";
        temp_ = FileUtils::joinPath(disk, testing::UnitTest::GetInstance()->current_test_info()->name());
        ASSERT_TRUE(CreateDirectoryA(temp_.c_str(), nullptr)) << temp_;
    }
    void TearDown() override {
        if (!temp_.empty()) testing_support::removeAll(temp_);
    }

    static unsigned long long freeBytes(const std::string& path) {
        ULARGE_INTEGER available{};
        EXPECT_TRUE(GetDiskFreeSpaceExA(path.c_str(), &available, nullptr, nullptr));
        return available.QuadPart;
    }

    // Fills the file system with a file named filler until only keep bytes are free (whole pages).
    void fill(unsigned long long keep) {
        const std::string filler = temp_ + "\\filler";
        HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        const std::string block(kPage, 'f');
        DWORD written = 0;
        while (freeBytes(temp_) > keep &&
               WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) &&
               written > 0) {
        }
        CloseHandle(file);
        ASSERT_EQ(freeBytes(temp_), keep);
    }

    // Writes a log holding one whole record, padded so that the file ends slack bytes before a page
    // boundary: a record appended to it can start, but not end, in the page the file already has.
    std::string writePaddedLog(std::size_t slack) {
        const std::string head =
            "[2026/01/02 03:04:05.006, padding.exe (PID: 1, TID: 1), padding.cpp:1 (pad)]\r\n\tTRACE: ";
        const std::size_t size = 2 * kPage - slack;
        const std::string text = head + std::string(size - head.size() - 2, 'p') + "\r\n";
        testing_support::writeFile(temp_ + "\\morvane.log", text);
        return text;
    }

    std::string temp_;
};

TEST_F(DiskFull, WritingThePayloadFailsTheRunEndsAndNothingIsLeft) {
    LaunchRun run(testing_support::siblingProgram("big_probe_launcher.exe"), temp_);
    const unsigned long long before = freeBytes(temp_);
    EXPECT_EQ(run.run({"/s"}), kFailure);
    EXPECT_FALSE(run.payloadRan());
    EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});
    EXPECT_GE(freeBytes(temp_) + 2 * kPage, before);

    const std::vector<ParsedRecord> log = run.records();
    ASSERT_EQ(log.size(), 6u) << testing::PrintToString(summarize(log));
    const std::string secure = reservedDirectory(log);
    const std::string temporary = extractionTemporary(log, secure);
    ASSERT_FALSE(temporary.empty());
    // The temporary file and the directory are removed before the failure is reported, which names the
    // system's error (on Windows: "There is not enough space on the disk"), not the stream's.
    const Lines expected = {
        summary("TRACE", kCreated, "Created [" + secure + "] file"),
        summary("TRACE", kReserveDeleted, "Deleted [" + secure + "] file"),
        summary("TRACE", kCreated, "Created [" + temporary + "] file"),
        summary("TRACE", kSaved, "Deleted [" + temporary + "] file"),
        summary("TRACE", kDirectoryDeleted, "Deleted [" + secure + "] directory"),
    };
    const Lines lines = summarize(log);
    EXPECT_EQ(Lines(lines.begin(), lines.end() - 1), expected);
    EXPECT_EQ(log.back().level, "ERROR");
    EXPECT_EQ(log.back().function, kRun);
    const std::regex report(escapeRegex("Exception with message 'HeldDirectory.cpp(") + R"(\d+)" +
                            escapeRegex(") at HeldDirectory::saveFile(): WriteFile(" + temporary +
                                        ") failed. System error [112](" + formatSystemError(ERROR_DISK_FULL) +
                                        ")' caught"));
    EXPECT_TRUE(std::regex_match(log.back().message, report)) << log.back().message;
}

TEST_F(DiskFull, NothingCanBeWrittenTheRunEndsAndTheLogKeepsOnlyWholeRecords) {
    const std::string log = writePaddedLog(120);
    fill(0);
    LaunchRun run(testing_support::siblingProgram("probe_launcher.exe"), temp_);
    EXPECT_EQ(run.run({"/s"}), kFailure);
    EXPECT_FALSE(run.payloadRan());
    EXPECT_EQ(run.tempEntries(), (Lines{"filler", "morvane.log"}));
    // Each record began in the log's last page and could not end there: none of it stays.
    const std::string after = testing_support::readFile(temp_ + "\\morvane.log");
    EXPECT_EQ(after.size(), log.size()) << after.substr(std::min(after.size(), log.size()));
    EXPECT_TRUE(after == log);
    EXPECT_NO_THROW(testing_support::parseLog(after));
}

}  // namespace
}  // namespace launch_testing
