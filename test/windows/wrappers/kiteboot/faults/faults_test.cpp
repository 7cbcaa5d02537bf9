// The launcher under faults, end to end: real launchers under Wine given an unusable temporary
// directory, a payload that leaves a file held open, a secure directory changed between extraction and
// check, attempts to swap the directory or the payload while it runs, a log file held by another process,
// and a payload command line longer than Windows accepts. Each test checks the exit code, what is left on
// disk and the records the run wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iostream>
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

// A directory whose path is exactly length characters long, made inside parent.
std::string directoryOfLength(const std::string& parent, std::size_t length) {
    std::string path = parent;
    while (path.size() + 1 < length) {
        // Each step adds a separator and a name: never leave one character to go, which no step can add.
        const std::size_t remaining = length - path.size();
        std::size_t segment = std::min<std::size_t>(60, remaining - 1);
        if (remaining - 1 - segment == 1) --segment;
        path += '\\';
        path.append(segment, 'd');
        EXPECT_TRUE(CreateDirectoryW(testing_support::longPath(path).c_str(), nullptr)) << path;
    }
    EXPECT_EQ(path.size(), length);
    return path;
}

// Takes in directory every temporary name ("zor", a number from the tick count, ".tmp", 100 numbers on) that
// a launcher reading the tick count in [first, first + spanMs] can try, first being a tick count still to
// come when the taking ends; returns first. Empty files, as names left by other runs would be.
DWORD takeTemporaryNames(const std::string& directory, DWORD spanMs) {
    for (DWORD lead = 5000;; lead *= 2) {
        const DWORD first = GetTickCount() + lead;
        for (DWORD tick = first; tick != first + spanMs + 100; ++tick) {
            const std::string name = FileUtils::tempFileName("zor", tick, ".tmp");
            if (!testing_support::exists(FileUtils::joinPath(directory, name)))
                testing_support::writeFile(FileUtils::joinPath(directory, name), "");
        }
        if (static_cast<LONG>(GetTickCount() - first) < 0) return first;
    }
}

TEST(UnusableTemp, NoTemporaryNameFitsEndsWithTheCreateTempFileFailureLogged) {
    // Every name the launcher's tick count can give it is taken, while the log can still be written. (A
    // TEMP too deep for any name but not for the log no longer serves: Wine's wide file calls take paths
    // longer than MAX_PATH, and GetTempPath refuses a longer TEMP.)
    constexpr DWORD kSpanMs = 2000;
    TempDir work("kbwork");
    const DWORD first = takeTemporaryNames(work.path(), kSpanMs);
    const Lines taken = testing_support::listDirectory(work.path());
    while (static_cast<LONG>(GetTickCount() - first) < 0)
        Sleep(1);
    LaunchRun run(launcherPath("probe_launcher.exe"), work.path());
    EXPECT_EQ(run.run({"/s"}), kFailure);
    ASSERT_LE(GetTickCount() - first, kSpanMs) << "the launcher ran too late for the names taken for it";
    EXPECT_FALSE(run.payloadRan());
    Lines expectedEntries = taken;
    expectedEntries.insert(std::upper_bound(expectedEntries.begin(), expectedEntries.end(), "morvane.log"),
                           "morvane.log");
    EXPECT_EQ(run.tempEntries(), expectedEntries);
    const std::vector<ParsedRecord> log = run.records();
    ASSERT_EQ(log.size(), 1u) << testing::PrintToString(summarize(log));
    const std::regex report(escapeRegex("Exception with message 'FileUtils.cpp(") + R"(\d+)" +
                            escapeRegex(") at FileUtils::createTempFile(): createTempFile(zor, .tmp, " +
                                        work.path() + ") failed' caught"));
    EXPECT_EQ(log[0].level, "ERROR");
    EXPECT_EQ(log[0].function, kRun);
    EXPECT_TRUE(std::regex_match(log[0].message, report)) << log[0].message;
}

