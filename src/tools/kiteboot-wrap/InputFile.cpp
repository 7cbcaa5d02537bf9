#include "InputFile.h"

#include <iterator>
#include <system_error>

#include "FilePath.h"
#include "ShownText.h"
#include "WrapError.h"

namespace wrap {

InputFile::InputFile(const std::string& path) : path_(path), stream_(filePath(path), std::ios::binary) {
    if (!stream_) {
        const std::error_code cause = errnoCause();
        throw systemError("cannot open " + inQuotes(path) + " for reading", cause);
    }
}

std::uint64_t InputFile::size() {
    stream_.clear();
    stream_.seekg(0, std::ios::end);
    const std::streamoff end = stream_.tellg();
    if (!stream_ || end < 0) throw WrapError("cannot read " + inQuotes(path_));
    return static_cast<std::uint64_t>(end);
}

Bytes InputFile::readAt(std::uint64_t offset, std::size_t count) {
    Bytes bytes(count);
    bytes.resize(readInto(offset, bytes.data(), count));
    return bytes;
}

std::size_t InputFile::readInto(std::uint64_t offset, std::uint8_t* buffer, std::size_t count) {
    stream_.clear();
    stream_.seekg(static_cast<std::streamoff>(offset));
    if (!stream_) return 0;
    stream_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(stream_.gcount());
}

std::size_t InputFile::readNext(std::uint8_t* buffer, std::size_t size) {
    stream_.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
    if (stream_.bad()) {
        const std::error_code cause = errnoCause();
        throw systemError("cannot read " + inQuotes(path_), cause);
    }
    return static_cast<std::size_t>(stream_.gcount());
}

Bytes InputFile::readWhole(const std::string& path) {
    InputFile file(path);
    Bytes bytes((std::istreambuf_iterator<char>(file.stream_)), std::istreambuf_iterator<char>());
    if (file.stream_.bad()) {
        const std::error_code cause = errnoCause();
        throw systemError("cannot read " + inQuotes(path), cause);
    }
    return bytes;
}

}  // namespace wrap
