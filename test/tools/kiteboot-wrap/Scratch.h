// A directory of a test's own in the system's temporary directory, removed with what it holds.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace testing_scratch {

class Scratch {
public:
    Scratch() {
        std::random_device random;
        path_ = std::filesystem::temp_directory_path() / ("kiteboot-wrap-test-" + std::to_string(random()));
        std::filesystem::create_directory(path_);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace testing_scratch
