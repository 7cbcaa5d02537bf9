// The test launcher's hooks.
// At the start, with KITEBOOT_TEST_PAUSE_AFTER set to a number n, the run stops right after writing its
// n-th record, as an oplock another process holds on the log would stop it: the file KITEBOOT_TEST_PAUSED
// is made, and the run goes on once the file KITEBOOT_TEST_RESUME exists (after 60 s at most).
// Just before the payload is started, with KITEBOOT_TEST_PAUSE_BEFORE_START set: the same pause, so a test
// can act between the check of the start path and the start.
// Before extraction, the launcher's process code page (GetACP) goes to KITEBOOT_TEST_CODE_PAGE_RESULT.
// Before extraction, with KITEBOOT_TEST_IMPOSTOR set to a file: the launcher's own file is renamed away
// (to <name>.moved) and a copy of that file put under its name, as another process of the user could do
// while the launcher runs; "0" or the Windows error goes to KITEBOOT_TEST_IMPOSTOR_RESULT.
// After extraction, "module file" or "mapped image" (where extraction read the payload from) goes to
// KITEBOOT_TEST_SOURCE_RESULT; then the secure directory is changed as another process could, as
// KITEBOOT_TEST_TAMPER says, and what happened is written to KITEBOOT_TEST_TAMPER_RESULT.
//   add:<relative path>   make a file there, or an empty directory when the path ends in "\"
//   move:<new name>       try to rename the secure directory to <new name> beside it
//   remove:               try to delete the payload
//   (unset)               change nothing
// The result file holds "0" when the change was made, otherwise the Windows error code.
// When the launcher decides whether a leftover directory carries its descriptor, the names in
// KITEBOOT_TEST_OURS
// ("|" between them) are declared to (as on Windows a directory a launcher made would), every other one gets
// the launcher's own decision; each name asked about is appended, one a line, to KITEBOOT_TEST_OURS_ASKED.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "common/share/logging/Logger.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"
#include "windows/wrappers/kiteboot/TestHooks.h"

namespace {

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Makes path (a file, or a directory when it ends in a separator) with its missing directories.
DWORD add(const std::string& path) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '\\' && !CreateDirectoryA(path.substr(0, i).c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return GetLastError();
    }
    if (path.back() == '\\') return ERROR_SUCCESS;
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(file);
    return ERROR_SUCCESS;
}

// Makes the file KITEBOOT_TEST_PAUSED (holding what) and waits until KITEBOOT_TEST_RESUME exists, 60 s at
// most.
void pause(const std::string& what) {
    std::ofstream(variable("KITEBOOT_TEST_PAUSED")) << what;
    const std::string resume = variable("KITEBOOT_TEST_RESUME");
    for (int waited = 0; GetFileAttributesA(resume.c_str()) == INVALID_FILE_ATTRIBUTES && waited < 60000;
         waited += 5)
        Sleep(5);
}

// Hands each record on, then stops after the chosen one until the test lets the run go on.
class PausingAppender : public LogAppender {
public:
    PausingAppender(LogAppender* next, int pauseAfter) : next_(next), pauseAfter_(pauseAfter) {}

    DWORD append(const LogRecord& record) override {
        const DWORD error = next_->append(record);
        if (++written_ == pauseAfter_) pause(std::to_string(written_));
        return error;
    }

private:
    LogAppender* next_;
    int pauseAfter_;
    int written_ = 0;
};

void writeResult(const char* variableName, const std::string& text) {
    const std::string path = variable(variableName);
    if (!path.empty()) std::ofstream(path) << text;
}

}  // namespace

namespace kiteboot_test_hooks {

void atStart() {
    const int pauseAfter = std::atoi(variable("KITEBOOT_TEST_PAUSE_AFTER").c_str());
    if (pauseAfter <= 0) return;
    Logger& logger = Logger::instance();
    static PausingAppender pausing(logger.appender, pauseAfter);
    logger.appender = &pausing;
}

void beforeExtraction(const std::string& launcherPath) {
    writeResult("KITEBOOT_TEST_CODE_PAGE_RESULT", std::to_string(GetACP()));
    const std::string impostor = variable("KITEBOOT_TEST_IMPOSTOR");
    if (impostor.empty()) return;
    const bool replaced = MoveFileExA(launcherPath.c_str(), (launcherPath + ".moved").c_str(), 0) &&
                          CopyFileA(impostor.c_str(), launcherPath.c_str(), TRUE);
    writeResult("KITEBOOT_TEST_IMPOSTOR_RESULT", std::to_string(replaced ? ERROR_SUCCESS : GetLastError()));
}

void afterExtraction(const std::string& secureDirectory, const std::string& payloadPath,
                     Resource::Source source) {
    writeResult("KITEBOOT_TEST_SOURCE_RESULT",
                source == Resource::Source::ModuleFile ? "module file" : "mapped image");
    const std::string tamper = variable("KITEBOOT_TEST_TAMPER");
    DWORD result = ERROR_SUCCESS;
    if (tamper.rfind("add:", 0) == 0) {
        result = add(FileUtils::joinPath(secureDirectory, tamper.substr(4)));
    } else if (tamper.rfind("move:", 0) == 0) {
        const std::string moved =
            FileUtils::joinPath(FileUtils::parentPath(secureDirectory), tamper.substr(5));
        result = MoveFileExA(secureDirectory.c_str(), moved.c_str(), 0) ? ERROR_SUCCESS : GetLastError();
    } else if (tamper == "remove:") {
        result = DeleteFileA(payloadPath.c_str()) ? ERROR_SUCCESS : GetLastError();
    } else {
        return;
    }
    writeResult("KITEBOOT_TEST_TAMPER_RESULT", std::to_string(result));
}

bool carriesOurDescriptor(const std::string& path, bool decided) {
    const std::string name = FileUtils::fileName(path);
    const std::string asked = variable("KITEBOOT_TEST_OURS_ASKED");
    if (!asked.empty()) std::ofstream(asked, std::ios::app | std::ios::binary) << name << "\n";
    std::istringstream ours(variable("KITEBOOT_TEST_OURS"));
    for (std::string declared; std::getline(ours, declared, '|');)
        if (declared == name) return true;
    return decided;
}

void beforeStart() {
    if (!variable("KITEBOOT_TEST_PAUSE_BEFORE_START").empty()) pause("before start");
}

}  // namespace kiteboot_test_hooks
