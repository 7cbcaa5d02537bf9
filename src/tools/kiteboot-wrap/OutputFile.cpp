#include "OutputFile.h"

#include <cerrno>
#include <filesystem>
#include <cstring>
#include <random>
#include <system_error>

#include "WrapError.h"

namespace wrap {

namespace {

constexpr std::uint32_t attempts = 100;

}  // namespace

std::string OutputFile::temporaryName(const std::string& path, std::uint32_t attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", attempt);
    return path + suffix;
}

OutputFile::OutputFile(const std::string& path) : path_(path) {
    std::random_device random;
    for (std::uint32_t i = 0; i < attempts && !file_; ++i) {
        temporary_ = temporaryName(path, random());
        // "x": a new file only, never one that exists.
        file_.reset(std::fopen(temporary_.c_str(), "wbx"));
        if (!file_ && errno != EEXIST) break;
    }
    if (!file_)
        throw WrapError("cannot create '" + temporary_ + "' beside the output: " + std::strerror(errno));
}

OutputFile::~OutputFile() {
    if (committed_) return;
    file_.reset();
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
}

void OutputFile::failWrite() const {
    throw WrapError("cannot write '" + temporary_ + "': " + std::strerror(errno));
}

void OutputFile::write(const std::uint8_t* data, std::size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_.get()) != size) failWrite();
    position_ += size;
}

void OutputFile::overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    // Only header fields are overwritten; they lie far below the 2 GiB fseek reaches everywhere.
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, file_.get()) != size || std::fseek(file_.get(), 0, SEEK_END) != 0)
        failWrite();
}

void OutputFile::commit() {
    std::FILE* file = file_.release();
    if (std::fclose(file) != 0) failWrite();
    std::error_code error;
    // Executable where the file system records it, as a linked program is.
    std::filesystem::permissions(temporary_,
                                 std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                     std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::rename(temporary_, path_, error);
    if (error) throw WrapError("cannot rename '" + temporary_ + "' to '" + path_ + "': " + error.message());
    committed_ = true;
}

}  // namespace wrap
