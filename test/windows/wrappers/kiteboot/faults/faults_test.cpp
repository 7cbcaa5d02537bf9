// The launcher under faults, end to end: real launchers under Wine given an unusable temporary
// directory, a payload that leaves a file held open, a secure directory changed between extraction and
// check, attempts to swap the directory or the payload while it runs, a log file held by another process,
// and a payload command line longer than Windows accepts. Each test checks the exit code, what is left on
// disk and the records the run wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"
#include "windows/wrappers/kiteboot/faults/LaunchRun.h"

namespace faults {
namespace {

using testing_support::ParsedRecord;
using testing_support::TempDir;
using Lines = std::vector<std::string>;

std::string launcherPath(const char* name) {
    return testing_support::siblingProgram(name);
}

// Names beginning with "zor" or equal to "morvane.log": what a run could leave in a directory.
Lines launcherLeftovers(const std::string& directory) {
    Lines found;
    for (const std::string& name : testing_support::listDirectory(directory)) {
        if (name.rfind("zor", 0) == 0 || name == "morvane.log") found.push_back(name);
    }
    return found;
}

// ---- No usable temporary directory

TEST(UnusableTemp, MissingOrAFileEndsWithMinusOneAndCreatesNothingAnywhere) {
    TempDir work("kbwork");
    const std::string cwd = work / "cwd";
    ASSERT_TRUE(CreateDirectoryA(cwd.c_str(), nullptr));
    testing_support::writeFile(work / "file", "not a directory");
    const Lines launcherDirectoryBefore =
        launcherLeftovers(FileUtils::parentPath(launcherPath("probe_launcher.exe")));
    for (const std::string& temp : {work / "missing", work / "file", work / "missing\\deeper"}) {
        SCOPED_TRACE(temp);
        LaunchRun run(launcherPath("probe_launcher.exe"), temp);
        run.options.currentDirectory = cwd;
        EXPECT_EQ(run.run({"/s"}), kFailure);
        EXPECT_FALSE(run.payloadRan());
        // The log cannot be opened either, so the failure is logged nowhere; nothing was made.
        EXPECT_EQ(testing_support::listDirectory(work.path()), (Lines{"cwd", "file"}));
        EXPECT_EQ(testing_support::listDirectory(cwd), Lines{});
        EXPECT_EQ(testing_support::readFile(work / "file"), "not a directory");
        EXPECT_EQ(launcherLeftovers(FileUtils::parentPath(run.launcher())), launcherDirectoryBefore);
    }
}

// Takes the names zor<tick>.tmp in directory for every tick from first up to (not including) last.
void takeTemporaryNames(const std::string& directory, DWORD first, DWORD last) {
    for (DWORD tick = first; tick != last; ++tick) {
        const std::string path = FileUtils::joinPath(directory, FileUtils::tempFileName("zor", tick, ".tmp"));
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        CloseHandle(file);
    }
}

TEST(UnusableTemp, EveryNameTakenEndsWithTheCreateTempFileFailureLogged) {
    LaunchRun run(launcherPath("probe_launcher.exe"));
    // The launcher tries the 100 names zor<tick>.tmp to zor<tick + 99>.tmp, tick being the tick count when
    // it asks. Every name from a little before now to a few seconds after is taken. (Wine makes each new
    // name cost time in proportion to the directory's size, so the window is kept short; a launcher that
    // starts after its end, on a busy machine, is simply started again after the window has been moved.)
    const DWORD first = GetTickCount() - 100;
    DWORD last = first;
    unsigned long exitCode = 0;
    for (int attempt = 0; attempt < 3 && exitCode != kFailure; ++attempt) {
        const DWORD end = GetTickCount() + 3000;
        takeTemporaryNames(run.temp(), last, end);
        last = end;
        exitCode = run.run({"/s"});
        // A run that found a free name must have started within 100 ms of the window's end.
        ASSERT_TRUE(exitCode == kFailure || static_cast<LONG>(GetTickCount() - (last - 100)) >= 0)
            << "the launcher ran its payload while its names were taken";
    }
    ASSERT_EQ(exitCode, kFailure);
    EXPECT_FALSE(run.payloadRan());
    const Lines entries = run.tempEntries();
    EXPECT_EQ(entries.size(), last - first + 1);
    EXPECT_TRUE(std::count(entries.begin(), entries.end(), "morvane.log"));
    // Only the failed run's record: an earlier attempt that started too late removed what it made, but its
    // records would be in the log too, so they are skipped.
    std::vector<ParsedRecord> log = run.records();
    ASSERT_FALSE(log.empty());
    const ParsedRecord& failure = log.back();
    const std::regex report(escapeRegex("Exception with message 'FileUtils.cpp(") + R"(\d+)" +
                            escapeRegex(") at FileUtils::createTempFile(): createTempFile(zor, .tmp, " +
                                        run.temp() + ") failed' caught"));
    EXPECT_EQ(failure.level, "ERROR");
    EXPECT_EQ(failure.function, kRun);
    EXPECT_TRUE(std::regex_match(failure.message, report)) << failure.message;
    if (log.size() > 1) {
        EXPECT_EQ(summary(log[log.size() - 2]).find("TRACE FileUtils::deleteDirectory: Deleted ["), 0u);
    }
}

// ---- A file in the secure directory held open by another process at clean-up time

TEST(PayloadFaults, FileHeldOpenAtCleanUpStaysWithItsAncestorsAndIsLogged) {
    LaunchRun run(launcherPath("probe_launcher.exe"));
    run.options.environment[probe::kCreateVariable] =
        "top.txt|sub\\held.txt|sub\\beside.txt|sub\\deep\\x.txt|other\\y|empty\\";
    run.options.environment[probe::kExitVariable] = "7";
    run.holdPayloadAfterReport();
    run.start({"/s"});
    const probe::Report report = run.report();
    const std::string secure = run.secureDirectory(report);
    const std::string held = secure + "\\sub\\held.txt";
    UniqueHandle holder(CreateFileA(held.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
    run.release();
    EXPECT_EQ(run.wait(), 7u);

    // The held file and the directories above it stay; everything else is gone.
    EXPECT_EQ(run.tempEntries(), (Lines{"morvane.log", FileUtils::fileName(secure)}));
    EXPECT_EQ(testing_support::listDirectory(secure), Lines{"sub"});
    EXPECT_EQ(testing_support::listDirectory(secure + "\\sub"), Lines{"held.txt"});
    const std::vector<ParsedRecord> log = run.records();
    const Lines lines = summarize(log);
    const std::string leftover = summary("ERROR", kLeftoverFile,
                                         "DeleteFile(" + held + ") failed. System error [32](" +
                                             formatSystemError(ERROR_SHARING_VIOLATION) + ")");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), leftover), 1) << testing::PrintToString(lines);
    for (const std::string& removed :
         {secure + "\\top.txt", secure + "\\sub\\beside.txt", secure + "\\sub\\deep\\x.txt",
          secure + "\\other\\y", report.modulePath}) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             summary("TRACE", kDeleteFileImpl, "Deleted [" + removed + "] file")),
                  1)
            << removed;
    }
    for (const std::string& removed : {secure + "\\sub\\deep", secure + "\\other", secure + "\\empty"}) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             summary("TRACE", kDeleteDirectory, "Deleted [" + removed + "] directory")),
                  1)
            << removed;
    }
    // No exception reached run, and only the held file is reported.
    for (const ParsedRecord& record : log) {
        EXPECT_NE(record.function, kRun) << record.message;
        if (record.level != "TRACE") {
            EXPECT_EQ(summary(record), leftover);
        }
    }
    holder.reset();
}

