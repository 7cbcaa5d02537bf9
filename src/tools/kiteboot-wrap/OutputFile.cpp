#include "OutputFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "FilePath.h"
#include "Interruption.h"
#include "OutputTarget.h"
#include "ShownText.h"
#include "SystemFile.h"
#include "WrapError.h"

namespace wrap {

namespace {

constexpr std::uint32_t attempts = 100;

// The first bytes of a UTF-8 name, cut before a character, not inside one.
std::string startOf(const std::string& name, std::size_t most) {
    if (name.size() <= most) return name;
    std::size_t cut = most;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xc0) == 0x80)
        --cut;
    return name.substr(0, cut);
}

}  // namespace

std::string OutputFile::temporaryName(const std::string& target, std::uint32_t attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", attempt);
    return directoryOf(target) + startOf(fileNameOf(target), temporaryStemLength) + suffix;
}

OutputFile::OutputFile(const std::string& output) : output_(output) {
    const OutputTarget target = outputTarget(output);
    if (!target.problem.empty()) throw WrapError(target.problem);
    target_ = target.path;
    std::random_device random;
    NewFile created;
    for (std::uint32_t i = 0; i < attempts; ++i) {
        temporary_ = temporaryName(target_, random());
        const InterruptionsDeferred deferred;
        created = createNewFile(filePath(temporary_));
        if (created.file) {
            removeOnInterruption(filePath(temporary_));
            break;
        }
        if (!created.nameTaken) break;
    }
    if (!created.file)
        throw WrapError("cannot create " + inQuotes(temporary_) +
                        " beside the output: " + created.error.message());
    file_.reset(created.file);
    if (target.exists && !copyPermissions(file_.get(), filePath(target_)))
        throw WrapError("cannot give " + inQuotes(temporary_) + " the permissions of " + inQuotes(target_) +
                        ": " + std::strerror(errno));
}

OutputFile::~OutputFile() {
    if (committed_) return;
    file_.reset();
    const InterruptionsDeferred deferred;
    std::error_code ignored;
    std::filesystem::remove(filePath(temporary_), ignored);
    keepOnInterruption();
}

void OutputFile::fail(const std::string& what) const {
    throw WrapError("cannot " + what + " " + inQuotes(temporary_) + ": " + std::strerror(errno));
}

void OutputFile::write(const std::uint8_t* data, std::size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_.get()) != size) fail("write");
    position_ += size;
}

void OutputFile::overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    // Only header fields are overwritten; they lie far below the 2 GiB fseek reaches everywhere.
    if (std::fseek(file_.get(), static_cast<long>(offset), SEEK_SET) != 0 ||
        std::fwrite(data, 1, size, file_.get()) != size || std::fseek(file_.get(), 0, SEEK_END) != 0)
        fail("write");
}

Bytes OutputFile::readAt(std::uint64_t offset, std::size_t count) {
    Bytes bytes(count);
    bytes.resize(readInto(offset, bytes.data(), count));
    return bytes;
}

std::size_t OutputFile::readInto(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const long long read = readFileAt(file_.get(), offset + done, buffer + done, count - done);
        if (read < 0) fail("read back");
        if (read == 0) break;
        done += static_cast<std::size_t>(read);
    }
    return done;
}

void OutputFile::commit() {
    // On the disk before it takes the output's name: after a crash of the system the name holds either the
    // earlier file or the whole new one.
    if (!flushToDisk(file_.get())) fail("write");
    if (std::fclose(file_.release()) != 0) fail("write");
    std::error_code error;
    {
        const InterruptionsDeferred deferred;
        // Looked at again right before it is replaced: what was a file when the run began may not be now.
        const std::string kind = notRegularFile(std::filesystem::symlink_status(filePath(target_), error));
        if (!kind.empty())
            throw WrapError("--output " + inQuotes(output_) + " became " + kind +
                            " while the bootstrapper was written: only a regular file is replaced");
        std::filesystem::rename(filePath(temporary_), filePath(target_), error);
        if (!error) {
            keepOnInterruption();
            committed_ = true;
        }
    }
    if (error)
        throw WrapError("cannot rename " + inQuotes(temporary_) + " to " + inQuotes(target_) + ": " +
                        error.message());
}

}  // namespace wrap
