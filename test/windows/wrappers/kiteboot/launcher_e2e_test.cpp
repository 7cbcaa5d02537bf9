// The launcher end to end: real launcher executables around the probe payload, each started with a
// temporary directory of its own, checked by what the payload reports, the exit code, what is left on
// disk and the log the run wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "common/share/hashing/Sha256.h"
#include "common/share/tstrings.h"
#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "programs/probe_report.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/WineHost.h"
#include "windows/common/FileUtils.h"
#include "windows/wrappers/kiteboot/LaunchRun.h"

namespace launch_testing {
namespace {

using testing_support::ParsedRecord;
using testing_support::TempDir;

std::string launcherPath(const std::string& name) {
    return testing_support::siblingProgram(name);
}

// ---- Exit codes

TEST(LauncherExitCode, PayloadExitCodeComesBackUnchanged) {
    for (const unsigned long code : {0ul, 1ul, 42ul, 0xC0000005ul, 0x80000000ul, 0xFFFFFFFEul}) {
        SCOPED_TRACE(testing::Message() << "exit code 0x" << std::hex << code);
        LaunchRun run(launcherPath("probe_launcher.exe"));
        run.options.environment[probe::kExitVariable] = std::to_string(code);
        EXPECT_EQ(run.run(), code);
        const probe::Report report = run.report();
        run.expectCleanRun(run.secureDirectory(report));
    }
}

TEST(LauncherExitCode, CrashOfThePayloadComesBackAsItsExceptionCode) {
    LaunchRun run(launcherPath("probe_launcher.exe"));
    run.options.environment[probe::kCrashVariable] = "1";
    EXPECT_EQ(run.run(), 0xC0000005ul);
    const probe::Report report = run.report();
    run.expectCleanRun(run.secureDirectory(report));
}

// ---- Arguments

// The payload's argument vector, element 0 (its own path) left out.
std::vector<std::string> payloadArguments(const probe::Report& report) {
    if (report.arguments.empty()) return {};
    return std::vector<std::string>(report.arguments.begin() + 1, report.arguments.end());
}

void expectArgumentsArrive(const std::vector<std::string>& arguments) {
    LaunchRun run(launcherPath("probe_launcher.exe"));
    ASSERT_EQ(run.run(arguments), 0u);
    const probe::Report report = run.report();
    EXPECT_EQ(payloadArguments(report), arguments);
    ASSERT_FALSE(report.arguments.empty());
    EXPECT_EQ(report.arguments[0], report.modulePath);
    run.expectCleanRun(run.secureDirectory(report));
}

TEST(LauncherArguments, ArriveExactly) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"with space", "two  spaces", " leading and trailing ", "\ttab"},
        {"", "between", "", ""},
        {"a\"b", "\"", "\"quoted\"", "\"\"", "say \"hi\" twice \"\""},
        {"INSTALLDIR=C:\\Program Files\\App\\", "\\", "\\\\", "C:\\", "end\\\\\\"},
        {"\\\"", "a\\\"b", "a\\\\\"b", "\\\\\\\"\\\\", "\\server\\share\\"},
        {"*", "*.exe", "a?c", "%PATH%", "^&|<>()"},
        {"/s", "INSTALL_SILENT=Enable", "INSTALL_SILENT=1", "/S", "INSTALL_SILENT=0"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        expectArgumentsArrive(arguments);
    }
}

TEST(LauncherArguments, NonAsciiTextArrivesExactly) {
    const std::vector<std::vector<std::string>> cases = {
        {"Привет, мир", "INSTALLDIR=C:\\Программы\\Приложение\\"},
        {"中文参数", "安装目录=D:\\软件\\应用", "mixed Ünïcödé 日本語 ёЁ"},
    };
    for (const std::vector<std::string>& arguments : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        expectArgumentsArrive(arguments);
    }
}

