// kiteboot-wrap's options.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "WrapDefaults.h"

namespace {

TEST(CommandLine, TakesOptionsWithSeparateOrJoinedValuesAndReportsEveryMistake) {
    const struct {
        std::vector<std::string> arguments;
        std::string payload, company;
        std::vector<std::string> errors;
    } cases[] = {
        {{"--payload", "a.exe", "--company=X=Y"}, "a.exe", "X=Y", {}},
        {{"--payload=", "--company", "--odd"}, "", "--odd", {}},
        {{"--payload"}, "", wrap::defaultCompany, {"option --payload needs a value"}},
        {{"--payload", "--company", "X"},
         "",
         "X",
         {"option --payload needs a value, but the option '--company' follows it"}},
        {{"--payload", "--help"},
         "",
         wrap::defaultCompany,
         {"option --payload needs a value, but the option '--help' follows it"}},
        {{"--payload", "a", "--payload", "b"},
         "b",
         wrap::defaultCompany,
         {"option --payload is given twice"}},
        {{"-x", "--out", "o"},
         "",
         wrap::defaultCompany,
         {"unknown option '-x'", "unknown option '--out'", "unknown option 'o'"}},
    };
    for (const auto& c : cases) {
        const wrap::ParsedCommandLine parsed = wrap::parseCommandLine(c.arguments);
        EXPECT_EQ(parsed.options.payload, c.payload) << c.arguments[0];
        EXPECT_EQ(parsed.options.company, c.company) << c.arguments[0];
        EXPECT_EQ(parsed.errors, c.errors) << c.arguments[0];
        EXPECT_EQ(parsed.options.version, wrap::defaultVersion);
    }
    EXPECT_TRUE(wrap::parseCommandLine({"--help"}).help);
}

// --version asks for the program's own version; the bootstrapper's is --file-version. A script written for
// the old spelling (--version 1.2.3.4) gets a usage error rather than a version printed and nothing wrapped.
TEST(CommandLine, VersionIsTheProgramsOwnAndFileVersionTheBootstrappers) {
    const wrap::ParsedCommandLine own = wrap::parseCommandLine({"--version"});
    EXPECT_TRUE(own.toolVersion);
    EXPECT_TRUE(own.errors.empty());
    EXPECT_EQ(wrap::toolVersionText(), std::string("kiteboot-wrap ") + wrap::toolVersion + "\n");
    const wrap::ParsedCommandLine file = wrap::parseCommandLine({"--file-version", "2.3.4.5"});
    EXPECT_FALSE(file.toolVersion);
    EXPECT_EQ(file.options.version, "2.3.4.5");
    const wrap::ParsedCommandLine old =
        wrap::parseCommandLine({"--payload", "a.exe", "--version", "2.3.4.5"});
    EXPECT_EQ(old.errors, std::vector<std::string>{"unknown option '2.3.4.5'"});
    EXPECT_EQ(old.options.version, wrap::defaultVersion);
}

}  // namespace
