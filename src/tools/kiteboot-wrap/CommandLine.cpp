#include "CommandLine.h"

#include <set>
#include <utility>

#include "ShownText.h"
#include "WrapDefaults.h"

namespace wrap {

namespace {

std::vector<std::pair<std::string, std::string WrapOptions::*>> optionFields() {
    return {{"--payload", &WrapOptions::payload},
            {"--output", &WrapOptions::output},
            {"--stub", &WrapOptions::stub},
            {"--icon", &WrapOptions::icon},
            {"--file-version", &WrapOptions::version},
            {"--company", &WrapOptions::company},
            {"--product", &WrapOptions::product},
            {"--description", &WrapOptions::description},
            {"--copyright", &WrapOptions::copyright},
            {"--inspect", &WrapOptions::inspect}};
}

// Whether an argument is one of the options (alone or with its value joined): then it cannot be the value
// of the option before it, which lacks one (`--payload --output X`). A value that only starts with "--" is
// still taken; --company=--payload gives one that is an option's name.
bool isOption(const std::string& argument) {
    const std::string name = argument.substr(0, argument.find('='));
    if (name == "--help" || name == "-h" || name == "--version") return true;
    for (const auto& [option, member] : optionFields())
        if (option == name) return true;
    return false;
}

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    WrapOptions& options = parsed.options;
    options.version = defaultVersion;
    options.company = defaultCompany;
    options.product = defaultProduct;
    options.description = defaultDescription;
    options.copyright = defaultCopyright;
    const auto fields = optionFields();
    std::set<std::string> given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            parsed.help = true;
            continue;
        }
        if (argument == "--version") {
            parsed.toolVersion = true;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        std::string WrapOptions::*field = nullptr;
        for (const auto& [option, member] : fields)
            if (option == name) field = member;
        if (!field) {
            parsed.errors.push_back("unknown option " + inQuotes(argument));
            continue;
        }
        if (!given.insert(name).second) parsed.errors.push_back("option " + shown(name) + " is given twice");
        if (equals != std::string::npos) {
            options.*field = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size() && !isOption(arguments[i + 1])) {
            options.*field = arguments[++i];
        } else if (i + 1 < arguments.size()) {
            parsed.errors.push_back("option " + name + " needs a value, but the option " +
                                    inQuotes(arguments[i + 1]) + " follows it");
        } else {
            parsed.errors.push_back("option " + name + " needs a value");
        }
    }
    return parsed;
}

std::string usageText() {
    return std::string(
               "Usage: kiteboot-wrap --payload <installer.exe> --output <setup.exe> [--stub <stub.exe>]\n"
               "                     [--icon <file.ico>] [--file-version a.b.c.d] [--company T]\n"
               "                     [--product T] [--description T] [--copyright T]\n"
               "       kiteboot-wrap --inspect <setup.exe>\n"
               "       kiteboot-wrap --help | --version\n"
               "\n"
               "Writes a kiteboot bootstrapper: the stub with the installer as its resource RT_RCDATA 100 "
               "(or,\n"
               "too large for a 2 GiB image, after the image, recorded with its SHA-256 in RT_RCDATA 101), "
               "the\n"
               "icon as icon group 101 and the version information from the options. The output is written\n"
               "beside its final name, read back and checked (an executable Windows starts, carrying the\n"
               "installer byte for byte), and renamed when complete.\n"
               "\n"
               "  --payload      the installer, a 64-bit Windows executable (required)\n"
               "  --output       the bootstrapper to write; a regular file there is replaced, through a\n"
               "                 symbolic link the file it leads to; anything else is refused (required)\n"
               "  --stub         the launcher to start from (default: kiteboot-stub.exe beside this "
               "program)\n"
               "  --icon         an .ico file (default: the kiteboot kite)\n"
               "  --file-version file and product version, four numbers from 0 to 65535 (default: ") +
           defaultVersion + ")\n  --company      CompanyName (default: \"" + defaultCompany +
           "\")\n  --product      ProductName (default: \"" + defaultProduct +
           "\")\n  --description  FileDescription (default: \"" + defaultDescription +
           "\")\n  --copyright    LegalCopyright (default: \"" + defaultCopyright +
           "\")\n  --inspect      prints how a bootstrapper carries its payload, the payload's size and "
           "SHA-256, "
           "the\n                 version texts and its signature's place; exit status 0 sound, 1 not a "
           "kiteboot\n                 bootstrapper or damaged, 3 the payload changed or a signature over it"
           "\n  --help         prints this text\n  --version      prints kiteboot-wrap's own "
           "version\n\nTexts are UTF-8 without line breaks or tabs. Exit status: 0 written, 1 refused or "
           "failed, "
           "2 usage error.\n";
}

std::string toolVersionText() {
    return std::string("kiteboot-wrap ") + toolVersion + "\n";
}

}  // namespace wrap
