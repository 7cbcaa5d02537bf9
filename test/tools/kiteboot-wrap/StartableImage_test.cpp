// What Windows needs of an image to start it, and a manifest that asks for administrator rights.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "StartableImage.h"
#include "StubModel.h"
#include "WrapError.h"

namespace {

TEST(StartableImage, DllsConsolesAndSectionsOrDirectoriesOutsideTheImageAreRefusedSayingWhat) {
    const wrap::Bytes file(0x1e00);
    const std::string damaged = "stub 's.exe' is damaged: ";
    const struct {
        const char* what;
        std::function<void(wrap::PeImage&)> damage;
        std::string problem;
    } cases[] = {
        {"the stub", [](wrap::PeImage&) {}, ""},
        {"a DLL", [](wrap::PeImage& s) { s.characteristics = 0x2022; },
         "stub 's.exe' is marked as a DLL (Characteristics 0x2022): Windows does not start a DLL as a "
         "program"},
        {"a console program", [](wrap::PeImage& s) { s.subsystem = 3; },
         "stub 's.exe' is not a Windows GUI program (its Subsystem is 3, a GUI program's is 2)"},
        {"sections out of order", [](wrap::PeImage& s) { std::swap(s.sections[0], s.sections[1]); },
         damaged +
             "section 2 '.text' starts at 0x1000 in memory, but the sections must follow one another in "
             "order and it should start at 0x4000, after section 1 '.rsrc'"},
        {"a gap between sections", [](wrap::PeImage& s) { s.sections[1].virtualAddress = 0x4000; },
         damaged +
             "section 2 '.rsrc' starts at 0x4000 in memory, but the sections must follow one another in "
             "order and it should start at 0x3000, after section 1 '.text'"},
        {"a section past SizeOfImage", [](wrap::PeImage& s) { s.sizeOfImage = 0x4000; },
         damaged + "section 3 '.reloc' ends at 0x4050 in memory, past its SizeOfImage 0x4000"},
        {"contents that overlap in the file", [](wrap::PeImage& s) { s.sections[1].rawPointer = 0x1600; },
         damaged + "section 2 '.rsrc' lies at 0x1600 in the file, before 0x1800 where the headers or the "
                   "section before it end"},
        {"relocations of 0xffffffff bytes", [](wrap::PeImage& s) { s.directories[5].size = 0xffffffff; },
         damaged + "its base relocation directory (4294967295 bytes at 0x4000) passes the end of its image "
                   "(SizeOfImage 0x5000)"},
        {"imports in the resources", [](wrap::PeImage& s) { s.directories[1].virtualAddress = 0x2ff0; },
         damaged + "its import directory (40 bytes at 0x2ff0) reaches into its resource section or past it, "
                   "which kiteboot-wrap rewrites"},
        {"a certificate table past the file",
         [](wrap::PeImage& s) {
             s.directories[4] = {0x1e00, 8};
         },
         damaged + "its certificate directory (8 bytes at 0x1e00) passes the end of the file"},
        {"FileAlignment of 16", [](wrap::PeImage& s) { s.fileAlignment = 16; },
         damaged + "its FileAlignment 0x10 is not from 0x200 to 0x10000"},
    };
    for (const auto& c : cases) {
        wrap::PeImage stub = wrap_test::threeSectionStub();
        c.damage(stub);
        try {
            wrap::requireStartable(stub, wrap::ByteSource::ofBytes("stub 's.exe'", file));
            EXPECT_EQ(c.problem, "") << c.what;
        } catch (const wrap::WrapError& error) {
            EXPECT_EQ(error.what(), c.problem) << c.what;
        }
    }
}

TEST(StartableImage, OnlyAManifestThatAsksForAdministratorRightsIsTaken) {
    const auto manifest = [](const std::string& text) {
        return wrap::numberedResource(24, 1, wrap::Bytes(text.begin(), text.end()));
    };
    const std::string unelevated =
        ": Windows would start the bootstrapper without asking for administrator rights";
    const struct {
        const char* what;
        wrap::ResourceList resources;
        std::string problem;
    } cases[] = {
        {"kiteboot's",
         {manifest("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>")},
         ""},
        {"a prefix, single quotes, spaces",
         {manifest("<ms:requestedExecutionLevel\n uiAccess='false' level = 'requireAdministrator'/>")},
         ""},
        {"asInvoker",
         {manifest("<requestedExecutionLevel level=\"asInvoker\"/>")},
         "stub 's.exe' has a manifest (RT_MANIFEST 1) that does not ask for administrator rights "
         "(requestedExecutionLevel level=\"requireAdministrator\")" +
             unelevated},
        {"another attribute's value",
         {manifest("<requestedExecutionLevel xlevel=\"requireAdministrator\" level=\"asInvoker\"/>")},
         "stub 's.exe' has a manifest (RT_MANIFEST 1) that does not ask for administrator rights "
         "(requestedExecutionLevel level=\"requireAdministrator\")" +
             unelevated},
        {"another element",
         {manifest("<requestedExecutionLevelX level=\"requireAdministrator\"/>")},
         "stub 's.exe' has a manifest (RT_MANIFEST 1) that does not ask for administrator rights "
         "(requestedExecutionLevel level=\"requireAdministrator\")" +
             unelevated},
        {"empty", {manifest("")}, "stub 's.exe' has an empty manifest (RT_MANIFEST 1)" + unelevated},
        {"none",
         {wrap::numberedResource(24, 2, wrap::Bytes(3, 'm'))},
         "stub 's.exe' has no manifest (RT_MANIFEST 1)" + unelevated},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::manifestProblem("stub 's.exe'", c.resources), c.problem) << c.what;
}

}  // namespace
