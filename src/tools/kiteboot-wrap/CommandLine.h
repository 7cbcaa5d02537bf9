// kiteboot-wrap's command line: the options, their defaults and the usage text.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace wrap {

struct WrapOptions {
    std::string payload;
    std::string output;
    std::string stub;  // empty: kiteboot-stub.exe found beside the program
    std::string icon;  // empty: the stub's icon
    std::string version;
    std::string company;
    std::string product;
    std::string description;
    std::string copyright;
    std::string inspect;         // --inspect FILE: report on a bootstrapper instead of writing one
    bool appendPayload = false;  // the payload after the image even when it fits (for tests)
};

struct ParsedCommandLine {
    bool help = false;
    bool toolVersion = false;  // --version: the program's own version, not the bootstrapper's
    WrapOptions options;
    std::vector<std::string> errors;  // unknown options, missing values, options given twice
};

// The arguments after the program name. Options not given keep kiteboot's defaults.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

// What --version prints: the program's name and version.
std::string toolVersionText();

}  // namespace wrap
