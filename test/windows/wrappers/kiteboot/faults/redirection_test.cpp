// The launcher against a program of the same user that redirects it through TEMP: TEMP is a link the
// attacker re-points (under Wine a Unix symbolic link stands in for a junction), or a link or a second name
// is planted where the log goes. The hooked launcher stops after a chosen record, as an oplock on the log
// would stop it, or the payload waits after its report; the test then acts. Every case must end with the
// real payload's exit code, started from the directory the launcher made, with nothing outside that
// directory written, created or deleted and nothing of it left.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "common/share/tstrings.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"
#include "windows/wrappers/kiteboot/LaunchRun.h"

namespace launch_testing {
namespace {

using testing_support::ParsedRecord;
using testing_support::TempDir;
using Lines = std::vector<std::string>;
using Snapshot = std::map<std::string, std::string>;  // relative path: content, "<dir>" for a directory

// The Unix path of a Windows path, through Wine's own export; empty where there is none.
std::string unixPath(const std::string& path) {
    using ToUnixFn = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnixFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!toUnix) return {};
    char* converted = toUnix(tstrings::fromUtf8(path).c_str());
    if (!converted) return {};
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

// Runs a Unix shell command (Wine starts Unix programs too) and waits for it.
void runShell(const std::string& command) {
    std::wstring commandLine = L"sh -c \"" + tstrings::fromUtf8(command) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(L"Z:\\bin\\sh", commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &info))
        << GetLastError();
    WaitForSingleObject(info.hProcess, 10000);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

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
};

struct Attack {
    const char* name;
    Road road;
    int pauseAfter;  // the record after which the launcher stops; 0: the payload waits after its report
};

std::string launcherPath(const char* name) {
    return testing_support::siblingProgram(name);
}

// One attack's ground: d1 (where TEMP points at first), d2 (the attacker's), outside (someone's files) and
// j, the link TEMP goes through.
class Ground {
public:
    Ground(const std::string& base, const std::string& baseUnix) : base_(base), baseUnix_(baseUnix) {
        for (const char* name : {"d1", "d2", "outside"})
            EXPECT_TRUE(CreateDirectoryA((base_ + "\\" + name).c_str(), nullptr));
        link("d1", "j");
        d1 = finalPathOf(path("d1"));
        EXPECT_EQ(finalPathOf(path("j")), d1);
    }

    std::string path(const std::string& relative) const { return base_ + "\\" + relative; }

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
        link("d2", "j");
        const std::string d2 = finalPathOf(path("d2"));
        for (int polls = 0; finalPathOf(path("j")) != d2 && polls < 1000; ++polls)
            Sleep(5);
        EXPECT_EQ(finalPathOf(path("j")), d2);
    }

    // The launcher's records so far, read where its log really is (its TEMP when it started).
    std::vector<ParsedRecord> records() const { return testing_support::readLogRecords(path("d1")); }

    // The name inside TEMP of a path through TEMP.
    std::string nameInTemp(const std::string& pathThroughTemp) const {
        return pathThroughTemp.substr(path("j\\").size());
    }

    std::string d1;

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
    };
    TempDir work("kbattack");
    const std::string workUnix = unixPath(work.path());
    if (workUnix.empty()) GTEST_SKIP() << "needs Wine to make Unix links";
    int index = 0;
    for (const Attack& attack : attacks) {
        SCOPED_TRACE(attack.name);
        const std::string base = "case" + std::to_string(++index);
        ASSERT_TRUE(CreateDirectoryA((work / base).c_str(), nullptr));
        const Ground ground(work / base, workUnix + "/" + base);
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
            ASSERT_EQ(testing_support::listDirectory(ground.path("d1")), d1Listing);
        }

        const Snapshot outsideBefore = snapshotOf(ground.path("outside"));
        LaunchRun run(launcherPath("hooked_launcher.exe"), ground.path("j"));
        run.options.environment[probe::kExitVariable] = "12";
        if (attack.pauseAfter > 0) {
            run.options.environment["KITEBOOT_TEST_PAUSE_AFTER"] = std::to_string(attack.pauseAfter);
            run.options.environment["KITEBOOT_TEST_PAUSED"] = run.outside / "paused";
            run.options.environment["KITEBOOT_TEST_RESUME"] = run.outside / "resume";
        } else {
            run.holdPayloadAfterReport();
        }
        run.start({"/s"});
        // The moment of the attack: the launcher stopped after its record, or the payload running.
        if (attack.pauseAfter > 0) {
            for (int polls = 0; !testing_support::exists(run.outside / "paused") && polls < 6000; ++polls)
                Sleep(5);
            const std::vector<ParsedRecord> log = ground.records();
            ASSERT_EQ(log.size(), static_cast<std::size_t>(attack.pauseAfter));
            const std::string secure = ground.nameInTemp(reservedDirectory(log));
            ASSERT_FALSE(secure.empty());
            if (attack.road == Road::RepointAfterTheMove) {
                ASSERT_TRUE(CreateDirectoryA((ground.path("d2\\") + secure).c_str(), nullptr));
                ASSERT_TRUE(CopyFileA(launcherPath("probe_payload.exe").c_str(),
                                      (ground.path("d2\\") + secure + "\\hooked_launcher.exe").c_str(),
                                      TRUE));
            } else if (attack.road == Road::RepointAfterTheReservingFile) {
                testing_support::writeFile(ground.path("d2\\") + secure, "theirs");
            } else {
                ASSERT_TRUE(CreateDirectoryA((ground.path("d2\\") + secure).c_str(), nullptr));
                testing_support::writeFile(ground.path("d2\\") + ground.nameInTemp(extractionTemporary(
                                                                     log, ground.path("j\\") + secure)),
                                           "");
            }
        } else {
            const probe::Report report = run.report();
            const std::string secure = FileUtils::fileName(FileUtils::parentPath(report.modulePath));
            ASSERT_TRUE(CreateDirectoryA((ground.path("d2\\") + secure).c_str(), nullptr));
            testing_support::writeFile(ground.path("d2\\") + secure + "\\theirs.txt", "theirs");
        }
        const bool repointed = !logLinked;
        if (repointed) ground.repointToD2();
        const Snapshot d2Before = snapshotOf(ground.path("d2"));
        if (attack.pauseAfter > 0) {
            testing_support::writeFile(run.outside / "resume", "");
        } else {
            run.release();
        }

        EXPECT_EQ(run.wait(), 12u);
        const probe::Report report = run.report();
        const std::string secure = FileUtils::parentPath(report.modulePath);
        EXPECT_EQ(FileUtils::parentPath(secure), ground.d1) << report.modulePath;
        EXPECT_EQ(report.imageHash, hashOfFile(launcherPath("probe_payload.exe")));
        EXPECT_EQ(snapshotOf(ground.path("d2")), d2Before);
        EXPECT_EQ(snapshotOf(ground.path("outside")), outsideBefore);
        EXPECT_EQ(testing_support::listDirectory(ground.path("d1")), d1Listing);
        if (!logLinked) {
            EXPECT_EQ(ground.records().size(), 6u) << run.logText();
        }
        if (testing::Test::HasFailure()) break;
    }
    // Removed from the Unix side: Windows file calls would follow the links.
    runShell("rm -rf '" + workUnix + "'/case*");
}

}  // namespace
}  // namespace launch_testing
