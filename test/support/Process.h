// Starting Windows programs from tests, each with an environment block of its own.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "common/windows/WinAutoHandle.h"

namespace testing_support {

struct ProcessOptions {
    // Variables set (or, with an empty value, removed) in the child's copy of this process's environment.
    // TEMP and TMP here give the child a temporary directory of its own.
    std::map<std::string, std::string> environment;
    std::string currentDirectory;  // empty: this process's
    bool limitedToken = false;     // start with the token's linked (unelevated) token
    unsigned timeoutMs = 120000;
};

// Starts program (UTF-8 path) with a raw command line (UTF-8), waits, and returns its exit code.
// Throws std::runtime_error when it cannot be started or does not end within the timeout.
unsigned long runProcessRaw(const std::string& program, const std::string& commandLine,
                            const ProcessOptions& options = {});

// Starts program like runProcessRaw and returns its process handle without waiting.
// Throws std::runtime_error when it cannot be started.
UniqueHandle startProcessRaw(const std::string& program, const std::string& commandLine,
                             const ProcessOptions& options = {});

// Waits up to timeoutMs for a started process and returns its exit code. Throws std::runtime_error (and
// ends the process) when it does not end in time.
unsigned long waitForProcess(const UniqueHandle& process, const std::string& program, unsigned timeoutMs);

// The same with an argument vector, each argument quoted so the program's C runtime gives it back exactly.
unsigned long runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// Full path of a program built next to this test program (for example "log_probe.exe").
std::string siblingProgram(const std::string& fileName);

}  // namespace testing_support
