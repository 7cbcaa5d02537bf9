// Starts one program many times with many starts in flight, and counts how the starts end: the test of
// whether Wine fails process starts under load (bench/start-storm.sh).
//   start_storm.exe <program> <starts> <in flight>
// Prints one line: "starts N ok N failed N 1359 N other N nonzero-exit N", then one line per other error.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/windows/WinHeaders.h"

namespace {

struct Tally {
    unsigned long starts = 0;
    unsigned long ok = 0;
    unsigned long nonzeroExit = 0;
    std::map<DWORD, unsigned long> failures;  // CreateProcess's error -> count
};

HANDLE startOnce(const std::string& program, Tally& tally) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string commandLine = "\"" + program + "\"";
    ++tally.starts;
    if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        ++tally.failures[GetLastError()];
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

void reap(HANDLE process, Tally& tally) {
    DWORD code = 0;
    if (GetExitCodeProcess(process, &code) && code == 0)
        ++tally.ok;
    else
        ++tally.nonzeroExit;
    CloseHandle(process);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: start_storm.exe <program> <starts> <in flight (1-64)>\n");
        return 2;
    }
    const std::string program = argv[1];
    const unsigned long total = std::strtoul(argv[2], nullptr, 10);
    const std::size_t inFlight = std::strtoul(argv[3], nullptr, 10);
    if (total == 0 || inFlight == 0 || inFlight > MAXIMUM_WAIT_OBJECTS) return 2;
    Tally tally;
    std::vector<HANDLE> running;
    while (tally.starts < total || !running.empty()) {
        while (tally.starts < total && running.size() < inFlight) {
            if (HANDLE process = startOnce(program, tally)) running.push_back(process);
        }
        if (running.empty()) continue;
        const DWORD ended =
            WaitForMultipleObjects(static_cast<DWORD>(running.size()), running.data(), FALSE, INFINITE);
        if (ended >= WAIT_OBJECT_0 + running.size()) return 3;
        reap(running[ended - WAIT_OBJECT_0], tally);
        running.erase(running.begin() + (ended - WAIT_OBJECT_0));
    }
    unsigned long failed = 0;
    for (const auto& [error, count] : tally.failures)
        failed += count;
    const unsigned long internal =
        tally.failures.count(ERROR_INTERNAL_ERROR) ? tally.failures[ERROR_INTERNAL_ERROR] : 0;
    std::printf("starts %lu ok %lu failed %lu 1359 %lu other %lu nonzero-exit %lu\n", tally.starts, tally.ok,
                failed, internal, failed - internal, tally.nonzeroExit);
    for (const auto& [error, count] : tally.failures)
        if (error != ERROR_INTERNAL_ERROR) std::printf("error %lu: %lu\n", error, count);
    return 0;
}