// With the UTF-8 code page the manifest asks for, and with the locale's code page as on Windows before 10
// 1903, which ignores that request (the second launcher's manifest lacks it; its hook tells the code page
// it ran with, so the case cannot pass on a system that granted UTF-8 after all).
TEST(LauncherPayload, TemporaryDirectoryAndLauncherNameOutsideTheAnsiCodePage) {
    for (const bool utf8CodePage : {true, false}) {
        const std::string launcher = utf8CodePage ? "probe_launcher.exe" : "legacy_code_page_launcher.exe";
        SCOPED_TRACE(launcher);
        TempDir install("kbsetup");
        const std::string name = "установка 安装.exe";
        const std::string setup = install / name;
        ASSERT_TRUE(CopyFileA(launcherPath(launcher).c_str(), setup.c_str(), TRUE));
        TempDir temp("kbtemp Временные 临时");
        LaunchRun run(setup, temp.path());
        run.options.environment[probe::kInheritedVariable] = "Значение 值";
        const std::string codePage = run.outside / "code-page.txt";
        run.options.environment["KITEBOOT_TEST_CODE_PAGE_RESULT"] = codePage;
        const std::vector<std::string> arguments = {"Ёж", "安装目录=D:\\软件\\", "emoji 😀 🎉"};
        ASSERT_EQ(run.run(arguments), 0u);
        if (!utf8CodePage) {
            ASSERT_TRUE(testing_support::exists(codePage));
            EXPECT_NE(testing_support::readFile(codePage), std::to_string(CP_UTF8));
        }
        const probe::Report report = run.report();
        EXPECT_EQ(payloadArguments(report), arguments);
        ASSERT_FALSE(report.arguments.empty());
        EXPECT_EQ(report.arguments[0], report.modulePath);
        EXPECT_EQ(report.inherited, "Значение 值");
        run.expectCleanRun(run.secureDirectory(report));
    }
}

// The payload's command line is its quoted path and, after one space, what the user typed after the
// launcher's name, untouched: doubled blanks, a tab, an unquoted switch and a switch with quotes inside.
TEST(LauncherArguments, TypedCommandLineArrivesByteForByteAfterThePayloadPath) {
    const std::string typed =
        "/S  INSTALLDIR=C:\\Program Files\\App\t/v\"/qn INSTALLDIR=\\\"C:\\Program Files\\X\\\"\" ";
    LaunchRun run(launcherPath("probe_launcher.exe"));
    run.startRaw("\"" + run.launcher() + "\"  " + typed);
    ASSERT_EQ(run.wait(), 0u);
    const probe::Report report = run.report();
    EXPECT_EQ(report.commandLine, "\"" + report.modulePath + "\" " + typed);
    const std::vector<std::string> expected = {"/S", "INSTALLDIR=C:\\Program", "Files\\App",
                                               "/v/qn INSTALLDIR=\"C:\\Program Files\\X\""};
    EXPECT_EQ(payloadArguments(report), expected);

    LaunchRun bare(launcherPath("probe_launcher.exe"));
    ASSERT_EQ(bare.run(), 0u);
    const probe::Report bareReport = bare.report();
    EXPECT_EQ(bareReport.commandLine, "\"" + bareReport.modulePath + "\"");
}

TEST(LauncherArguments, UnquotedArgumentsAsTheRuntimeSplitThem) {
    LaunchRun run(launcherPath("probe_launcher.exe"));
    run.startRaw("\"" + run.launcher() +
                 "\" one \"two words\" \"\" \"three \\\"quoted\\\"\" * back\\slash\\");
    ASSERT_EQ(run.wait(), 0u);
    const std::vector<std::string> expected = {"one", "two words",    "", "three \"quoted\"",
                                               "*",   "back\\slash\\"};
    EXPECT_EQ(payloadArguments(run.report()), expected);
}

// A real installer made by makensis reads its raw command line: /S counts only bare, and /D= must come
// last, unquoted, with its spaces. Through the launcher it installs silently where it was told to.
TEST(LauncherArguments, RealInstallerReadingItsRawCommandLineBehavesAsIfStartedDirectly) {
    const std::string launcher = launcherPath("nsis_launcher.exe");
    if (!testing_support::exists(launcher)) GTEST_SKIP() << "makensis was missing when the tests were built";
    TempDir target("kbnsis");
    const std::string installDirectory = target / "Acme App 4.2";
    LaunchRun run(launcher);
    run.startRaw("\"" + launcher + "\" /S /D=" + installDirectory);
    EXPECT_EQ(run.wait(), 5u);
    EXPECT_EQ(testing_support::readFile(installDirectory + "\\installed.txt"), "silent");
    EXPECT_EQ(run.tempEntries(), std::vector<std::string>{"morvane.log"});
}

