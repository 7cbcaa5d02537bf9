// Starts a program the way a user without elevation would, with a temporary directory of its own, and
// prints its exit code as an unsigned decimal number. For scripts that cannot start Windows programs
// with a limited token themselves.
//   limited_run <temp dir> <program> [arguments...]
// Exit code 0 when the program ran (whatever it returned), 2 for wrong usage or a failed start.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "support/Process.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: limited_run <temp dir> <program> [arguments...]\n");
        return 2;
    }
    testing_support::ProcessOptions options;
    options.environment["TEMP"] = argv[1];
    options.environment["TMP"] = argv[1];
    options.limitedToken = true;
    options.timeoutMs = 600000;
    const std::vector<std::string> arguments(argv + 3, argv + argc);
    try {
        const unsigned long exitCode = testing_support::runProcess(argv[2], arguments, options);
        std::printf("%lu\n", exitCode);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "limited_run: %s\n", error.what());
        return 2;
    }
}
