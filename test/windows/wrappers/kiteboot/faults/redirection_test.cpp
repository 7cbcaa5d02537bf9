// The launcher against a program of the same user that redirects it through TEMP: TEMP is a link the
// attacker re-points (under Wine a Unix symbolic link stands in for a junction), or a link or a second name
// is planted where the log goes or inside the secure directory, or TEMP leads to a directory whose name ends
// in a dot, beside the attacker's directory of the same name without it. The hooked launcher stops after a
// chosen record, as an oplock on the log would stop it, or the payload waits after its report; the test
// then acts. Every case must end with the real payload's exit code, started from the directory the launcher
// made, or with the start refused, with nothing outside that directory written, created or deleted and
// nothing of it left that the system lets the clean-up remove. The same holds for the removal of what earlier
// runs left: a killed run's directory goes, nothing else of its name (a link among them) is touched.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "common/share/tstrings.h"
#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "quoting/ArgumentQuoting.h"
#include "support/WineHost.h"
#include "windows/common/FileUtils.h"
#include "windows/wrappers/kiteboot/LaunchRun.h"

namespace launch_testing {
namespace {

using testing_support::ParsedRecord;
using testing_support::runShell;
using testing_support::TempDir;
using testing_support::unixPath;
using Lines = std::vector<std::string>;
using Snapshot = std::map<std::string, std::string>;  // relative path: content, "<dir>" for a directory

// The directory's own path as the system resolves it; empty when it cannot be opened.
std::string finalPathOf(const std::string& path) {
    UniqueHandle directory(CreateFileW(tstrings::fromUtf8(path).c_str(), 0, 7, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (directory.get() == INVALID_HANDLE_VALUE) return {};
    wchar_t buffer[1024];
    const DWORD length = GetFinalPathNameByHandleW(directory.get(), buffer, 1024, 0);
    if (length == 0 || length >= 1024) return {};
    return tstrings::toUtf8(std::wstring(buffer + 4, length - 4));  // without "\\?\"
}

// Everything below directory with its content.
void snapshot(const std::string& directory, const std::string& relative, Snapshot& out) {
    for (const std::string& name : testing_support::listDirectory(directory)) {
        const std::string path = directory + "\\" + name;
        const std::string key = relative.empty() ? name : relative + "\\" + name;
        if (testing_support::isDirectory(path)) {
            out[key] = "<dir>";
            snapshot(path, key, out);
        } else {
            out[key] = testing_support::readFile(path);
        }
    }
}

Snapshot snapshotOf(const std::string& directory) {
    Snapshot out;
    snapshot(directory, "", out);
    return out;
}

enum class Road {
    RepointAfterTheMove,           // another program under the payload's name behind the re-pointed link
    RepointWhileThePayloadRuns,    // a directory of someone else's under the secure directory's name
    SymbolicLinkAtTheLog,          // to a missing file: the log must not create it
    SymbolicLinkAtTheLogToAFile,   // to an existing file: the log must not write it
    HardLinkAtTheLog,              // a second name of a file elsewhere
    RepointAfterTheReservingFile,  // a file of someone else's under the reserved name
    RepointAfterTheTemporaryFile,  // a file of someone else's under the extraction's temporary name
    TrailingDot,                   // TEMP in X., another program under the payload's name in X
    LinkInsideTheSecureDirectory,  // a link to a file outside, planted while the payload runs
};

enum class Outcome {
    RealPayload,  // the real payload ran and its exit code came back
    Refused,      // nothing was started: exit -1, one ERROR record naming the path
};

struct Attack {
    const char* name;
    Road road;
    int pauseAfter;  // the record after which the launcher stops; 0: the payload waits after its report
    Outcome outcome = Outcome::RealPayload;
};

std::string launcherPath(const char* name) {
    return testing_support::siblingProgram(name);
}

// One attack's ground: the first directory (where TEMP points at first; d1, or X. for the trailing dot),
// the second (the attacker's; d2, or X), outside (someone's files) and j, the link TEMP goes through.
class Ground {
public:
    Ground(const std::string& base, const std::string& baseUnix, bool trailingDot)
        : first(trailingDot ? "X." : "d1"),
          second(trailingDot ? "X" : "d2"),
          base_(base),
          baseUnix_(baseUnix) {
        for (const std::string& name : {first, second, std::string("outside")})
            EXPECT_TRUE(CreateDirectoryA(path(name).c_str(), nullptr)) << name;
        link(first, "j");
        d1 = finalPathOf(path(first));
        EXPECT_EQ(finalPathOf(path("j")), d1);
    }

    // The Windows path of relative; in the long-path form, which keeps a trailing dot, where a name ends in
    // one.
    std::string path(const std::string& relative) const {
        const std::string full = base_ + "\\" + relative;
        return relative.find(".\\") != std::string::npos || relative.back() == '.' ? "\\\\?\\" + full : full;
    }

    // Makes (or atomically replaces) the symbolic link name pointing to target; returns once it is there.
    // A link to nothing is not seen by Windows calls under Wine; it is given a moment instead.
    void link(const std::string& target, const std::string& name, bool dangling = false) const {
        runShell("cd '" + baseUnix_ + "' && ln -s '" + target + "' '" + name + ".new' && mv -T '" + name +
                 ".new' '" + name + "'");
        if (dangling) {
            Sleep(200);
        } else {
            waitUntilPresent(name);
        }
    }

    void hardLink(const std::string& target, const std::string& name) const {
        runShell("cd '" + baseUnix_ + "' && ln '" + target + "' '" + name + "'");
        waitUntilPresent(name);
    }

    void repointToD2() const {
        link(second, "j");
        const std::string d2 = finalPathOf(path(second));
        for (int polls = 0; finalPathOf(path("j")) != d2 && polls < 1000; ++polls)
            Sleep(5);
        EXPECT_EQ(finalPathOf(path("j")), d2);
    }

    // The launcher's records so far, read where its log really is (its TEMP when it started).
    std::vector<ParsedRecord> records() const { return testing_support::readLogRecords(path(first)); }

    // The name inside TEMP of a path through TEMP.
    std::string nameInTemp(const std::string& pathThroughTemp) const {
        return pathThroughTemp.substr(path("j\\").size());
    }

    const std::string first;
    const std::string second;
    std::string d1;  // the first directory's own path as the system resolves it

private:
    // Wine may report a Unix program ended before it has: the result is waited for.
    void waitUntilPresent(const std::string& name) const {
        const std::string linkPath = path(name);
        std::string windowsName = linkPath;
        for (char& c : windowsName)
            if (c == '/') c = '\\';
        for (int polls = 0; !testing_support::exists(windowsName) && polls < 1000; ++polls)
            Sleep(5);
    }

    std::string base_;
    std::string baseUnix_;
};

TEST(Redirection, EveryRoadThroughTempEndsWithTheRealPayloadAndTouchesNothingElse) {
    const Attack attacks[] = {
        {"re-point after the move", Road::RepointAfterTheMove, 4},
        {"re-point while the payload runs", Road::RepointWhileThePayloadRuns, 0},
        {"symbolic link at the log, no target", Road::SymbolicLinkAtTheLog, 0},
        {"symbolic link at the log, a file", Road::SymbolicLinkAtTheLogToAFile, 0},
        {"hard link at the log", Road::HardLinkAtTheLog, 0},
        {"re-point after the reserving file", Road::RepointAfterTheReservingFile, 1},
        {"re-point after the temporary file", Road::RepointAfterTheTemporaryFile, 3},
        {"TEMP in a directory whose name ends in a dot", Road::TrailingDot, 4, Outcome::Refused},
        {"link to the outside in the secure directory", Road::LinkInsideTheSecureDirectory, 0},
    };
    TempDir work("kbattack");
    const std::string workUnix = unixPath(work.path());
    if (workUnix.empty()) GTEST_SKIP() << "needs Wine to make Unix links";
    int index = 0;
    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.name);
        const std::string base = "case" + std::to_string(++index);
        ASSERT_TRUE(CreateDirectoryA((work / base).c_str(), nullptr));
        const Ground ground(work / base, workUnix + "/" + base, attack.road == Road::TrailingDot);
        const std::string theirs = ground.path(ground.second + "\\");
        testing_support::writeFile(ground.path("outside\\theirs.cmd"), "echo theirs");
        const bool logLinked = attack.road == Road::SymbolicLinkAtTheLog ||
                               attack.road == Road::SymbolicLinkAtTheLogToAFile ||
                               attack.road == Road::HardLinkAtTheLog;
        if (attack.road == Road::SymbolicLinkAtTheLog)
            ground.link("../outside/new.cmd", "d1/morvane.log", true);
        if (attack.road == Road::SymbolicLinkAtTheLogToAFile) {
            ground.link("../outside/theirs.cmd", "d1/morvane.log");
        }
        if (attack.road == Road::HardLinkAtTheLog) ground.hardLink("outside/theirs.cmd", "d1/morvane.log");
        // What the log's directory shows from Windows: a link to nothing is not listed under Wine.
        const Lines d1Listing = attack.road == Road::SymbolicLinkAtTheLog ? Lines{} : Lines{"morvane.log"};
        if (logLinked) {
            ASSERT_EQ(testing_support::listDirectory(ground.path(ground.first)), d1Listing);
        }

        const Snapshot outsideBefore = snapshotOf(ground.path("outside"));
        LaunchRun run(launcherPath("hooked_launcher.exe"), ground.path("j"));
        run.options.environment[probe::kExitVariable] = "12";
        if (attack.pauseAfter > 0) {
            run.pauseAt("KITEBOOT_TEST_PAUSE_AFTER", std::to_string(attack.pauseAfter));
        } else {
            run.holdPayloadAfterReport();
        }
        run.start({"/s"});
        // The moment of the attack: the launcher stopped after its record, or the payload running.
        if (attack.pauseAfter > 0) {
            run.waitUntilPaused();
            const std::vector<ParsedRecord> log = ground.records();
            ASSERT_EQ(log.size(), static_cast<std::size_t>(attack.pauseAfter));
            const std::string secure = ground.nameInTemp(reservedDirectory(log));
            ASSERT_FALSE(secure.empty());
            if (attack.road == Road::RepointAfterTheMove || attack.road == Road::TrailingDot) {
                ASSERT_TRUE(CreateDirectoryA((theirs + secure).c_str(), nullptr));
                ASSERT_TRUE(CopyFileA(launcherPath("probe_payload.exe").c_str(),
                                      (theirs + secure + "\\hooked_launcher.exe").c_str(), TRUE));
            } else if (attack.road == Road::RepointAfterTheReservingFile) {
                testing_support::writeFile(theirs + secure, "theirs");
            } else {
                ASSERT_TRUE(CreateDirectoryA((theirs + secure).c_str(), nullptr));
                testing_support::writeFile(
                    theirs + ground.nameInTemp(extractionTemporary(log, ground.path("j\\") + secure)), "");
            }
        } else {
            const probe::Report report = run.report();
            const std::string secure = FileUtils::fileName(FileUtils::parentPath(report.modulePath));
            if (attack.road == Road::LinkInsideTheSecureDirectory) {
                ground.link("../../outside/theirs.cmd", ground.first + "/" + secure + "/link");
            } else {
                ASSERT_TRUE(CreateDirectoryA((theirs + secure).c_str(), nullptr));
                testing_support::writeFile(theirs + secure + "\\theirs.txt", "theirs");
            }
        }
        const bool repointed = !logLinked && attack.road != Road::TrailingDot &&
                               attack.road != Road::LinkInsideTheSecureDirectory;
        if (repointed) ground.repointToD2();
        const Snapshot theirsBefore = snapshotOf(ground.path(ground.second));
        if (attack.pauseAfter > 0) {
            run.resume();
        } else {
            run.release();
        }

        if (attack.outcome == Outcome::Refused) {
            EXPECT_EQ(run.wait(), kFailure);
            EXPECT_FALSE(run.payloadRan()) << testing_support::readFile(run.outside / "report.txt");
        } else {
            EXPECT_EQ(run.wait(), 12u);
            const probe::Report report = run.report();
            const std::string secure = FileUtils::parentPath(report.modulePath);
            EXPECT_EQ(FileUtils::parentPath(secure), ground.d1) << report.modulePath;
            EXPECT_EQ(report.imageHash, hashOfFile(launcherPath("probe_payload.exe")));
        }
        EXPECT_EQ(snapshotOf(ground.path(ground.second)), theirsBefore);
        EXPECT_EQ(snapshotOf(ground.path("outside")), outsideBefore);
        if (attack.road == Road::LinkInsideTheSecureDirectory) {
            // Wine follows the link even where it is asked to open it as itself, so the clean-up can only
            // leave it, and the directory with it, and report it; on Windows it opens and removes the link.
            const std::vector<ParsedRecord> log = ground.records();
            ASSERT_EQ(log.size(), 6u) << run.logText();
            const std::string secure = reservedDirectory(log);
            EXPECT_EQ(testing_support::listDirectory(ground.path(ground.first)),
                      (Lines{"morvane.log", ground.nameInTemp(secure)}));
            EXPECT_EQ(summary(log[5]),
                      summary("ERROR", kLeftover,
                              "DeleteFile(" + secure + "\\link) failed. System error [1920](" +
                                  formatSystemError(ERROR_CANT_ACCESS_FILE) + ")"));
            // Removed from the Unix side at once (Windows calls would follow the link), not with the rest at
            // the end: left until then, the test program's later output was seen lost under Wine.
            runShell("rm -rf '" + workUnix + "/" + base + "/" + ground.first + "/" +
                     ground.nameInTemp(secure) + "'");
        } else {
            EXPECT_EQ(testing_support::listDirectory(ground.path(ground.first)), d1Listing);
        }
        if (!logLinked && attack.road != Road::LinkInsideTheSecureDirectory) {
            EXPECT_EQ(ground.records().size(), attack.outcome == Outcome::Refused ? 7u : 6u) << run.logText();
        }
        if (attack.outcome == Outcome::Refused) {
            // The refusal names the path and why: the directory held on it is not the launcher's.
            const std::vector<ParsedRecord> log = ground.records();
            ASSERT_GE(log.size(), 5u);
            EXPECT_EQ(log[4].level, "ERROR");
            const std::regex refusal(
                R"(Payload path \[.*\] does not name the extracted payload, exiting\.\.\. )" +
                escapeRegex("System error [1920](" + formatSystemError(ERROR_CANT_ACCESS_FILE) + ")"));
            EXPECT_TRUE(std::regex_match(log[4].message, refusal)) << log[4].message;
        }
        if (testing::Test::HasFailure()) break;
    }
    // Removed from the Unix side: Windows file calls would follow the links.
    runShell("rm -rf '" + workUnix + "'/case*");
}

// Waits until the process with this id has ended.
void waitForProcessId(unsigned long processId) {
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(processId)));
    if (process.get()) {
        EXPECT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
    }
}