// ---- Where and how the payload runs

// The payload as resource 100, and carried after the image (as an installer too large for a 2 GiB image
// is), read from the launcher's own file and hashed on the way.
TEST(LauncherPayload, RunsFromTheSecureDirectoryUnderTheLauncherName) {
    for (const char* launcher : {"probe_launcher.exe", "appended_probe_launcher.exe"}) {
        SCOPED_TRACE(launcher);
        TempDir install("kbsetup");
        const std::string setup = install / "setup.exe";
        ASSERT_TRUE(CopyFileA(launcherPath(launcher).c_str(), setup.c_str(), TRUE));
        LaunchRun run(setup);
        run.options.environment[probe::kInheritedVariable] = "from the launcher's environment";
        ASSERT_EQ(run.run({"/s"}), 0u);
        const probe::Report report = run.report();

        const std::string secureDirectory = run.secureDirectory(report);
        EXPECT_EQ(report.currentDirectory, secureDirectory);
        EXPECT_TRUE(report.hasInherited);
        EXPECT_EQ(report.inherited, "from the launcher's environment");
        // The payload's own file holds exactly the bytes of the embedded installer.
        const std::string probeFile = testing_support::siblingProgram("probe_payload.exe");
        EXPECT_EQ(report.imageSize, testing_support::readFile(probeFile).size());
        EXPECT_EQ(report.imageHash, hashOfFile(probeFile));
        run.expectCleanRun(secureDirectory);
    }
}

TEST(LauncherPayload, ProcessesStartedByThePayloadAreNotWaitedFor) {
    LaunchRun run(launcherPath("probe_launcher.exe"));
    const std::string childReport = run.outside / "child-report.txt";
    const std::string release = run.outside / "release";
    run.options.environment[probe::kSpawnVariable] = testing_support::siblingProgram("probe_payload.exe");
    run.options.environment[probe::kSpawnReportVariable] = childReport;
    run.options.environment[probe::kSpawnWaitForVariable] = release;
    // A launcher that waited for the grandchild would run into this time-out: the grandchild waits for
    // the release file, which is made only after the launcher has returned.
    run.options.timeoutMs = 20000;
    run.options.environment[probe::kExitVariable] = "7";
    EXPECT_EQ(run.run(), 7u);
    EXPECT_FALSE(testing_support::exists(childReport));
    const probe::Report report = run.report();
    run.expectCleanRun(run.secureDirectory(report));

    testing_support::writeFile(release, "");
    for (int i = 0; i < 500 && !testing_support::exists(childReport); ++i)
        Sleep(20);
    ASSERT_TRUE(testing_support::exists(childReport)) << "the grandchild did not finish";
    EXPECT_NE(probe::parseReport(testing_support::readFile(childReport)).processId, report.processId);
}

TEST(LauncherPayload, PayloadOf151MiBIsExtractedAndRun) {
    LaunchRun run(launcherPath("big_probe_launcher.exe"));
    run.options.environment[probe::kExitVariable] = "42";
    ASSERT_EQ(run.run(), 42u);
    const probe::Report report = run.report();
    EXPECT_EQ(report.imageSize, 151ull << 20);
    EXPECT_EQ(report.imageHash, hashOfFile(testing_support::siblingProgram("probe_payload_151m.exe")));
    run.expectCleanRun(run.secureDirectory(report));
}

// ---- Every form of TEMP

// The 8.3 form of an existing path; empty when the system gives none.
std::string shortForm(const std::string& path) {
    const std::wstring wide = testing_support::longPath(path);
    wchar_t buffer[1024];
    const DWORD length = GetShortPathNameW(wide.c_str(), buffer, 1024);
    if (length == 0 || length >= 1024) return {};
    std::string text = tstrings::toUtf8(std::wstring(buffer, length));
    return text.rfind("\\\\?\\", 0) == 0 ? text.substr(4) : text;
}

// A directory below parent whose path is longer than MAX_PATH.
std::string directoryPastMaxPath(const std::string& parent) {
    std::string path = parent;
    while (path.size() <= MAX_PATH + 20) {
        path += "\\" + std::string(40, 'l');
        EXPECT_TRUE(CreateDirectoryW(testing_support::longPath(path).c_str(), nullptr)) << path;
    }
    return path;
}

