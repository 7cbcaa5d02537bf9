// Entry point of every test program: each run gets a temporary directory of its own, so log files and
// temporary names of one run never meet those of another.
#include <gtest/gtest.h>

#include <string>

#include "common/windows/WinHeaders.h"
#include "support/TempDir.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    int result = 1;
    {
        testing_support::TempDir runTemp("kbrun");
        SetEnvironmentVariableA("TEMP", runTemp.path().c_str());
        SetEnvironmentVariableA("TMP", runTemp.path().c_str());
        result = RUN_ALL_TESTS();
    }
    return result;
}
