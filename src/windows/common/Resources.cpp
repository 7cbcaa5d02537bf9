#include "windows/common/Resources.h"

#include <algorithm>
#include <ostream>
#include <optional>
#include <vector>

#include "common/windows/WinErrorHandling.h"
#include "windows/common/ImageLayout.h"
#include "windows/common/ModuleFile.h"

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

bool Resource::exists() const {
    return FindResourceA(module_,
                         type_ == RT_STRING
                             ? stringBlockName(static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(name_)))
                             : name_,
                         type_) != nullptr;
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

std::size_t copyFromFile(std::ostream& out, HANDLE file, std::uint64_t offset, std::size_t size,
                         std::size_t piece) {
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) return 0;
    std::vector<char> buffer(std::min(piece, size));
    std::size_t copied = 0;
    while (copied < size && out) {
        const DWORD wanted = static_cast<DWORD>(std::min(piece, size - copied));
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), wanted, &read, nullptr) || read != wanted) break;
        out.write(buffer.data(), wanted);
        copied += wanted;
    }
    return copied;
}

namespace {

// Copies the resource bytes at data, which lie in module's image, from the module's own file where it is
// proven to be the one the image was mapped from. Returns how many bytes were copied (0 when the file
// cannot be used).
std::size_t copyFromModuleFile(std::ostream& out, HMODULE module, const char* data, std::size_t size) {
    const UniqueHandle file = openModuleFile(module);
    if (!file.owned()) return 0;
    const auto rva = static_cast<std::uint32_t>(data - reinterpret_cast<const char*>(module));
    const std::optional<std::uint64_t> offset =
        fileOffsetOf(imageSections(module), rva, static_cast<std::uint32_t>(size));
    if (!offset) return 0;
    return copyFromFile(out, file.get(), *offset, size, kResourceWritePiece);
}

}  // namespace

Resource::Source Resource::writeTo(std::ostream& out) const {
    std::uint32_t size = 0;
    const char* data = static_cast<const char*>(getPtr(size));
    // Reading the file costs a fraction of touching every page of the mapped image (each page a fault);
    // whatever the file does not give is written from the image, in pieces (see kResourceWritePiece).
    const std::size_t copied = copyFromModuleFile(out, module_, data, size);
    writeInPieces(out, data + copied, size - copied, kResourceWritePiece);
    return copied == size ? Source::ModuleFile : Source::MappedImage;
}
