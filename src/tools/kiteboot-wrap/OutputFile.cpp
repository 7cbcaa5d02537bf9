#include "OutputFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "FilePath.h"
#include "Interruption.h"
#include "SystemFile.h"
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
    NewFile created;
    for (std::uint32_t i = 0; i < attempts; ++i) {
        temporary_ = temporaryName(path, random());
        const InterruptionsDeferred deferred;
        created = createNewFile(filePath(temporary_));
        if (created.file) {
            removeOnInterruption(filePath(temporary_));
            break;
        }
        if (!created.nameTaken) break;
    }
    if (!created.file)
        throw WrapError("cannot create '" + temporary_ + "' beside the output: " + created.error.message());
    file_.reset(created.file);
}

OutputFile::~OutputFile() {
    if (committed_) return;
    file_.reset();
    const InterruptionsDeferred deferred;
    std::error_code ignored;
    std::filesystem::remove(filePath(temporary_), ignored);
    keepOnInterruption();
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
    // On the disk before it takes the output's name: after a crash of the system the name holds either the
    // earlier file or the whole new one.
    if (!flushToDisk(file_.get())) failWrite();
    if (std::fclose(file_.release()) != 0) failWrite();
    std::error_code error;
    // Executable where the file system records it, as a linked program is.
    std::filesystem::permissions(filePath(temporary_),
                                 std::filesystem::perms::owner_exec | std::filesystem::perms::group_exec |
                                     std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add, error);
    {
        const InterruptionsDeferred deferred;
        std::filesystem::rename(filePath(temporary_), filePath(path_), error);
        if (!error) {
            keepOnInterruption();
            committed_ = true;
        }
    }
    if (error) throw WrapError("cannot rename '" + temporary_ + "' to '" + path_ + "': " + error.message());
}

}  // namespace wrap
