// Where kiteboot-wrap finds the stub when --stub is not given: beside the program (the release archive)
// or in ../share/kiteboot (an installed kiteboot). "The program" is the executable's own file, as the
// system knows it: started through a symbolic link on PATH, the program is where the link leads.
#pragma once

#include <string>

namespace wrap {

constexpr const char* stubFileName = "kiteboot-stub.exe";

// The program's own file: /proc/self/exe on Linux, GetModuleFileNameW on Windows; "" where the system
// does not say.
std::string ownProgramPath();

// program is the program's own path (ownProgramPath), or, where the system does not say, its path as
// started (argv[0]), a bare name then looked up in the current directory and in PATH, as the shell found
// it. Empty when no stub is found.
std::string findDefaultStub(const std::string& program);

}  // namespace wrap
