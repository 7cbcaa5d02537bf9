// A file kiteboot-wrap reads: the stub and the icon whole, the payload's headers at offsets and its bytes
// in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "ByteOrder.h"

namespace wrap {

class InputFile {
public:
    // Throws WrapError when the file cannot be opened.
    explicit InputFile(const std::string& path);

    // The file's size in bytes. Throws WrapError when it cannot be found.
    std::uint64_t size();
    // Up to count bytes at offset; fewer when the file ends before.
    Bytes readAt(std::uint64_t offset, std::size_t count);
    // The same into buffer; the count read.
    std::size_t readInto(std::uint64_t offset, std::uint8_t* buffer, std::size_t count);
    // The next bytes into buffer, at most size; the count read, 0 at the end. Throws WrapError on a read
    // error.
    std::size_t readNext(std::uint8_t* buffer, std::size_t size);

    static Bytes readWhole(const std::string& path);

private:
    std::string path_;
    std::ifstream stream_;
};

}  // namespace wrap
