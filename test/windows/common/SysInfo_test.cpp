#include "windows/common/SysInfo.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "common/share/tstrings.h"
#include "common/windows/WinHeaders.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "windows/common/FileUtils.h"

using namespace testing_support;

namespace {

std::string wideModulePath(HMODULE module) {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size())));
    return tstrings::toUtf8(path);
}

TEST(ModuleQueries, ExecutablePathIsWhatWindowsReports) {
    const std::string path = SysInfo::getProcessModulePath();
    EXPECT_EQ(wideModulePath(nullptr), path);
    EXPECT_EQ("windows_common_tests.exe", FileUtils::fileName(path));
    EXPECT_EQ(path, SysInfo::getCurrentModulePath());
}

TEST(ModuleQueries, CurrentModuleIsTheExecutable) {
    EXPECT_EQ(GetModuleHandleW(nullptr), SysInfo::getCurrentModuleHandle());
}

// Sets one environment variable of this process while it lives.
class VariableOverride {
public:
    VariableOverride(const char* name, const std::string& value) : name_(name) {
        char saved[32768] = {};
        had_ = GetEnvironmentVariableA(name, saved, sizeof(saved)) > 0;
        saved_ = saved;
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~VariableOverride() { SetEnvironmentVariableA(name_, had_ ? saved_.c_str() : nullptr); }

private:
    const char* name_;
    bool had_ = false;
    std::string saved_;
};

// The temporary directory getTempDir gives with the binding given (the system's own without one); empty
// when it reports a failure.
std::string tempDir(SysInfo::TempPathBinding bindSecond = nullptr) {
    std::string path;
    const DWORD error = bindSecond ? SysInfo::getTempDir(bindSecond, path) : SysInfo::getTempDir(path);
    EXPECT_EQ(error == ERROR_SUCCESS, !path.empty()) << error;
    return path;
}

TEST(DirectoryQueries, TemporaryDirectoryComesWithoutTrailingSeparators) {
    TempDir dir;
    for (const std::string& value : {dir.path(), dir.path() + "\\", dir.path() + "\\\\"}) {
        VariableOverride tmp("TMP", value);
        EXPECT_EQ(dir.path(), tempDir()) << value;
    }
}

// What GetTempPath2W gives, where the system has it, is the temporary directory: for LocalSystem it is not
// GetTempPathW's. Wine has no GetTempPath2W, so a stand-in takes its place.
std::wstring standInTemp;

DWORD WINAPI standInGetTempPath2W(DWORD size, LPWSTR buffer) {
    if (size <= standInTemp.size()) return static_cast<DWORD>(standInTemp.size() + 1);
    standInTemp.copy(buffer, standInTemp.size());
    buffer[standInTemp.size()] = L'\0';
    return static_cast<DWORD>(standInTemp.size());
}

TEST(DirectoryQueries, TheSecondTemporaryPathQueryIsUsedWhereTheSystemHasIt) {
    TempDir system("kbsystemtemp");
    TempDir user("kbusertemp");
    VariableOverride tmp("TMP", user.path());
    for (const std::string& given :
         {system.path() + "\\", std::string("T:\\"), "C:\\" + std::string(300, 'd') + "\\"}) {
        SCOPED_TRACE(given);
        standInTemp = tstrings::fromUtf8(given);
        EXPECT_EQ(tempDir([]() -> SysInfo::TempPathQuery { return standInGetTempPath2W; }),
                  FileUtils::directoryPath(given));
    }
    // Where the system lacks it, GetTempPathW's.
    EXPECT_EQ(tempDir([]() -> SysInfo::TempPathQuery { return nullptr; }), user.path());
}

// A query that fails: its error comes back (ERROR_PATH_NOT_FOUND where it names none) and the path is left
// as it was.
DWORD standInError;

DWORD WINAPI failingGetTempPath2W(DWORD, LPWSTR) {
    SetLastError(standInError);
    return 0;
}

TEST(DirectoryQueries, AFailedTemporaryPathQueryGivesItsErrorAndLeavesThePath) {
    const std::pair<DWORD, DWORD> rows[] = {{ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
                                            {ERROR_SUCCESS, ERROR_PATH_NOT_FOUND}};
    for (const auto& [set, expected] : rows) {
        SCOPED_TRACE(set);
        standInError = set;
        std::string path = "unchanged";
        EXPECT_EQ(SysInfo::getTempDir([]() -> SysInfo::TempPathQuery { return failingGetTempPath2W; }, path),
                  expected);
        EXPECT_EQ(path, "unchanged");
    }
}

TEST(DirectoryQueries, TemporaryDirectoryOfAnyLengthIsWholeOrEmpty) {
    // Windows reports the length a long value needs and the query reads it with a buffer of that size;
    // Wine refuses a value longer than MAX_PATH, which leaves the empty text. Never a part of it.
    const std::string longValue = "C:\\" + std::string(200, 'd') + "\\" + std::string(100, 'e');
    VariableOverride tmp("TMP", longValue);
    const std::string dir = tempDir();
    EXPECT_TRUE(dir.empty() || dir == longValue) << dir;
}

TEST(DirectoryQueries, SystemDirectoryComesWithoutTrailingSeparator) {
    EXPECT_EQ("C:\\windows\\system32", SysInfo::getSystemDir());
}

std::vector<std::string> readLines(const std::string& path) {
    std::istringstream in(readFile(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Runs module_probe (from program) and returns its answers.
std::vector<std::string> probeAnswers(const std::string& program, const std::string& tempDir,
                                      const std::string& outputDir) {
    ProcessOptions options;
    options.environment = {{"TMP", tempDir}, {"TEMP", tempDir}};
    const std::string output = outputDir + "\\answers.txt";
    const unsigned long exitCode = runProcess(program, {output}, options);
    std::vector<std::string> lines = exists(output) ? readLines(output) : std::vector<std::string>{};
    EXPECT_EQ(0u, exitCode) << (lines.empty() ? std::string("no answers") : lines.back());
    return lines;
}

TEST(ModuleProbe, AnswersOfAStartedProgram) {
    TempDir temp;
    const std::string program = siblingProgram("module_probe.exe");
    const std::vector<std::string> answers = probeAnswers(program, temp.path() + "\\", temp.path());
    ASSERT_EQ(5u, answers.size());
    EXPECT_EQ(program, answers[0]);
    EXPECT_EQ(program, answers[1]);
    EXPECT_EQ(temp.path(), answers[2]);
    EXPECT_EQ("C:\\windows\\system32", answers[3]);
    EXPECT_EQ(answers[4], answers[0]);
}

// A module path longer than MAX_PATH: see long_module_path.sh next to this file. Wine starts such a
// program only from the Linux side (CreateProcessW refuses application paths over MAX_PATH characters).

}  // namespace