// A TEMP deep enough for the file that reserves the name but too deep for a directory that the file calls
// could still list and empty: the directory is refused, as CreateDirectory refuses it, and nothing is left.
TEST(UnusableTemp, TooDeepForTheSecureDirectoryIsRefusedAndLeavesOnlyTheLog) {
    TempDir work("kbwork");
    const std::string temp = directoryOfLength(work.path(), 240);
    LaunchRun run(launcherPath("probe_launcher.exe"), temp);
    EXPECT_EQ(run.run({"/s"}), kFailure);
    EXPECT_FALSE(run.payloadRan());
    EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});
    const std::vector<ParsedRecord> log = run.records();
    ASSERT_EQ(log.size(), 3u) << testing::PrintToString(summarize(log));
    const std::string secure = reservedDirectory(log);
    EXPECT_GT(secure.size(), 247u);
    EXPECT_EQ(summary(log[1]), summary("TRACE", kReserveDeleted, "Deleted [" + secure + "] file"));
    const std::regex report(
        escapeRegex("Exception with message 'kiteboot.cpp(") + R"(\d+)" +
        escapeRegex(") at `anonymous-namespace'::createSecureDirectory(): CreateDirectory(" + secure +
                    ") failed. System error [206](" + formatSystemError(ERROR_FILENAME_EXCED_RANGE) +
                    ")' caught"));
    EXPECT_TRUE(std::regex_match(log[2].message, report)) << log[2].message;
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
    const std::string leftover = summary("ERROR", kLeftover,
                                         "DeleteFile(" + held + ") failed. System error [32](" +
                                             formatSystemError(ERROR_SHARING_VIOLATION) + ")");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), leftover), 1) << testing::PrintToString(lines);
    for (const std::string& removed :
         {secure + "\\top.txt", secure + "\\sub\\beside.txt", secure + "\\sub\\deep\\x.txt",
          secure + "\\other\\y", report.modulePath}) {
        const char* function = removed == report.modulePath ? kPayloadDeleted : kChildDeleted;
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             summary("TRACE", function, "Deleted [" + removed + "] file")),
                  1)
            << removed;
    }
    for (const std::string& removed : {secure + "\\sub\\deep", secure + "\\other", secure + "\\empty"}) {
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             summary("TRACE", kChildDeleted, "Deleted [" + removed + "] directory")),
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
        std::vector<std::pair<bool, const char*>> removals;  // a directory?, relative path
    };
    const Case cases[] = {
        {"add:extra.dll", {{false, "extra.dll"}}},
        {"add:sub\\", {{true, "sub"}}},
        {"add:sub\\deeper\\setup.exe",
         {{false, "sub\\deeper\\setup.exe"}, {true, "sub\\deeper"}, {true, "sub"}}},
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
        Lines removals;
        removals.push_back(expectedRun[4]);
        for (const auto& [folder, relative] : c.removals) {
            const std::string path = secure + "\\" + relative;
            removals.push_back(
                summary("TRACE", kChildDeleted,
                        folder ? "Deleted [" + path + "] directory" : "Deleted [" + path + "] file"));
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

// An ordinary run reads the payload from the launcher's own file, proven to be the one it runs from.
TEST(Tampering, WithNothingAddedTheHookedLauncherRunsItsPayloadReadFromItsOwnFile) {
    LaunchRun run(launcherPath("hooked_launcher.exe"));
    run.options.environment[probe::kExitVariable] = "5";
    run.options.environment["KITEBOOT_TEST_SOURCE_RESULT"] = run.outside / "source.txt";
    EXPECT_EQ(run.run({"/s"}), 5u);
    EXPECT_EQ(testing_support::readFile(run.outside / "source.txt"), "module file");
    const probe::Report report = run.report();
    run.expectCleanRun(run.secureDirectory(report));
}

// The launcher runs from a folder its user can write, and a running image can be renamed: after it starts,
// another file may stand under its name. Extraction must not read that file: a payload in the image is
// read from the mapped image instead; a payload after the image has no copy in memory, so the run is
// refused before anything is written or started.
TEST(Tampering, ALauncherFileReplacedAfterStartIsNotRead) {
    const struct {
        const char* launcher;
        const char* source;  // where extraction read the payload; empty: refused
    } cases[] = {
        {"hooked_launcher.exe", "mapped image"},
        {"hooked_appended_launcher.exe", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.launcher);
        TempDir install("kbinstall");
        const std::string setup = install / "setup.exe";
        ASSERT_TRUE(CopyFileA(launcherPath(c.launcher).c_str(), setup.c_str(), TRUE));
        LaunchRun run(setup);
        // A launcher of the same build carrying another installer takes its place.
        run.options.environment["KITEBOOT_TEST_IMPOSTOR"] = launcherPath("kiteboot.exe");
        run.options.environment["KITEBOOT_TEST_IMPOSTOR_RESULT"] = run.outside / "impostor.txt";
        run.options.environment["KITEBOOT_TEST_SOURCE_RESULT"] = run.outside / "source.txt";
        run.options.environment[probe::kExitVariable] = "6";
        const unsigned long exitCode = run.run({"/s"});
        EXPECT_EQ(testing_support::readFile(run.outside / "impostor.txt"), "0");
        EXPECT_EQ(hashOfFile(setup), hashOfFile(launcherPath("kiteboot.exe")));
        if (*c.source == '\0') {
            EXPECT_EQ(exitCode, kFailure);
            EXPECT_FALSE(run.payloadRan());
            EXPECT_FALSE(testing_support::exists(run.outside / "source.txt"));
            EXPECT_EQ(run.tempEntries(), std::vector<std::string>{"morvane.log"});
            const std::vector<ParsedRecord> log = run.records();
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.back().level, "ERROR");
            EXPECT_NE(
                log.back().message.find("cannot read the payload: the bootstrapper's own file cannot be "
                                        "opened, or not proven to be the file it runs from"),
                std::string::npos)
                << log.back().message;
            continue;
        }
        EXPECT_EQ(exitCode, 6u);
        EXPECT_EQ(testing_support::readFile(run.outside / "source.txt"), c.source);
        const probe::Report report = run.report();
        EXPECT_EQ(report.imageHash, hashOfFile(launcherPath("probe_payload.exe")));
        run.expectCleanRun(run.secureDirectory(report));
    }
}

// ---- Swapping the secure directory or the payload while the run holds them

// The payload is held from its creation, so it cannot be removed before the check either.
// Another launcher of the same tick takes the reserved name once the run has given its file up and before
// the directory is made (here the test does, the run stopped after that record): the run leaves the name
// to it, reserves the next one and runs its payload.
TEST(NameReservation, ANameTakenBetweenItsReservationAndTheDirectoryIsLeftAndAnotherTaken) {
    LaunchRun run(launcherPath("hooked_launcher.exe"));
    run.options.environment[probe::kExitVariable] = "4";
    run.pauseAt("KITEBOOT_TEST_PAUSE_AFTER", "2");
    run.start({"/s"});
    run.waitUntilPaused();
    const std::string taken = reservedDirectory(run.records());
    ASSERT_FALSE(taken.empty());
    ASSERT_TRUE(CreateDirectoryA(taken.c_str(), nullptr)) << taken;
    run.resume();
    EXPECT_EQ(run.wait(), 4u);
    EXPECT_TRUE(run.payloadRan());
    EXPECT_EQ(run.tempEntries(), (Lines{"morvane.log", FileUtils::fileName(taken)}));
    EXPECT_EQ(testing_support::listDirectory(taken), Lines{});
    RemoveDirectoryA(taken.c_str());
}

TEST(Swapping, SecureDirectoryAndPayloadCannotBeRenamedOrRemovedBetweenExtractionAndCheck) {
    for (const char* tamper : {"move:swapped.tmp", "remove:"}) {
        SCOPED_TRACE(tamper);
        LaunchRun run(launcherPath("hooked_launcher.exe"));
        run.options.environment["KITEBOOT_TEST_TAMPER"] = tamper;
        run.options.environment["KITEBOOT_TEST_TAMPER_RESULT"] = run.outside / "tamper.txt";
        run.options.environment[probe::kExitVariable] = "9";
        EXPECT_EQ(run.run({"/s"}), 9u);
        EXPECT_EQ(testing_support::readFile(run.outside / "tamper.txt"),
                  std::to_string(ERROR_SHARING_VIOLATION));
        const probe::Report report = run.report();
        run.expectCleanRun(run.secureDirectory(report));
    }
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
    run.expectCleanRun(secure);
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
    // Opened for writing without write sharing, as another writer of the log would.
    UniqueHandle log(CreateFileA((run.temp() + "\\morvane.log").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                 nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(log.get(), INVALID_HANDLE_VALUE);
    run.release();
    // Held until the clean-up has removed two of the directory's files (the kFiles and the payload): it
    // tried to write the first removal's record, in vain, before the second removal. Each record given up
    // costs the launcher ten tries 1 ms apart, so the last one, the directory's, comes long after.
    const auto removed = [&] { return kFiles + 1 - testing_support::listDirectory(secure).size(); };
    for (int polls = 0; removed() < 2 && polls < 30000; ++polls)
        Sleep(1);
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
    EXPECT_EQ(lines.back(), extraction[5]);
    std::cout << "records dropped while the log was held: " << dropped << " of " << kFiles + 2 << std::endl;
}

// ---- A payload command line longer than Windows accepts

// The secure directory's name as a run starting now would reserve it (zor, the tick count, .tmp); its
// length changes only when the tick count gains a digit.
std::size_t secureNameLength() {
    return FileUtils::tempFileName("zor", GetTickCount(), ".tmp").size();
}

TEST(BadInput, PayloadCommandLineTooLongForWindowsFailsAndRemovesTheDirectory) {
    // The payload gets the launcher's arguments after its own path, so its command line is as much longer
    // than the launcher's as its path is. Far too long: with a TEMP deep enough that the payload path is
    // longer than the launcher's, a launcher command line of the 32766 characters Windows takes. Otherwise
    // arguments that make the payload's command line exactly one unit too long (32767 characters), or as
    // long as Windows takes, which starts it.
    struct Row {
        const char* what;
        bool deepTemp;
        std::size_t payloadLength;  // 0: as the deep TEMP makes it
    };
    const Row rows[] = {
        {"far too long", true, 0}, {"one unit too long", false, 32767}, {"the longest", false, 32766}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TempDir deep("kbdeep");
        std::string temp = deep.path();
        while (row.deepTemp && temp.size() <= launcherPath("probe_launcher.exe").size()) {
            temp += "\\" + std::string(32, 'd');
            ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr)) << temp;
        }
        LaunchRun run(launcherPath("probe_launcher.exe"), temp);
        const std::size_t nameLength = secureNameLength();
        const std::size_t payloadPath =
            temp.size() + 1 + nameLength + 1 + FileUtils::fileName(run.launcher()).size();
        // The program name, one blank, then arguments: the payload's command line is its quoted path, one
        // blank and the same arguments.
        std::string commandLine = "\"" + run.launcher() + "\" ";
        const std::size_t length =
            row.deepTemp ? 32766 : commandLine.size() + row.payloadLength - (payloadPath + 3);
        ASSERT_LE(length, 32766u) << "the launcher's path is longer than the payload's";
        while (commandLine.size() < length)
            commandLine += commandLine.back() == ' ' ? "a" : " ";
        run.startRaw(commandLine);
        if (row.payloadLength == 32766) {
            EXPECT_EQ(run.wait(), 0u);
            const probe::Report report = run.report();
            EXPECT_EQ(report.commandLine.size(), 32766u);
            run.expectCleanRun(run.secureDirectory(report));
            continue;
        }
        EXPECT_EQ(run.wait(), kFailure);
        EXPECT_FALSE(run.payloadRan());
        EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});
        const std::vector<ParsedRecord> log = run.records();
        ASSERT_EQ(log.size(), 7u) << testing::PrintToString(summarize(log));
        const std::string secure = reservedDirectory(log);
        if (!row.deepTemp) {
            ASSERT_EQ(FileUtils::fileName(secure).size(), nameLength)
                << "the tick count gained a digit: run again";
        }
        // The directory is removed before the failure is reported.
        const Lines expected =
            cleanRunSummaries(secure, "probe_launcher.exe", extractionTemporary(log, secure));
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
}

}  // namespace
}  // namespace launch_testing
