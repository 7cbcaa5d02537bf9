// kiteboot-wrap: makes a bootstrapper from the kiteboot stub and an installer, with no compiler.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "FilePath.h"
#include "Inspect.h"
#include "Interruption.h"
#include "StubLocation.h"
#include "Wrap.h"
#include "WrapError.h"

namespace {

constexpr int exitWritten = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

void report(const std::string& problem) {
    std::cerr << "kiteboot-wrap: " << problem << "\n";
}

// Standard output that cannot take the text (a full disk, a closed pipe) fails the run: a script that
// redirects --help, --version or --inspect to a file must not get an empty file and status 0.
bool flushed() {
    std::cout << std::flush;
    if (std::cout) return true;
    const int error = errno;
    report(std::string("cannot write to standard output: ") + std::strerror(error));
    return false;
}

int printed(const std::string& text) {
    std::cout << text;
    return flushed() ? exitWritten : exitFailed;
}

// arguments: UTF-8, after the program's own path.
int run(const std::vector<std::string>& arguments, const std::string& program) {
    wrap::ParsedCommandLine parsed = wrap::parseCommandLine(arguments);
    if ((parsed.help || parsed.toolVersion) && parsed.errors.empty())
        return printed(parsed.help ? wrap::usageText() : wrap::toolVersionText());
    if (!parsed.errors.empty() || arguments.empty()) {
        for (const std::string& error : parsed.errors)
            report(error);
        std::cerr << wrap::usageText();
        return exitUsage;
    }
    wrap::WrapOptions& options = parsed.options;
    if (!options.inspect.empty()) {
        if (!options.payload.empty() || !options.output.empty() || !options.stub.empty() ||
            !options.icon.empty()) {
            report("--inspect takes no other file");
            return exitUsage;
        }
        const int status = wrap::inspectBootstrapper(options.inspect, std::cout, std::cerr);
        return flushed() ? status : exitFailed;
    }
    // For tests: a small payload carried after the image, as one too large for it would be.
    const char* append = std::getenv("KITEBOOT_WRAP_APPEND_PAYLOAD");
    options.appendPayload = append && std::string(append) == "1";
    if (options.stub.empty()) {
        const std::string own = wrap::ownProgramPath();
        options.stub = wrap::findDefaultStub(own.empty() ? program : own);
    }
    const std::vector<std::string> problems = wrap::inputProblems(options);
    for (const std::string& problem : problems)
        report(problem);
    if (!problems.empty()) return exitFailed;
    wrap::catchInterruptions();
    wrap::wrapInstaller(options);
    return exitWritten;
}

// Every failure but the inputs' problems ends here, reported.
template <typename Run>
int reportingFailures(Run run) {
    try {
        return run();
    } catch (const wrap::WrapError& error) {
        report(error.what());
    } catch (const std::bad_alloc& error) {
        report(error.what());  // the one failure of the standard library not converted: it leaves no memory
    }
    return exitFailed;
}

}  // namespace

#ifdef _WIN32
// The arguments as Windows keeps them, in UTF-16: the narrow ones are in the process code page, which is
// UTF-8 only where Windows grants the manifest's request (Windows 10 1903 and later); elsewhere a name
// outside the locale's code page would arrive as "?".
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        try {
            arguments.push_back(wrap::pathText(std::filesystem::path(argv[i])));
        } catch (const wrap::WrapError&) {
            report("argument " + std::to_string(i) + " is not text (it holds half of a UTF-16 pair)");
            return exitUsage;
        }
    }
    return reportingFailures(
        [&] { return run(arguments, argc > 0 ? wrap::pathText(std::filesystem::path(argv[0])) : ""); });
}
#else
int main(int argc, char** argv) {
    return reportingFailures(
        [&] { return run(std::vector<std::string>(argv + 1, argv + argc), argc > 0 ? argv[0] : ""); });
}
#endif
