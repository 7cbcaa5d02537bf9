#include "windows/common/Resources.h"

#include <algorithm>
#include <fstream>

#include "common/windows/WinErrorHandling.h"
#include "windows/common/FileUtils.h"

namespace {

std::string identifierText(unsigned id) {
    // Appended rather than "#" + to_string(id): GCC 12 at -O3 warns falsely (-Wrestrict) on the latter.
    std::string text = "#";
    text += std::to_string(id);
    return text;
}

// String tables are stored in blocks of 16 strings; block n + 1 holds identifiers 16n to 16n + 15.
LPCSTR stringBlockName(unsigned id) {
    return MAKEINTRESOURCEA(static_cast<WORD>((id >> 4) + 1));
}

}  // namespace

const void* stringTableEntry(const void* block, unsigned id, std::uint32_t& size) {
    auto units = static_cast<const WORD*>(block);
    for (unsigned skip = id & 15; skip > 0; --skip)
        units += *units + 1;
    size = static_cast<std::uint32_t>(*units) * 2;
    return units + 1;
}

Resource::Resource(unsigned name, unsigned type, HMODULE module)
    : nameText_(identifierText(name)),
      name_(MAKEINTRESOURCEA(name)),
      typeText_(identifierText(type)),
      type_(MAKEINTRESOURCEA(type)),
      module_(module) {}

std::string Resource::describe(const char* message) const {
    return std::string(message) + " (name='" + nameText_ + "', type='" + typeText_ + "')";
}

const void* Resource::getPtr(std::uint32_t& size) const {
    const bool isString = type_ == RT_STRING;
    const unsigned id = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name_));
    HRSRC found = FindResourceA(module_, isString ? stringBlockName(id) : name_, type_);
    if (!found) ZOR_THROW_LAST_ERROR(FindResourceA, describe("cannot find resource"));
    HGLOBAL loaded = LoadResource(module_, found);
    if (!loaded) ZOR_THROW_LAST_ERROR(LoadResource, describe("cannot load resource"));
    const void* data = LockResource(loaded);
    if (isString) return stringTableEntry(data, id, size);
    size = SizeofResource(module_, found);
    return data;
}

void writeInPieces(std::ostream& out, const char* data, std::size_t size, std::size_t piece) {
    for (std::size_t offset = 0; offset < size && out; offset += piece)
        out.write(data + offset, static_cast<std::streamsize>(std::min(piece, size - offset)));
}

void Resource::saveToFile(const std::string& path) const {
    std::uint32_t size = 0;
    const char* data = static_cast<const char*>(getPtr(size));
    const std::string temporary = FileUtils::createTempFile("zor", ".tmp", FileUtils::parentPath(path));
    FileUtils::ScopedDeleter deleter;
    deleter.addFile(temporary);
    {
        // The temporary file was just created empty, so it is opened without truncation: truncating an
        // empty file costs nothing logically but makes the file system flush it on close.
        std::ofstream out;
        out.exceptions(std::ios::badbit | std::ios::failbit);
        out.open(temporary, std::ios::binary | std::ios::in | std::ios::out);
        // Straight from the mapped image, in pieces (see kResourceWritePiece).
        writeInPieces(out, data, size, kResourceWritePiece);
        out.close();
    }
    FileUtils::moveFile(temporary, path);
    deleter.cancel();
}
