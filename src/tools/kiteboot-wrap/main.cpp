// kiteboot-wrap: makes a bootstrapper from the kiteboot stub and an installer, with no compiler.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Interruption.h"
#include "StubLocation.h"
#include "Wrap.h"

namespace {

constexpr int exitWritten = 0;
constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

void report(const std::string& problem) {
    std::cerr << "kiteboot-wrap: " << problem << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    wrap::ParsedCommandLine parsed = wrap::parseCommandLine(arguments);
    if (parsed.help && parsed.errors.empty()) {
        std::cout << wrap::usageText();
        return exitWritten;
    }
    if (parsed.toolVersion && parsed.errors.empty()) {
        std::cout << wrap::toolVersionText();
        return exitWritten;
    }
    if (!parsed.errors.empty() || arguments.empty()) {
        for (const std::string& error : parsed.errors)
            report(error);
        std::cerr << wrap::usageText();
        return exitUsage;
    }
    wrap::WrapOptions& options = parsed.options;
    if (options.stub.empty()) options.stub = wrap::findDefaultStub(argc > 0 ? argv[0] : "");
    const std::vector<std::string> problems = wrap::inputProblems(options);
    for (const std::string& problem : problems)
        report(problem);
    if (!problems.empty()) return exitFailed;
    try {
        wrap::catchInterruptions();
        wrap::wrapInstaller(options);
    } catch (const std::exception& error) {
        report(error.what());
        return exitFailed;
    }
    return exitWritten;
}
