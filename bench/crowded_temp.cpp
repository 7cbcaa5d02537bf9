// The launch in a crowded TEMP (bench/crowded-temp.sh): what a TEMP with very many entries costs a run,
// and what of it is the removal of leftovers, whose work each run bounds.
//
//   bench_crowded_temp.exe --launcher <exe> --crowded <dir> --empty <dir> [--rounds N] [--warmup N]
//
// This process's own TEMP is the crowded directory, set before anything looks it up. Every round times, in
// turn and with QueryPerformanceCounter: the removal of leftovers called in this process on the crowded TEMP
// exactly as a run calls it after its payload has ended (the launcher's source is compiled in, as the
// launcher's unit tests compile it); the listing it starts with, alone; the launcher started with the
// crowded TEMP; the launcher started with the empty one. After each start its exit code must be 0 and its log
// is removed, so every run starts from the same directory; the crowded TEMP must hold as many entries at the
// end as at the start. Output, tab-separated: one line per measured run "round case ms", then "case min
// median max" per case.
#include "windows/wrappers/kiteboot/kiteboot.cpp"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>

#include "windows/common/handles/UserTempDirectory.h"

namespace {

struct Options {
    std::string launcher;
    std::string crowded;
    std::string empty;
    unsigned rounds = 15;
    unsigned warmup = 2;
};

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--launcher") {
            options.launcher = argv[i + 1];
        } else if (option == "--crowded") {
            options.crowded = argv[i + 1];
        } else if (option == "--empty") {
            options.empty = argv[i + 1];
        } else if (option == "--rounds") {
            options.rounds = static_cast<unsigned>(std::atoi(argv[i + 1]));
        } else if (option == "--warmup") {
            options.warmup = static_cast<unsigned>(std::atoi(argv[i + 1]));
        } else {
            ZOR_THROW_INVALID_ARGUMENT("unknown option " << option);
        }
    }
    if (options.launcher.empty() || options.crowded.empty() || options.empty.empty())
        ZOR_THROW_INVALID_ARGUMENT("--launcher, --crowded and --empty are required");
    return options;
}

double millisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Starts the launcher silently with TEMP and TMP set to temp, waits for it and returns the time taken.
double timeLaunch(const std::string& launcher, const std::string& temp) {
    SetEnvironmentVariableA("TEMP", temp.c_str());
    SetEnvironmentVariableA("TMP", temp.c_str());
    std::string commandLine = "\"" + launcher + "\" /s";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(launcher.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        ZOR_THROW_LAST_ERROR(CreateProcessA, "CreateProcess(" << launcher << ") failed");
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    const double ms = millisecondsSince(start);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.get(), &exitCode);
    if (exitCode != 0) ZOR_THROW_RUNTIME_ERROR(launcher << " exited with " << exitCode << " in " << temp);
    const std::string log = FileUtils::joinPath(temp, "morvane.log");
    if (!DeleteFileA(log.c_str())) ZOR_THROW_LAST_ERROR(DeleteFileA, "DeleteFile(" << log << ") failed");
    return ms;
}

std::vector<std::string> entriesOf(const std::string& directory) {
    std::vector<std::string> paths;
    FileUtils::DirectoryIterator(directory).withFiles(true).withDirectories(true).collectItems(paths);
    std::sort(paths.begin(), paths.end());
    return paths;
}

// The listing alone that the removal of leftovers starts with.
double timeListing() {
    UniqueHandle temp;
    if (const DWORD error = UserTempDirectory::reopen(HandleFiles::kHoldDirectory, temp))
        ZOR_THROW_SYS_ERROR(CreateFileW, error, "reopening TEMP failed");
    LARGE_INTEGER start{};
    QueryPerformanceCounter(&start);
    std::vector<HandleFiles::Entry> entries;
    HandleFiles::list(temp.get(), L"zor*.tmp", LeftoverBounds().listed, entries);
    return millisecondsSince(start);
}

void runBenchmark(const Options& options, const std::string& crowded) {
    const std::vector<std::string> entries = entriesOf(crowded);
    std::printf("crowded TEMP %s: %zu entries\n", crowded.c_str(), entries.size());
    std::map<std::string, std::vector<double>> times;
    for (unsigned round = 0; round < options.warmup + options.rounds; ++round) {
        LARGE_INTEGER start{};
        QueryPerformanceCounter(&start);
        reclaimEarlierRuns();
        const double reclaim = millisecondsSince(start);
        const double listing = timeListing();
        const double inCrowded = timeLaunch(options.launcher, crowded);
        const double inEmpty = timeLaunch(options.launcher, options.empty);
        if (round < options.warmup) continue;
        const unsigned measured = round - options.warmup;
        for (const auto& [name, ms] : {std::pair<const char*, double>{"reclaim-crowded", reclaim},
                                       {"listing-crowded", listing},
                                       {"launch-crowded", inCrowded},
                                       {"launch-empty", inEmpty}}) {
            std::printf("%u\t%s\t%.2f\n", measured, name, ms);
            times[name].push_back(ms);
        }
    }
    for (auto& [name, values] : times) {
        std::sort(values.begin(), values.end());
        std::printf("%s\tmin %.2f\tmedian %.2f\tmax %.2f\n", name.c_str(), values.front(),
                    values[values.size() / 2], values.back());
    }
    const std::vector<std::string> after = entriesOf(crowded);
    if (after != entries) {
        std::vector<std::string> changed;
        std::set_symmetric_difference(entries.begin(), entries.end(), after.begin(), after.end(),
                                      std::back_inserter(changed));
        ZOR_THROW_RUNTIME_ERROR("the crowded TEMP changed: " << changed.size() << " entries, the first "
                                                             << changed.front());
    }
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parseOptions(argc, argv);
        SetEnvironmentVariableA("TEMP", options.crowded.c_str());
        SetEnvironmentVariableA("TMP", options.crowded.c_str());
        runBenchmark(options, UserTempDirectory::path());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_crowded_temp: %s\n", e.what());
    }
    return 1;
}
