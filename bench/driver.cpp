// Times program starts from inside Wine, so the start of this driver itself is never counted.
//
//   bench_driver.exe --plan <file> --work <dir> --out <file> [--rounds N] [--warmup N] [--seed N]
//                    [--logs <dir>] [--memory] [--pause-ms N]
//
// Every round starts each case of the plan once, in an order shuffled per round. Each run gets a new
// temporary directory <work>\<label>.<round> as TEMP and TMP; the time from CreateProcess to the end of
// the wait is taken with QueryPerformanceCounter. After a run the driver checks the exit code (0) and that
// the temporary directory holds nothing but the launcher's log, which it moves to <logs> as
// <label>.<round>.log (measured rounds only); a failed check ends the benchmark, since the times of a
// broken run mean nothing.
//
// With --pause-ms the driver sleeps that long before each run, so that every run finds the machine idle,
// as a user's double-click usually does, rather than right after the previous run.
//
// With --memory the driver polls the running process every millisecond for its private memory and working
// set and reports the largest values seen; those runs are for memory, not for time. Private memory is the
// larger of PrivateUsage and PagefileUsage: on Windows the two are the same (private committed bytes);
// Wine 8 leaves PrivateUsage of another process at 0 and fills PagefileUsage from RssAnon + VmSwap of the
// process's /proc/<pid>/status, its anonymous memory without the file-backed pages of mapped images.
// Neither system keeps a peak of it for another process, hence the polling.
//
// Output, one tab-separated line per measured run (warm-up rounds are not written):
//   round label ms exit start end private_peak working_set_peak samples
// start and end are the local wall-clock times of the start and the end of the run, in 100 ns units
// since 1601 (as the launcher's log records are in local time).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchPlan.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"

#include <psapi.h>

namespace {

struct Options {
    std::string plan;
    std::string work;
    std::string out;
    std::string logs;
    unsigned rounds = 15;
    unsigned warmup = 2;
    unsigned seed = 1;
    unsigned pauseMs = 0;
    bool memory = false;
};

struct RunResult {
    double ms = 0;
    DWORD exitCode = 0;
    unsigned long long start = 0;
    unsigned long long end = 0;
    SIZE_T privatePeak = 0;
    SIZE_T workingSetPeak = 0;
    unsigned samples = 0;
};

unsigned toNumber(const std::string& option, const char* text) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*text == '\0' || *end != '\0')
        ZOR_THROW_INVALID_ARGUMENT(option << " needs a number, not '" << text << "'");
    return static_cast<unsigned>(value);
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--memory") {
            options.memory = true;
            continue;
        }
        if (i + 1 >= argc) ZOR_THROW_INVALID_ARGUMENT(option << " needs a value");
        const char* value = argv[++i];
        if (option == "--plan") {
            options.plan = value;
        } else if (option == "--work") {
            options.work = value;
        } else if (option == "--out") {
            options.out = value;
        } else if (option == "--logs") {
            options.logs = value;
        } else if (option == "--rounds") {
            options.rounds = toNumber(option, value);
        } else if (option == "--warmup") {
            options.warmup = toNumber(option, value);
        } else if (option == "--seed") {
            options.seed = toNumber(option, value);
        } else if (option == "--pause-ms") {
            options.pauseMs = toNumber(option, value);
        } else {
            ZOR_THROW_INVALID_ARGUMENT("unknown option " << option);
        }
    }
    if (options.plan.empty() || options.work.empty() || options.out.empty())
        ZOR_THROW_INVALID_ARGUMENT("--plan, --work and --out are required");
    return options;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) ZOR_THROW_RUNTIME_ERROR("cannot read " << path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The current local wall-clock time in 100 ns units since 1601.
unsigned long long localNow() {
    FILETIME utc{};
    FILETIME local{};
    GetSystemTimeAsFileTime(&utc);
    FileTimeToLocalFileTime(&utc, &local);
    return (static_cast<unsigned long long>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
}

long long performanceCounter() {
    LARGE_INTEGER counter{};
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

// The process's environment as one block, released on every road out.
struct EnvironmentStrings {
    EnvironmentStrings() : block(GetEnvironmentStringsA()) {
        if (!block) ZOR_THROW_LAST_ERROR(GetEnvironmentStringsA, "GetEnvironmentStrings failed");
    }
    ~EnvironmentStrings() { FreeEnvironmentStringsA(block); }
    EnvironmentStrings(const EnvironmentStrings&) = delete;
    EnvironmentStrings& operator=(const EnvironmentStrings&) = delete;

    char* block;
};

void sampleMemory(HANDLE process, RunResult& result) {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters)))
        return;  // the process is ending; its last sample was taken
    result.privatePeak = std::max({result.privatePeak, counters.PrivateUsage, counters.PagefileUsage});
    result.workingSetPeak = std::max(result.workingSetPeak, counters.WorkingSetSize);
    ++result.samples;
}

