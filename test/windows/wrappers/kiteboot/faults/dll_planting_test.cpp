// Libraries planted under the names of system libraries the launcher loads while it runs (user32 for the
// administrator notice, ntdll and kernel32 for the version) in the launcher's directory and in its current
// directory are not loaded. Wine must be told to prefer a native user32 over its own, so that a planted
// copy is a real candidate: Wine reads that from the environment of its Linux process, so the test is run
// with WINEDLLOVERRIDES=user32=n,b (CTest sets it). A program that does not harden its search shows that
// the planted copy is then loaded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"
#include "windows/wrappers/kiteboot/LaunchRun.h"

namespace launch_testing {
namespace {

using testing_support::ParsedRecord;
using testing_support::TempDir;
using Lines = std::vector<std::string>;

const char* const kPlantedNames[] = {"user32.dll", "ntdll.dll", "kernel32.dll"};

class DllPlanting : public testing::Test {
protected:
    void SetUp() override {
        const std::string planted = testing_support::siblingProgram("planted_library.dll");
        for (const TempDir* directory : {&app, &cwd}) {
            for (const char* name : kPlantedNames)
                ASSERT_TRUE(CopyFileA(planted.c_str(), (*directory / name).c_str(), FALSE)) << name;
        }
        ASSERT_TRUE(CopyFileA(testing_support::siblingProgram("probe_launcher.exe").c_str(),
                              (app / "setup.exe").c_str(), FALSE));
    }

    // Options that record any load of a planted copy.
    void prepare(testing_support::ProcessOptions& options) const {
        options.environment["KITEBOOT_PLANT_MARKER"] = marker();
        options.environment["DISPLAY"] = "";  // the notice returns at once instead of waiting for a click
        options.currentDirectory = cwd.path();
    }

    std::string marker() const { return outside / "loaded.txt"; }
    // The planted copies that were loaded, one path a line.
    Lines loaded() const {
        Lines paths;
        if (!testing_support::exists(marker())) return paths;
        const std::string text = testing_support::readFile(marker());
        for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
            end = text.find('\n', start);
            paths.push_back(text.substr(start, end - start));
        }
        return paths;
    }

    TempDir app{"kbapp"};
    TempDir cwd{"kbcwd"};
    TempDir outside{"kbout"};
};

TEST_F(DllPlanting, NotLoadedForTheAdministratorNotice) {
    LaunchRun run(app / "setup.exe");
    prepare(run.options);
    run.options.limitedToken = true;
    EXPECT_EQ(run.run(), kFailure);
    EXPECT_EQ(loaded(), Lines{});
    // The notice was shown (user32 loaded from the system directory) before the refusal was logged.
    const std::vector<ParsedRecord> log = run.records();
    EXPECT_EQ(summarize(log),
              Lines{summary("ERROR", kRun,
                            "Administrator privileges are required to run this application, exiting.")});
}

TEST_F(DllPlanting, NotLoadedInAWholeRun) {
    LaunchRun run(app / "setup.exe");
    prepare(run.options);
    run.options.environment[probe::kExitVariable] = std::to_string(4);
    EXPECT_EQ(run.run({"/s"}), 4u);
    EXPECT_TRUE(run.payloadRan());
    EXPECT_EQ(loaded(), Lines{});
    EXPECT_EQ(run.tempEntries(), Lines{"morvane.log"});
}

TEST_F(DllPlanting, AProgramThatDoesNotHardenItsSearchLoadsTheCopyBesideIt) {
    ASSERT_TRUE(CopyFileA(testing_support::siblingProgram("unhardened_loader.exe").c_str(),
                          (app / "loader.exe").c_str(), FALSE));
    testing_support::ProcessOptions options;
    prepare(options);
    EXPECT_EQ(testing_support::runProcess(app / "loader.exe", {"user32.dll"}, options), 0u);
    EXPECT_EQ(loaded(), Lines{app / "user32.dll"})
        << "without WINEDLLOVERRIDES=user32=n,b in the Linux environment "
           "Wine does not consider a planted user32";
}

}  // namespace
}  // namespace launch_testing