// However TEMP is written, the launcher makes its directory and its log in that very directory, names them
// there in its records (joined with one separator), runs the payload and leaves only the log: a drive
// root (a RAM disk as R:\), with the current directory on that drive or on another one; the root of a
// network share (Wine reaches it through its prefix and reports it local; Windows refuses a remote volume);
// separators doubled at the end; forward slashes; and the 8.3 form of a directory whose real path is longer
// than MAX_PATH, whose final path Wine cannot give (GetFinalPathNameByHandleW fails with 234 past MAX_PATH).
TEST(LauncherTempForms, TheDirectoryAndTheLogLieInTempAndTheRecordsNameThemThere) {
    enum class Form {
        DriveRootCwdThere,
        DriveRootCwdElsewhere,
        ShareRoot,
        DoubledSeparators,
        ForwardSlashes,
        ShortForm
    };
    const std::pair<Form, const char*> rows[] = {
        {Form::DriveRootCwdThere, "drive root, current directory on that drive"},
        {Form::DriveRootCwdElsewhere, "drive root, current directory on another drive"},
        {Form::ShareRoot, "root of a network share (Wine's unc device folder)"},
        {Form::DoubledSeparators, "separators doubled at the end"},
        {Form::ForwardSlashes, "forward slashes"},
        {Form::ShortForm, "8.3 form of a path past MAX_PATH"},
    };
    for (const auto& [form, what] : rows) {
        SCOPED_TRACE(what);
        TempDir base("kbplace");
        TempDir elsewhere("kbcwd");
        ASSERT_TRUE(CreateDirectoryA((base / "sub").c_str(), nullptr));
        std::string place = base.path();   // where the run's files really are
        std::string temp;                  // TEMP as the launcher is given it
        std::string named = place + "\\";  // the secure directory's parent as the records name it
        std::string cwd = elsewhere.path();
        std::unique_ptr<testing_support::DeviceLink> device;
        if (form == Form::DriveRootCwdThere || form == Form::DriveRootCwdElsewhere ||
            form == Form::ShareRoot) {
            device = form == Form::ShareRoot
                         ? std::make_unique<testing_support::DeviceLink>("unc/kbserver/kbshare",
                                                                         "\\\\kbserver\\kbshare\\", place)
                         : std::make_unique<testing_support::DeviceLink>("t:", "T:\\", place);
            ASSERT_TRUE(device->ok()) << "cannot map " << place << " (needs Wine's prefix)";
            temp = named = device->root();
            if (form == Form::DriveRootCwdThere) cwd = device->root() + "sub";
        } else if (form == Form::DoubledSeparators) {
            temp = place + "\\\\\\";
        } else if (form == Form::ForwardSlashes) {
            temp = place + "/";
            std::replace(temp.begin(), temp.end(), '\\', '/');
        } else {
            place = directoryPastMaxPath(base.path());
            temp = shortForm(place);
            ASSERT_FALSE(temp.empty()) << place;
            ASSERT_LT(temp.size(), 200u) << temp;
            named = temp + "\\";
        }
        SCOPED_TRACE(temp);
        LaunchRun run(launcherPath("probe_launcher.exe"), temp);
        run.options.currentDirectory = cwd;
        run.options.environment[probe::kExitVariable] = "5";
        // Wine's CreateProcessW first widens the path it is given into a MAX_PATH buffer (GetLongPathNameW),
        // so an image whose real path passes MAX_PATH is started only by chance: the start may fail, which
        // must then be logged. Windows starts it by the 8.3 form.
        const unsigned long exitCode = run.run({"/s"});
        const bool starts = exitCode == 5u;
        if (!starts) {
            EXPECT_TRUE(form == Form::ShortForm && exitCode == kFailure) << exitCode;
        }
        if (form == Form::ShortForm)
            std::cout << what << ": " << (starts ? "started" : "start failed") << std::endl;
        using Lines = std::vector<std::string>;
        if (form == Form::ShortForm) {
            EXPECT_EQ(testing_support::listDirectory(base.path()), (Lines{std::string(40, 'l'), "sub"}));
        }
        EXPECT_EQ(testing_support::listDirectory(place),
                  form == Form::ShortForm ? Lines{"morvane.log"} : (Lines{"morvane.log", "sub"}));
        EXPECT_EQ(testing_support::listDirectory(base / "sub"), Lines{});
        EXPECT_EQ(testing_support::listDirectory(elsewhere.path()), Lines{});

        const std::vector<ParsedRecord> log = testing_support::readLogRecords(place);
        EXPECT_EQ(log.size(), starts ? 6u : 7u) << testing::PrintToString(summarize(log));
        if (log.size() < 6u) continue;
        const std::string secure = reservedDirectory(log);
        EXPECT_TRUE(std::regex_match(secure, std::regex(escapeRegex(named) + R"(zor-?\d+\.tmp)"))) << secure;
        const std::string launcherName = FileUtils::fileName(run.launcher());
        const Lines lines = summarize(log);
        EXPECT_EQ(Lines(lines.begin(), lines.begin() + 6),
                  cleanRunSummaries(secure, launcherName, extractionTemporary(log, secure)));
        if (!starts) {
            // Checked, and started by the path it was made at: Wine's start fails, and that is logged.
            const std::regex report(
                escapeRegex("Exception with message 'kiteboot.cpp(") + R"(\d+)" +
                escapeRegex(") at `anonymous-namespace'::execProcessWaitForFinish(): CreateProcess failed. "
                            "System error [2](" +
                            formatSystemError(ERROR_FILE_NOT_FOUND) + ")' caught"));
            EXPECT_EQ(log.back().level, "ERROR");
            EXPECT_TRUE(std::regex_match(log.back().message, report)) << log.back().message;
            continue;
        }
        // The payload ran from that directory, whichever form of its path it was started by.
        const probe::Report report = run.report();
        EXPECT_EQ(FileUtils::fileName(report.modulePath), launcherName);
        EXPECT_EQ(FileUtils::fileName(report.currentDirectory), FileUtils::fileName(secure));
    }
}