// ---- Tampering between extraction and check (the test launcher's hook adds to the secure directory)

TEST(Tampering, AnythingAddedBeforeTheCheckStopsTheLaunchAndEverythingIsRemoved) {
    struct Case {
        const char* tamper;
        std::vector<std::pair<const char*, const char*>> removals;  // function, relative path
    };
    const Case cases[] = {
        {"add:extra.dll", {{kDeleteFileImpl, "extra.dll"}}},
        {"add:sub\\", {{kDeleteDirectory, "sub"}}},
        {"add:sub\\deeper\\setup.exe",
         {{kDeleteFileImpl, "sub\\deeper\\setup.exe"},
          {kDeleteDirectory, "sub\\deeper"},
          {kDeleteDirectory, "sub"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tamper);
        LaunchRun run(launcherPath("hooked_launcher.exe"));
        run.options.environment["KITEBOOT_TEST_TAMPER"] = c.tamper;
        run.options.environment["KITEBOOT_TEST_TAMPER_RESULT"] = run.outside / "tamper.txt";
        EXPECT_EQ(run.run({"/s"}), kFailure);
        EXPECT_EQ(testing_support::readFile(run.outside / "tamper.txt"), "0");
        EXPECT_FALSE(run.payloadRan());
        EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});

        const std::vector<ParsedRecord> log = run.records();
        ASSERT_GE(log.size(), 5u) << testing::PrintToString(summarize(log));
        const std::string secure = reservedDirectory(log);
        ASSERT_FALSE(secure.empty()) << testing::PrintToString(summarize(log));
        const Lines expectedRun =
            cleanRunSummaries(secure, "hooked_launcher.exe", extractionTemporary(log, secure));
        Lines expected(expectedRun.begin(), expectedRun.begin() + 4);
        // Refused before the payload starts; the directory goes afterwards, the payload and the addition
        // in the file system's order, the directory itself last.
        expected.push_back(summary("ERROR", kRun, "Secure directory is tempered, exiting..."));
        Lines removals = {expectedRun[4]};
        for (const auto& [function, relative] : c.removals) {
            const std::string path = secure + "\\" + relative;
            removals.push_back(summary("TRACE", function,
                                       function == kDeleteDirectory ? "Deleted [" + path + "] directory"
                                                                    : "Deleted [" + path + "] file"));
        }
        const Lines lines = summarize(log);
        ASSERT_EQ(lines.size(), expected.size() + removals.size() + 1) << testing::PrintToString(lines);
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 5), expected);
        Lines actualRemovals(lines.begin() + 5, lines.end() - 1);
        std::sort(actualRemovals.begin(), actualRemovals.end());
        std::sort(removals.begin(), removals.end());
        EXPECT_EQ(actualRemovals, removals);
        EXPECT_EQ(lines.back(), expectedRun[5]);
    }
}

