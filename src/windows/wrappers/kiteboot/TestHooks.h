// Points where a test steps into a run of the launcher. Compiled in only where KITEBOOT_TEST_HOOKS is
// defined, which only test launchers are; the test that builds such a launcher defines the functions.
#pragma once

#include <string>

namespace kiteboot_test_hooks {

// Called once the payload lies at payloadPath inside secureDirectory, before the directory is checked.
void afterExtraction(const std::string& secureDirectory, const std::string& payloadPath);

}  // namespace kiteboot_test_hooks