// ---- Refusals and failures

TEST(LauncherRefusal, NotElevatedAndSilentEndsWithoutCreatingAnything) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"/s"}, {"first", "INSTALL_SILENT=Enable"}, {"INSTALL_SILENT=1", "last"}}) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        LaunchRun run(launcherPath("probe_launcher.exe"));
        run.options.limitedToken = true;
        EXPECT_EQ(run.run(arguments), kFailure);
        EXPECT_FALSE(run.payloadRan());
        EXPECT_EQ(run.tempEntries(), std::vector<std::string>{"morvane.log"});
        const std::vector<ParsedRecord> log = run.records();
        const std::vector<std::string> expected = {summary(
            "ERROR", kRun, "Administrator privileges are required to run this application, exiting.")};
        EXPECT_EQ(summarize(log), expected);
        EXPECT_EQ(sourceFiles(log), std::vector<std::string>{"kiteboot.cpp"});
        expectOneProcess(log, "probe_launcher.exe");
    }
}

TEST(LauncherFailure, MissingPayloadResourceEndsWithMinusOneAndLeavesNothing) {
    LaunchRun run(launcherPath("other_id_launcher.exe"));
    EXPECT_EQ(run.run({"/s"}), kFailure);
    EXPECT_FALSE(run.payloadRan());
    EXPECT_EQ(run.tempEntries(), std::vector<std::string>{"morvane.log"});
    const std::vector<ParsedRecord> log = run.records();
    ASSERT_EQ(log.size(), 4u) << testing::PrintToString(summarize(log));
    const std::string secureDirectory = reservedDirectory(log);
    EXPECT_TRUE(std::regex_match(secureDirectory, std::regex(escapeRegex(run.temp()) + R"(\\zor-?\d+\.tmp)")))
        << log[0].message;
    // The directory is removed before the failure is reported.
    const std::vector<std::string> expected = {
        summary("TRACE", kCreated, "Created [" + secureDirectory + "] file"),
        summary("TRACE", kReserveDeleted, "Deleted [" + secureDirectory + "] file"),
        summary("TRACE", kDirectoryDeleted, "Deleted [" + secureDirectory + "] directory"),
    };
    const std::vector<std::string> lines = summarize(log);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3), expected);
    EXPECT_EQ(sourceFiles(log), (std::vector<std::string>{"TempDirectory.cpp", "TempDirectory.cpp",
                                                          "HeldDirectory.cpp", "kiteboot.cpp"}));
    EXPECT_EQ(log[3].level, "ERROR");
    EXPECT_EQ(log[3].function, kRun);
    // 1814: the module has RCDATA resources, but none with identifier 100.
    const std::regex report(
        "Exception with message 'Resources\\.cpp\\(\\d+\\) at Resource::getPtr\\(\\): " +
        escapeRegex("cannot find resource (name='#100', type='#10'). System error [1814](" +
                    formatSystemError(ERROR_RESOURCE_NAME_NOT_FOUND) + ")' caught"));
    EXPECT_TRUE(std::regex_match(log[3].message, report)) << log[3].message;
    expectOneProcess(log, "other_id_launcher.exe");
}