// A snapshot of temp without the log, each file's content by its hash (the payloads are large).
Snapshot tempSnapshot(const std::string& temp) {
    Snapshot snapshot = snapshotOf(temp);
    snapshot.erase("morvane.log");
    for (auto& [path, content] : snapshot) {
        if (content == "<dir>") continue;
        probe::Fnv1a hash;
        hash.add(content.data(), content.size());
        content = hash.hex();
    }
    return snapshot;
}

// The records one process wrote.
std::vector<ParsedRecord> recordsOf(const std::vector<ParsedRecord>& records, unsigned long processId) {
    std::vector<ParsedRecord> found;
    for (const ParsedRecord& record : records)
        if (record.processId == processId) found.push_back(record);
    return found;
}

// A run killed after extraction leaves its directory; the next run removes it after its payload has ended.
// Directories of the same name that are not provably its are left exactly as they were: a plain directory
// of the user's, a link to a directory outside, one a live launcher holds, one whose payload still runs.
// Under Wine no directory reports Administrators as its owner, so the test launcher's hook declares the
// launchers' directories and the link to carry the secure directory's descriptor (KITEBOOT_TEST_OURS): the
// rows show every other rule, and that the link and the held ones are refused before that decision.
TEST(Leftovers, AKilledRunsDirectoryGoesWithTheNextRunNothingElseOfItsName) {
    TempDir work("kbleft");
    const std::string workUnix = unixPath(work.path());
    if (workUnix.empty()) GTEST_SKIP() << "needs Wine to make Unix links";
    const std::string temp = work / "temp";
    ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((work / "outside").c_str(), nullptr));
    testing_support::writeFile(work / "outside\\theirs.txt", "theirs");
    const std::string launcher = launcherPath("hooked_launcher.exe");
    const auto secureName = [](LaunchRun& run) {
        run.holdPayloadAfterReport();
        run.start({"/s"});
        return FileUtils::fileName(FileUtils::parentPath(run.report().modulePath));
    };

    LaunchRun killed(launcher, temp);
    const std::string killedName = secureName(killed);
    const unsigned long killedPayload = killed.report().processId;
    killed.terminate();
    killed.release();
    waitForProcessId(killedPayload);
    ASSERT_EQ(testing_support::listDirectory(temp + "\\" + killedName), Lines{"hooked_launcher.exe"});
    LaunchRun orphaned(launcher, temp);  // killed while its payload runs on
    const std::string orphanedName = secureName(orphaned);
    orphaned.terminate();
    LaunchRun live(launcher, temp);
    const std::string liveName = secureName(live);
    ASSERT_TRUE(CreateDirectoryA((temp + "\\zor11.tmp").c_str(), nullptr));
    testing_support::writeFile(temp + "\\zor11.tmp\\hooked_launcher.exe", "the user's");
    runShell("ln -s ../outside '" + workUnix + "/temp/zor12.tmp'");
    for (int polls = 0; !testing_support::exists(temp + "\\zor12.tmp\\theirs.txt") && polls < 1000; ++polls)
        Sleep(5);
    const Snapshot outsideBefore = snapshotOf(work / "outside");
    const Snapshot before = tempSnapshot(temp);

    LaunchRun next(launcher, temp);
    next.options.environment["KITEBOOT_TEST_OURS"] =
        killedName + "|" + orphanedName + "|" + liveName + "|zor12.tmp";
    next.options.environment["KITEBOOT_TEST_OURS_ASKED"] = next.outside / "asked.txt";
    next.options.environment[probe::kExitVariable] = "5";
    EXPECT_EQ(next.run({"/s"}), 5u);

    Snapshot expected = before;
    expected.erase(killedName);
    expected.erase(killedName + "\\hooked_launcher.exe");
    EXPECT_EQ(tempSnapshot(temp), expected);
    EXPECT_EQ(snapshotOf(work / "outside"), outsideBefore);
    // The user's directory got as far as the decision (and was not ours); the link and the held ones did not.
    Lines asked;
    std::istringstream askedText(testing_support::readFile(next.outside / "asked.txt"));
    for (std::string name; std::getline(askedText, name);)
        asked.push_back(name);
    std::sort(asked.begin(), asked.end());
    Lines expectedAsked = {killedName, "zor11.tmp"};
    std::sort(expectedAsked.begin(), expectedAsked.end());
    EXPECT_EQ(asked, expectedAsked);
    // The next run's own records, then the removal of the killed run's directory with the clean-up's texts.
    const std::string nextSecure = FileUtils::parentPath(next.report().modulePath);
    const std::vector<ParsedRecord> all = testing_support::readLogRecords(temp);
    const auto moved = std::find_if(all.begin(), all.end(), [&](const ParsedRecord& record) {
        return record.message.find(nextSecure + "\\hooked_launcher.exe'") != std::string::npos;
    });
    ASSERT_NE(moved, all.end());
    const std::vector<ParsedRecord> log = recordsOf(all, moved->processId);
    Lines lines = cleanRunSummaries(nextSecure, "hooked_launcher.exe", extractionTemporary(log, nextSecure));
    const std::string killedPath = temp + "\\" + killedName;
    lines.push_back(
        summary("TRACE", kChildDeleted, "Deleted [" + killedPath + "\\hooked_launcher.exe] file"));
    lines.push_back(
        summary("TRACE", "`anonymous-namespace'::removeLeftover", "Deleted [" + killedPath + "] directory"));
    EXPECT_EQ(summarize(log), lines);

    orphaned.release();
    live.release();
    EXPECT_EQ(live.wait(), 0u);
    runShell("rm '" + workUnix + "/temp/zor12.tmp'");
}

