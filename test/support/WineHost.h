// The Linux side of Wine, for tests that must arrange what a Windows program cannot: Unix links, drive
// letters of the prefix. Each is empty or fails the test where the process does not run under Wine.
#pragma once

#include <string>

namespace testing_support {

// The Unix path of a Windows path, through Wine's own export; empty where there is none.
std::string unixPath(const std::string& path);

// Runs a Unix shell command (Wine starts Unix programs too) and waits for it.
void runShell(const std::string& command);

// A link in the prefix's dosdevices directory to a directory while it lives: name "t:" maps the drive T:
// (root "T:\\"), "unc/server/share" the network share \\\\server\\share (root "\\\\server\\share\\"). It is
// made only when root does not exist yet. ok() is false when it could not be made.
class DeviceLink {
public:
    DeviceLink(const std::string& name, const std::string& root, const std::string& directory);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    bool ok() const { return !name_.empty(); }
    const std::string& root() const { return root_; }

private:
    std::string root_;
    std::string devices_;  // the prefix's dosdevices folder (Unix path)
    std::string name_;     // the link's name in it, once made
};

}  // namespace testing_support
