// Where kiteboot-wrap finds the stub when --stub is not given: beside the program (the release archive)
// or in ../share/kiteboot (an installed kiteboot).
#pragma once

#include <string>

namespace wrap {

constexpr const char* stubFileName = "kiteboot-stub.exe";

// program is the program's path as started (argv[0]); a bare name is looked up in the current directory
// and then in PATH, as the shell found it. Empty when no stub is found.
std::string findDefaultStub(const std::string& program);

}  // namespace wrap