TEST(Tampering, WithNothingAddedTheHookedLauncherRunsItsPayload) {
    LaunchRun run(launcherPath("hooked_launcher.exe"));
    run.options.environment[probe::kExitVariable] = "5";
    EXPECT_EQ(run.run({"/s"}), 5u);
    const probe::Report report = run.report();
    const std::string secure = run.secureDirectory(report);
    const std::vector<ParsedRecord> log = run.records();
    EXPECT_EQ(summarize(log),
              cleanRunSummaries(secure, "hooked_launcher.exe", extractionTemporary(log, secure)));
    EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});
}

// ---- Swapping the secure directory or the payload while the run holds them

TEST(Swapping, SecureDirectoryCannotBeRenamedBetweenExtractionAndCheck) {
    LaunchRun run(launcherPath("hooked_launcher.exe"));
    run.options.environment["KITEBOOT_TEST_TAMPER"] = "move:swapped.tmp";
    run.options.environment["KITEBOOT_TEST_TAMPER_RESULT"] = run.outside / "tamper.txt";
    run.options.environment[probe::kExitVariable] = "9";
    EXPECT_EQ(run.run({"/s"}), 9u);
    EXPECT_EQ(testing_support::readFile(run.outside / "tamper.txt"), std::to_string(ERROR_SHARING_VIOLATION));
    const probe::Report report = run.report();
    const std::string secure = run.secureDirectory(report);
    const std::vector<ParsedRecord> log = run.records();
    EXPECT_EQ(summarize(log),
              cleanRunSummaries(secure, "hooked_launcher.exe", extractionTemporary(log, secure)));
    EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});
}

// The Windows error of an attempt; 0 when it succeeded.
DWORD attempt(BOOL succeeded) {
    return succeeded ? ERROR_SUCCESS : GetLastError();
}