// Starts the case with TEMP and TMP set to temp and waits for it, timing the two together.
RunResult startAndWait(const bench::BenchCase& benchCase, const std::string& temp, bool memory) {
    std::string environment;
    {
        const EnvironmentStrings current;
        environment = bench::environmentWithTemp(current.block, temp);
    }
    std::string commandLine = bench::commandLineOf(benchCase);
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    RunResult result;
    result.start = localNow();
    const long long begin = performanceCounter();
    if (!CreateProcessA(benchCase.program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                        environment.data(), nullptr, &startup, &info)) {
        ZOR_THROW_LAST_ERROR(CreateProcessA, "CreateProcess(" << benchCase.program << ") failed");
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (memory) {
        while (WaitForSingleObject(process.get(), 1) == WAIT_TIMEOUT)
            sampleMemory(process.get(), result);
    } else if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
        ZOR_THROW_LAST_ERROR(WaitForSingleObject, "WaitForSingleObject failed");
    }
    const long long finish = performanceCounter();
    result.end = localNow();
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    result.ms = 1000.0 * static_cast<double>(finish - begin) / static_cast<double>(frequency.QuadPart);
    if (!GetExitCodeProcess(process.get(), &result.exitCode))
        ZOR_THROW_LAST_ERROR(GetExitCodeProcess, "GetExitCodeProcess failed");
    return result;
}

std::vector<std::string> entryNames(const std::string& dir) {
    std::vector<std::string> paths;
    FileUtils::DirectoryIterator(dir).withFiles(true).withDirectories(true).collectItems(paths);
    std::vector<std::string> names;
    for (const std::string& path : paths)
        names.push_back(FileUtils::fileName(path));
    return names;
}

// Checks what the run left in its temporary directory, keeps the launcher's log under keptLog (unless
// that is empty) and removes the directory.
void collectAndClean(const bench::BenchCase& benchCase, const std::string& temp, const std::string& keptLog) {
    const std::vector<std::string> unexpected = bench::unexpectedLeftovers(entryNames(temp));
    if (!unexpected.empty()) {
        std::string list;
        for (const std::string& name : unexpected)
            list += " " + name;
        ZOR_THROW_RUNTIME_ERROR(benchCase.label << " left in " << temp << ":" << list);
    }
    const std::string log = FileUtils::joinPath(temp, "morvane.log");
    if (!keptLog.empty() && GetFileAttributesA(log.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (!MoveFileExA(log.c_str(), keptLog.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED))
            ZOR_THROW_LAST_ERROR(MoveFileExA, "MoveFileEx(" << log << ", " << keptLog << ") failed");
    }
    FileUtils::deleteFile(log);
    FileUtils::deleteDirectory(temp);
}

void runBenchmark(const Options& options) {
    const std::vector<bench::BenchCase> cases = bench::parsePlan(readFile(options.plan));
    if (cases.empty()) ZOR_THROW_RUNTIME_ERROR("the plan " << options.plan << " holds no cases");
    FileUtils::createDirectories(options.work);
    if (!options.logs.empty()) FileUtils::createDirectories(options.logs);
    std::ofstream out(options.out, std::ios::binary | std::ios::trunc);
    if (!out) ZOR_THROW_RUNTIME_ERROR("cannot write " << options.out);
    out << "round\tlabel\tms\texit\tstart\tend\tprivate_peak\tworking_set_peak\tsamples\n";
    const unsigned total = options.warmup + options.rounds;
    for (unsigned round = 0; round < total; ++round) {
        for (const std::size_t index : bench::roundOrder(cases.size(), round, options.seed)) {
            const bench::BenchCase& benchCase = cases[index];
            const std::string temp =
                FileUtils::joinPath(options.work, benchCase.label + "." + std::to_string(round));
            FileUtils::createDirectories(temp);
            if (options.pauseMs > 0) Sleep(options.pauseMs);
            const RunResult result = startAndWait(benchCase, temp, options.memory);
            if (result.exitCode != 0)
                ZOR_THROW_RUNTIME_ERROR(benchCase.label << " exited with "
                                                        << static_cast<long>(result.exitCode));
            const bool measured = round >= options.warmup;
            const std::string measuredRound = std::to_string(round - options.warmup);
            std::string keptLog;
            if (measured && !options.logs.empty())
                keptLog = FileUtils::joinPath(options.logs, benchCase.label + "." + measuredRound + ".log");
            collectAndClean(benchCase, temp, keptLog);
            if (!measured) continue;
            out << measuredRound << '\t' << benchCase.label << '\t' << result.ms << '\t' << result.exitCode
                << '\t' << result.start << '\t' << result.end << '\t' << result.privatePeak << '\t'
                << result.workingSetPeak << '\t' << result.samples << '\n';
        }
        out.flush();
        std::fprintf(stderr, "\rround %u of %u", round + 1, total);
    }
    std::fprintf(stderr, "\n");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        runBenchmark(parseOptions(argc, argv));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "\nbench_driver: %s\n", e.what());
    }
    return 1;
}
