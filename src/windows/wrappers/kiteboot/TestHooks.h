// Points where a test steps into a run of the launcher. Compiled in only where KITEBOOT_TEST_HOOKS is
// defined, which only test launchers are; the test that builds such a launcher defines the functions.
#pragma once

#include <string>

#include "windows/common/Resources.h"

namespace kiteboot_test_hooks {

// Called first in a run, before the launcher writes any record.
void atStart();

// Called once the secure directory exists, before the payload is extracted from the launcher at
// launcherPath.
void beforeExtraction(const std::string& launcherPath);

// Called once the payload lies at payloadPath inside secureDirectory, before the directory is checked;
// source tells where extraction read it from.
void afterExtraction(const std::string& secureDirectory, const std::string& payloadPath,
                     Resource::Source source);

// Called for each leftover directory at path that passed every other check, with decided, the launcher's
// own decision on its descriptor; returns the decision to act on.
bool carriesOurDescriptor(const std::string& path, bool decided);

// Called once the start path and the working directory have been checked, just before the payload is
// started.
void beforeStart();

}  // namespace kiteboot_test_hooks