// A bootstrapper whose payload after the image was changed after wrapping (a damaged download, a file
// replaced) is refused before anything is started: the recorded SHA-256 lies in the image a signature
// covers. Bytes after the recorded end are not the payload's: they are where a signature's certificate
// table goes, and the payload runs with them.
TEST(LauncherFailure, AppendedPayloadChangedAfterWrappingIsRefusedAndStartsNothing) {
    const std::string wrapped = testing_support::readFile(launcherPath("appended_probe_launcher.exe"));
    const std::string probe = testing_support::readFile(testing_support::siblingProgram("probe_payload.exe"));
    const std::size_t offset = wrapped.find(probe);
    ASSERT_NE(offset, std::string::npos);
    const auto sha256 = [](const std::string& bytes) {
        Sha256 hash;
        hash.add(bytes.data(), bytes.size());
        return Sha256::hex(hash.finish());
    };
    const std::string mismatch =
        "the payload does not match its record, so it was changed after wrapping: "
        "SHA-256 recorded " +
        sha256(probe) + ", read ";
    std::string oneByte = wrapped;
    oneByte[offset + probe.size() / 2] ^= 0x01;
    std::string inserted = wrapped;
    inserted.insert(offset + 100, 1, '\x5a');
    const struct {
        const char* name;
        std::string file;
        std::string error;  // empty: the payload runs
    } cases[] = {
        {"one byte changed", oneByte, mismatch + sha256(oneByte.substr(offset, probe.size()))},
        {"a byte inserted", inserted, mismatch + sha256(inserted.substr(offset, probe.size()))},
        {"cut short by one byte", wrapped.substr(0, offset + probe.size() - 1),
         "the payload is cut short: the bootstrapper's file holds " +
             std::to_string(offset + probe.size() - 1) + " bytes, and its payload (SHA-256 " + sha256(probe) +
             ") ends at " + std::to_string(offset + probe.size())},
        {"bytes added after the end", wrapped + std::string(4096, '\x7f'), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir install("kbsetup");
        const std::string setup = install / "setup.exe";
        testing_support::writeFile(setup, c.file);
        LaunchRun run(setup);
        run.options.environment[probe::kExitVariable] = "3";
        if (c.error.empty()) {
            EXPECT_EQ(run.run({"/s"}), 3u);
            const probe::Report report = run.report();
            EXPECT_EQ(report.imageHash, hashOfFile(testing_support::siblingProgram("probe_payload.exe")));
            run.expectCleanRun(run.secureDirectory(report));
            continue;
        }
        EXPECT_EQ(run.run({"/s"}), kFailure);
        EXPECT_FALSE(run.payloadRan());
        EXPECT_EQ(run.tempEntries(), std::vector<std::string>{"morvane.log"});
        const std::vector<ParsedRecord> log = run.records();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(
            std::count_if(log.begin(), log.end(), [](const ParsedRecord& r) { return r.level == "ERROR"; }),
            1);
        EXPECT_EQ(log.back().level, "ERROR");
        EXPECT_EQ(log.back().function, kRun);
        const std::regex report(
            "Exception with message 'AppendedPayload\\.cpp\\(\\d+\\) at "
            "writeAppendedPayload\\(\\): " +
            escapeRegex(c.error) + "' caught");
        EXPECT_TRUE(std::regex_match(log.back().message, report)) << log.back().message;
        // The directory, and the extraction's file in it, were removed before the failure was reported.
        EXPECT_EQ(summarize(log)[log.size() - 2],
                  summary("TRACE", kDirectoryDeleted, "Deleted [" + reservedDirectory(log) + "] directory"));
        expectOneProcess(log, "setup.exe");
    }
}

}  // namespace
}  // namespace launch_testing