// The window between the check of the start path and the start: the launcher stops there (the test hook) and
// the user's program (rename_racer.exe, a Windows program) renames directories of the start path with
// MoveFileExW in a loop, as it could at that moment of any run: TEMP itself, to put its own directory with
// zor<N>.tmp\<launcher name> (another program) under TEMP's name, the directory above it, and the secure
// directory. (Above those, the directories are held the same way; renaming them here would pull the prefix
// away from the other tests.)
TEST(Redirection, NoDirectoryOfTheStartPathCanBeRenamedBetweenTheCheckAndTheStart) {
    TempDir work("kbrace");
    const std::string temp = work / "t";
    const std::string decoy = work / "decoy";
    ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(decoy.c_str(), nullptr));
    LaunchRun run(launcherPath("hooked_launcher.exe"), temp);
    run.options.environment[probe::kExitVariable] = "12";
    run.pauseAt("KITEBOOT_TEST_PAUSE_BEFORE_START", "1");
    run.start({"/s"});
    ASSERT_TRUE(run.waitUntilPaused());
    const std::string secure = reservedDirectory(run.records());
    ASSERT_FALSE(secure.empty());
    // Another program under the payload's name: the probe with bytes of its own after the image.
    const std::string theirs = decoy + "\\" + FileUtils::fileName(secure);
    ASSERT_TRUE(CreateDirectoryA(theirs.c_str(), nullptr));
    testing_support::writeFile(theirs + "\\hooked_launcher.exe",
                               testing_support::readFile(launcherPath("probe_payload.exe")) + "theirs");

    const std::string racer = testing_support::siblingProgram("rename_racer.exe");
    const std::string result = run.outside / "racer.txt";
    const UniqueHandle racing = testing_support::startProcessRaw(
        racer, quoteCommandLine(racer, {result, run.outside / "stop", decoy, temp, work.path(), secure}));
    Sleep(300);
    testing_support::writeFile(run.outside / "stop", "");
    EXPECT_EQ(testing_support::waitForProcess(racing, racer, 60000), 0u);
    const std::string raced = testing_support::readFile(result);
    EXPECT_TRUE(std::regex_match(raced, std::regex(R"(refused [1-9]\d* 32)"))) << raced;
    run.resume();

    EXPECT_EQ(run.wait(), 12u);
    const probe::Report report = run.report();
    EXPECT_EQ(report.imageHash, hashOfFile(launcherPath("probe_payload.exe"))) << report.modulePath;
    EXPECT_EQ(report.modulePath, secure + "\\hooked_launcher.exe");
    if (raced != "won") run.expectCleanRun(secure);
}

}  // namespace
}  // namespace launch_testing
