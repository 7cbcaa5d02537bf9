#include "OutputFile.h"

#include <exception>
#include <filesystem>
#include <optional>
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

// The numbers of the temporary names, from the system's random source.
class NameNumbers {
public:
    NameNumbers() {
        try {
            source_.emplace();
        } catch (const std::exception& error) {
            throw WrapError(std::string("cannot make a temporary name beside the output: ") + error.what());
        }
    }
    std::uint32_t next() {
        try {
            return (*source_)();
        } catch (const std::exception& error) {
            throw WrapError(std::string("cannot make a temporary name beside the output: ") + error.what());
        }
    }

private:
    std::optional<std::random_device> source_;
};

}  // namespace

std::string OutputFile::temporaryName(const std::string& target, std::uint32_t attempt) {
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.tmp", attempt);
    return directoryOf(target) + startOf(fileNameOf(target), temporaryStemLength) + suffix;
}

OutputFile::OutputFile(const std::string& output) : output_(output) {
    const OutputTarget target = outputTarget(output);
    throwIfProblem(target.problem);
    target_ = target.path;
    NameNumbers numbers;
    for (std::uint32_t i = 0; i < attempts && !file_; ++i) {
        temporary_ = temporaryName(target_, numbers.next());
        const InterruptionsDeferred deferred;
        file_.reset(createNewFile(filePath(temporary_),
                                  "cannot create " + inQuotes(temporary_) + " beside the output"));
        if (file_) removeOnInterruption(filePath(temporary_));
    }
    if (!file_)
        throw systemError("cannot create " + inQuotes(temporary_) + " beside the output",
                          std::make_error_code(std::errc::file_exists));
    if (target.exists)
        copyPermissions(file_.get(), filePath(target_),
                        "cannot give " + inQuotes(temporary_) + " the permissions of " + inQuotes(target_));
}

OutputFile::~OutputFile() {
    if (committed_) return;
    flush_.reset();
    file_.reset();
    const InterruptionsDeferred deferred;
    std::error_code ignored;
    std::filesystem::remove(filePath(temporary_), ignored);
    keepOnInterruption();
}

void OutputFile::fail(const std::string& what) const {
    const std::error_code cause = errnoCause();
    throw systemError("cannot " + what + " " + inQuotes(temporary_), cause);
}

void OutputFile::write(const std::uint8_t* data, std::size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, file_.get()) != size) fail("write");
    position_ += size;
    // The disk works while the rest is hashed and written, instead of all of it in commit()'s flush.
    if (position_ - sentToDisk_ >= sendToDiskEvery) {
        startWritingToDisk(file_.get(), sentToDisk_, position_ - sentToDisk_,
                           "cannot write " + inQuotes(temporary_));
        sentToDisk_ = position_;
    }
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
        const std::size_t read = readFileAt(file_.get(), offset + done, buffer + done, count - done,
                                            "cannot read back " + inQuotes(temporary_));
        if (read == 0) break;
        done += read;
    }
    return done;
}

// On Windows every operation on a synchronous handle waits for the one under way ("All I/O on a
// synchronous file handle is serialized", The Old New Thing, 2013-08-22), so there the check's reads wait
// for the flush: the same result, only without the overlap.
void OutputFile::startFlush() {
    if (std::fflush(file_.get()) != 0) fail("write");
    std::FILE* file = file_.get();
    const std::string failure = "cannot write " + inQuotes(temporary_);
    flush_ = std::make_unique<BackgroundTask>([file, failure] { flushToDisk(file, failure); });
}

void OutputFile::commit() {
    // On the disk before it takes the output's name: after a crash of the system the name holds either the
    // earlier file or the whole new one.
    if (flush_) {
        flush_->wait();
        flush_.reset();
    } else {
        flushToDisk(file_.get(), "cannot write " + inQuotes(temporary_));
    }
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
    if (error) throw systemError("cannot rename " + inQuotes(temporary_) + " to " + inQuotes(target_), error);
}

}  // namespace wrap
