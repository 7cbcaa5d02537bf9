// The Linux side of Wine, for tests that must arrange what a Windows program cannot: Unix links, drive
// letters of the prefix. Each is empty or fails the test where the process does not run under Wine.
#pragma once

#include <string>

namespace testing_support {

// The Unix path of a Windows path, through Wine's own export; empty where there is none.
std::string unixPath(const std::string& path);

// Runs a Unix shell command (Wine starts Unix programs too) and waits for it.
void runShell(const std::string& command);

// Maps a drive letter of the prefix (its dosdevices link) to a directory while it lives; the letter is
// taken only when the prefix does not have it yet. ok() is false when it could not be made.
class MappedDrive {
public:
    MappedDrive(char letter, const std::string& directory);
    ~MappedDrive();
    MappedDrive(const MappedDrive&) = delete;
    MappedDrive& operator=(const MappedDrive&) = delete;

    bool ok() const { return !link_.empty(); }
    // "T:\"
    std::string root() const { return std::string(1, letter_) + ":\\"; }

private:
    char letter_;
    std::string link_;  // the dosdevices link's Unix path
};

}  // namespace testing_support
