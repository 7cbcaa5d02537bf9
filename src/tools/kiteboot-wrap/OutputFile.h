// The bootstrapper's file, written under a temporary name beside it and renamed into place only when it is
// complete: a failed or interrupted run never leaves a half-written file at the output path, and the
// temporary file is removed on every road out (an interruption's handler removes it by its name).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace wrap {

class OutputFile {
public:
    // Creates a new temporary file in the output's directory. Throws WrapError when it cannot.
    explicit OutputFile(const std::string& path);
    // Deletes the temporary file unless commit() succeeded. Never throws.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Throws WrapError on a failed write (a full disk, for example).
    void write(const std::uint8_t* data, std::size_t size);
    // Overwrites bytes already written, at offset.
    void overwrite(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    std::uint64_t position() const { return position_; }

    // Flushes the file to the disk, closes it and renames it to the output path, replacing a file there.
    void commit();

    // The temporary name beside path that attempt number `attempt` uses.
    static std::string temporaryName(const std::string& path, std::uint32_t attempt);

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    [[noreturn]] void failWrite() const;

    std::string path_;
    std::string temporary_;
    std::unique_ptr<std::FILE, Closer> file_;
    std::uint64_t position_ = 0;
    bool committed_ = false;
};

}  // namespace wrap
