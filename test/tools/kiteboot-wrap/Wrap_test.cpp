// The version resource's file names, from the output's.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "Wrap.h"

namespace {

TEST(Wrap, TheOutputNamesTheVersionResourcesFileNames) {
    const struct {
        const char* output;
        const char* internal;
        const char* original;
    } cases[] = {
        {"dist/Acme Setup.exe", "Acme Setup", "Acme Setup.exe"},
        {"Setup.EXE", "Setup", "Setup.EXE"},
        {"/tmp/setup-4.2", "setup-4.2", "setup-4.2"},
    };
    for (const auto& c : cases) {
        wrap::WrapOptions options = wrap::parseCommandLine({}).options;
        options.output = c.output;
        const wrap::VersionFields fields = wrap::versionFields(options);
        EXPECT_EQ(fields.strings[3], std::make_pair(std::string("InternalName"), std::string(c.internal)));
        EXPECT_EQ(fields.strings[5],
                  std::make_pair(std::string("OriginalFilename"), std::string(c.original)));
    }
}

}  // namespace
