// The bootstrapper's file, written under a temporary name beside it and renamed into place only when it is
// complete and checked: a failed or interrupted run never leaves a half-written file at the output path,
// and the temporary file is removed on every road out (an interruption's handler removes it by its name).
// What is replaced is outputTarget's (OutputTarget.h): a regular file, or the file a symbolic link leads to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "BackgroundTask.h"
#include "ByteOrder.h"
#include "ImageWriter.h"

namespace wrap {

class OutputFile : public ImageSink {
public:
    // Creates a new temporary file in the directory of the file output names. Throws WrapError when it
    // cannot, or when output names something that is not to be replaced.
    explicit OutputFile(const std::string& output);
    // Deletes the temporary file unless commit() succeeded. Never throws.
    ~OutputFile() override;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Throws WrapError on a failed write (a full disk, for example).
    void write(const std::uint8_t* data, std::size_t size) override;
    void overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size) override;
    std::uint64_t position() const override { return position_; }

    // Up to count bytes written at offset, read back from the file. Throws WrapError on a failed read.
    Bytes readAt(std::uint64_t offset, std::size_t count);
    std::size_t readInto(std::uint64_t offset, std::uint8_t* buffer, std::size_t count);
    // The file's name while it is written, for messages.
    const std::string& temporaryPath() const { return temporary_; }

    // Starts flushing the file to the disk on a thread of its own, so that it can be read back and checked
    // meanwhile; commit() waits for the flush. Nothing is written after it. Throws WrapError when the
    // stream's buffer cannot be written.
    void startFlush();

    // Flushes the file to the disk (or waits for the flush started), closes it and renames it to the output,
    // replacing a file there; its permissions are those of the file it replaces, or 0777 less the umask for a
    // new file.
    void commit();

    // The temporary name beside target that attempt number `attempt` uses: the start of the target's
    // file name (at most temporaryStemLength bytes) and ".<8 hex digits>.tmp", so that it fits wherever
    // the target's name does.
    static std::string temporaryName(const std::string& target, std::uint32_t attempt);
    static constexpr std::size_t temporaryStemLength = 32;
    // How many bytes written are sent on to the disk at a time (SystemFile.h).
    static constexpr std::uint64_t sendToDiskEvery = 64 << 20;

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    [[noreturn]] void fail(const std::string& what) const;

    std::string output_;  // as given
    std::string target_;  // the file replaced
    std::string temporary_;
    std::unique_ptr<std::FILE, Closer> file_;
    std::unique_ptr<BackgroundTask> flush_;  // ended before the file is closed
    std::uint64_t position_ = 0;
    std::uint64_t sentToDisk_ = 0;  // the bytes before it were sent on to the disk by startWritingToDisk
    bool committed_ = false;
};

}  // namespace wrap