TEST(Swapping, WhileThePayloadRunsNeitherTheDirectoryNorThePayloadCanBeChanged) {
    LaunchRun run(launcherPath("probe_launcher.exe"));
    run.options.environment[probe::kExitVariable] = "3";
    run.holdPayloadAfterReport();
    run.start({"/s"});
    const probe::Report report = run.report();
    const std::string secure = run.secureDirectory(report);
    const std::string payload = report.modulePath;
    const std::string impostor = run.outside / "impostor.exe";
    testing_support::writeFile(impostor, "MZ impostor");

    EXPECT_EQ(attempt(MoveFileExA(secure.c_str(), (run.temp() + "\\elsewhere").c_str(), 0)),
              ERROR_SHARING_VIOLATION);
    EXPECT_EQ(attempt(RemoveDirectoryA(secure.c_str())), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(attempt(MoveFileExA(payload.c_str(), (secure + "\\renamed.exe").c_str(), 0)),
              ERROR_SHARING_VIOLATION);
    // Replacing needs the payload opened for deletion; the system answers that with access denied.
    EXPECT_EQ(attempt(MoveFileExA(impostor.c_str(), payload.c_str(), MOVEFILE_REPLACE_EXISTING)),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(attempt(DeleteFileA(payload.c_str())), ERROR_SHARING_VIOLATION);
    HANDLE writer =
        CreateFileA(payload.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    // Reading the payload is still allowed.
    UniqueHandle reader(CreateFileA(payload.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_NE(reader.get(), INVALID_HANDLE_VALUE);
    reader.reset();

    run.release();
    EXPECT_EQ(run.wait(), 3u);
    EXPECT_EQ(testing_support::readFile(impostor), "MZ impostor");
    EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});
    const std::vector<ParsedRecord> log = run.records();
    EXPECT_EQ(summarize(log),
              cleanRunSummaries(secure, "probe_launcher.exe", extractionTemporary(log, secure)));
}

// ---- The log held by another process

TEST(LogContention, RecordsDroppedWhileHeldTheRunSucceedsAndLaterRecordsAreWritten) {
    constexpr int kFiles = 30;
    LaunchRun run(launcherPath("probe_launcher.exe"));
    std::string files;
    for (int i = 0; i < kFiles; ++i) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a chain of concatenations here.
        if (i > 0) files += '|';
        files += 'f';
        files += std::to_string(i);
        files += ".txt";
    }
    run.options.environment[probe::kCreateVariable] = files;
    run.options.environment[probe::kExitVariable] = "11";
    run.holdPayloadAfterReport();
    run.start({"/s"});
    const probe::Report report = run.report();
    const std::string secure = run.secureDirectory(report);
    UniqueHandle payload(OpenProcess(SYNCHRONIZE, FALSE, report.processId));
    ASSERT_NE(payload.get(), nullptr);
    // Opened for writing without write sharing, as another writer of the log would.
    UniqueHandle log(CreateFileA((run.temp() + "\\morvane.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(log.get(), INVALID_HANDLE_VALUE);
    run.release();
    // The launcher logs its clean-up as soon as the payload has ended: hold the log 50 ms beyond that.
    ASSERT_EQ(WaitForSingleObject(payload.get(), 30000), WAIT_OBJECT_0);
    Sleep(50);
    log.reset();
    EXPECT_EQ(run.wait(), 11u);
    EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});

    const std::vector<ParsedRecord> records = run.records();
    const Lines lines = summarize(records);
    const Lines extraction =
        cleanRunSummaries(secure, "probe_launcher.exe", extractionTemporary(records, secure));
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 4), Lines(extraction.begin(), extraction.begin() + 4));
    // The clean-up removes the kFiles files, the payload and the directory: one record each, the first
    // ones lost while the log was held, the directory's (the last) written after it.
    const std::size_t cleanup = lines.size() - 4;
    const std::size_t dropped = kFiles + 2 - cleanup;
    EXPECT_GE(dropped, 1u);
    EXPECT_LE(dropped, 10u);
    EXPECT_EQ(lines.back(), extraction[5]);
    std::cout << "records dropped while the log was held: " << dropped << " of " << kFiles + 2 << std::endl;
}

// ---- A payload command line longer than Windows accepts

TEST(BadInput, PayloadCommandLineTooLongForWindowsFailsAndRemovesTheDirectory) {
    LaunchRun run(launcherPath("probe_launcher.exe"));
    // 16000 one-letter arguments: about 32000 characters as given, but each is quoted for the payload, which
    // makes its command line about 64000 characters long, beyond the 32767 that Windows takes.
    std::string commandLine = "\"" + run.launcher() + "\"";
    for (int i = 0; i < 16000; ++i)
        commandLine += " a";
    ASSERT_LT(commandLine.size(), 32767u);
    run.startRaw(commandLine);
    EXPECT_EQ(run.wait(), kFailure);
    EXPECT_FALSE(run.payloadRan());
    EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});
    const std::vector<ParsedRecord> log = run.records();
    ASSERT_EQ(log.size(), 7u) << testing::PrintToString(summarize(log));
    const std::string secure = reservedDirectory(log);
    // The directory is removed before the failure is reported.
    const Lines expected = cleanRunSummaries(secure, "probe_launcher.exe", extractionTemporary(log, secure));
    const Lines lines = summarize(log);
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 6), expected);
    EXPECT_EQ(log[6].level, "ERROR");
    EXPECT_EQ(log[6].function, kRun);
    const std::regex report(
        escapeRegex("Exception with message 'kiteboot.cpp(") + R"(\d+)" +
        escapeRegex(") at `anonymous-namespace'::execProcessWaitForFinish(): CreateProcess failed. "
                    "System error [87](" +
                    formatSystemError(ERROR_INVALID_PARAMETER) + ")' caught"));
    EXPECT_TRUE(std::regex_match(log[6].message, report)) << log[6].message;
}

}  // namespace
}  // namespace faults
