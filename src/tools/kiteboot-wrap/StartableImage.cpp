#include "StartableImage.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "PeLayout.h"
#include "ShownText.h"
#include "WrapError.h"

namespace wrap {

namespace {

constexpr std::uint16_t typeManifest = 24;
constexpr std::uint16_t processManifestName = 1;  // the manifest Windows reads when it starts a program
constexpr std::uint32_t smallestFileAlignment = 512;
constexpr std::uint32_t largestFileAlignment = 0x10000;

const std::array<const char*, pe::directory::count> directoryNames = {
    "export",         "import",       "resource",       "exception", "certificate",        "base relocation",
    "debug",          "architecture", "global pointer", "TLS",       "load configuration", "bound import",
    "import address", "delay import", "CLR runtime",    "reserved"};

std::string sectionName(std::size_t index, const SectionHeader& section) {
    return "section " + std::to_string(index + 1) + " " + inQuotes(section.name);
}

// Where a section's contents end in memory: the loader maps VirtualSize bytes, or the raw size when
// VirtualSize is 0.
std::uint64_t sectionEnd(const SectionHeader& section) {
    return std::uint64_t{section.virtualAddress} +
           (section.virtualSize != 0 ? section.virtualSize : section.rawSize);
}

void requireExecutableGui(const PeImage& image, const ByteSource& file) {
    const std::string flags = " (Characteristics " + hexNumber(image.characteristics) + ")";
    if (image.characteristics & pe::coff::characteristicDll)
        throw WrapError(file.owner() + " is marked as a DLL" + flags +
                        ": Windows does not start a DLL as a program");
    if (!(image.characteristics & pe::coff::characteristicExecutable))
        throw WrapError(file.owner() + " is not marked executable" + flags);
    if (image.subsystem != pe::optional::subsystemWindowsGui)
        throw WrapError(file.owner() + " is not a Windows GUI program (its Subsystem is " +
                        std::to_string(image.subsystem) + ", a GUI program's is 2)");
}

void requireAlignments(const PeImage& image, const ByteSource& file) {
    if (image.fileAlignment < smallestFileAlignment || image.fileAlignment > largestFileAlignment)
        file.fail("its FileAlignment " + hexNumber(image.fileAlignment) + " is not from 0x200 to 0x10000");
    if (image.sectionAlignment < image.fileAlignment)
        file.fail("its SectionAlignment " + hexNumber(image.sectionAlignment) + " is smaller than its " +
                  "FileAlignment " + hexNumber(image.fileAlignment));
    if (image.sizeOfImage % image.sectionAlignment != 0)
        file.fail("its SizeOfImage " + hexNumber(image.sizeOfImage) + " is not a multiple of its " +
                  "SectionAlignment " + hexNumber(image.sectionAlignment));
}

// In memory, the sections follow one another in the table's order, each on the next multiple of
// SectionAlignment after the one before, the first after the headers, the last within SizeOfImage.
void requireSectionLayout(const PeImage& image, const ByteSource& file) {
    if (image.sections.empty()) file.fail("it has no sections");
    std::uint64_t expected = alignUp(image.headers.size(), image.sectionAlignment);
    std::uint64_t rawEnd = image.headers.size();  // in the file, where the contents before end
    for (std::size_t i = 0; i < image.sections.size(); ++i) {
        const SectionHeader& section = image.sections[i];
        const std::string name = sectionName(i, section);
        if (i == 0 && section.virtualAddress < image.headers.size())
            file.fail(name + " starts at " + hexNumber(section.virtualAddress) +
                      " in memory, inside the headers (SizeOfHeaders " + hexNumber(image.headers.size()) +
                      ")");
        if (i > 0 && section.virtualAddress != expected)
            file.fail(name + " starts at " + hexNumber(section.virtualAddress) + " in memory, but the " +
                      "sections must follow one another in order and it should start at " +
                      hexNumber(expected) + ", after " + sectionName(i - 1, image.sections[i - 1]));
        if (section.virtualAddress % image.sectionAlignment != 0)
            file.fail(name + " starts at " + hexNumber(section.virtualAddress) +
                      " in memory, not on a multiple of its SectionAlignment " +
                      hexNumber(image.sectionAlignment));
        if (sectionEnd(section) > image.sizeOfImage)
            file.fail(name + " ends at " + hexNumber(sectionEnd(section)) +
                      " in memory, past its SizeOfImage " + hexNumber(image.sizeOfImage));
        if (section.rawSize != 0 && section.rawPointer % image.fileAlignment != 0)
            file.fail(name + " lies at " + hexNumber(section.rawPointer) +
                      " in the file, not on a multiple of its FileAlignment " +
                      hexNumber(image.fileAlignment));
        // The bootstrapper is written in one pass, in the table's order: contents overlap nothing before.
        if (section.rawSize != 0 && section.rawPointer < rawEnd)
            file.fail(name + " lies at " + hexNumber(section.rawPointer) + " in the file, before " +
                      hexNumber(rawEnd) + " where the headers or the section before it end");
        if (section.rawSize != 0) rawEnd = std::uint64_t{section.rawPointer} + section.rawSize;
        expected = alignUp(sectionEnd(section), image.sectionAlignment);
    }
}

// Every directory within the image (the certificate table, a file offset, within the file); those the
// resource section's rewriting would move away from their data before the resources.
void requireDirectories(const PeImage& image, const ByteSource& file) {
    const std::uint32_t resources = image.sections[image.resourceSection].virtualAddress;
    for (std::uint32_t i = 0; i < image.directories.size(); ++i) {
        const DataDirectory& directory = image.directories[i];
        if (directory.size == 0) continue;
        const std::string name = std::string("its ") + directoryNames[i] + " directory (" +
                                 std::to_string(directory.size) + " bytes at " +
                                 hexNumber(directory.virtualAddress) + ")";
        if (i == pe::directory::certificate) {
            if (!fitsWithin(directory.virtualAddress, directory.size, file.size()))
                file.fail(name + " passes the end of the file");
            continue;
        }
        if (!fitsWithin(directory.virtualAddress, directory.size, image.sizeOfImage))
            file.fail(name + " passes the end of its image (SizeOfImage " + hexNumber(image.sizeOfImage) +
                      ")");
        if (i != pe::directory::resource && i != pe::directory::baseRelocation &&
            std::uint64_t{directory.virtualAddress} + directory.size > resources)
            file.fail(name + " reaches into its resource section or past it, which kiteboot-wrap rewrites");
    }
}

// Bytes at addresses in memory, read from the file through the section whose contents hold them. A
// section's contents up to cachedSection bytes are read once and kept, so the many small structures of the
// import table and the unwind information cost one read each section.
class ImageReader {
public:
    ImageReader(const PeImage& image, const ByteSource& file) : image_(image), file_(file) {}

    Bytes at(std::uint64_t rva, std::uint64_t count, const std::string& what) {
        for (std::size_t i = 0; i < image_.sections.size(); ++i) {
            const SectionHeader& section = image_.sections[i];
            if (rva < section.virtualAddress ||
                !fitsWithin(rva - section.virtualAddress, count, section.rawSize))
                continue;
            const std::uint64_t offset = rva - section.virtualAddress;
            if (section.rawSize > cachedSection) return file_.bytes(section.rawPointer + offset, count, what);
            if (cached_ != i) {
                contents_ =
                    file_.bytes(section.rawPointer, section.rawSize, "section " + inQuotes(section.name));
                cached_ = i;
            }
            const auto begin = contents_.begin() + static_cast<std::ptrdiff_t>(offset);
            return Bytes(begin, begin + static_cast<std::ptrdiff_t>(count));
        }
        file_.fail(what + " (" + std::to_string(count) + " bytes at " + hexNumber(rva) +
                   ") lies outside its sections' contents");
    }

private:
    static constexpr std::uint32_t cachedSection = 16 << 20;
    const PeImage& image_;
    const ByteSource& file_;
    std::size_t cached_ = SIZE_MAX;
    Bytes contents_;
};

// The loader resolves every import before the program runs: each descriptor's DLL name and thunks, and each
// imported name, must be there to be read.
void requireImports(const PeImage& image, const ByteSource& file, ImageReader& reader) {
    constexpr std::uint32_t descriptorSize = 20;
    constexpr std::uint32_t mostImports = 65536;  // thunks of all DLLs together
    const DataDirectory& imports = image.directories[1];
    if (imports.size == 0) return;
    std::uint32_t thunksRead = 0;
    for (std::uint64_t at = imports.virtualAddress;; at += descriptorSize) {
        const Bytes descriptor = reader.at(at, descriptorSize, "an import descriptor");
        if (std::all_of(descriptor.begin(), descriptor.end(), [](std::uint8_t b) { return b == 0; })) return;
        reader.at(getU32(&descriptor[12]), 1, "an imported DLL's name");
        const std::uint32_t lookup =
            getU32(&descriptor[0]) != 0 ? getU32(&descriptor[0]) : getU32(&descriptor[16]);
        for (std::uint64_t thunk = lookup;; thunk += 8) {
            if (++thunksRead > mostImports)
                file.fail("its import table holds more than " + std::to_string(mostImports) + " imports");
            const Bytes entry = reader.at(thunk, 8, "an import's entry");
            const std::uint64_t value = std::uint64_t{getU32(&entry[0])} | std::uint64_t{getU32(&entry[4])}
                                                                               << 32;
            if (value == 0) break;
            if (!(value >> 63)) reader.at(value & 0x7fffffff, 3, "an imported name");
        }
        reader.at(getU32(&descriptor[16]), 8, "an import address table");
    }
}

// Each function's unwind information, which the system reads to unwind the launcher's stack through an
// exception, in a version it knows (1 or 2).
void requireUnwindInformation(const PeImage& image, const ByteSource& file, ImageReader& reader) {
    constexpr std::uint32_t entrySize = 12;  // start, end, unwind information
    constexpr std::uint32_t largest = 64 << 20;
    const DataDirectory& exceptions = image.directories[3];
    if (exceptions.size == 0) return;
    if (exceptions.size > largest) file.fail("its exception directory takes more than 64 MiB");
    const Bytes entries = reader.at(exceptions.virtualAddress, exceptions.size, "its exception directory");
    for (std::size_t at = 0; at + entrySize <= entries.size(); at += entrySize) {
        const std::uint32_t unwind = getU32(&entries[at + 8]);
        if (unwind & 1) continue;  // chained to another entry, not unwind information
        const std::uint8_t version = reader.at(unwind, 1, "a function's unwind information")[0] & 7;
        if (version != 1 && version != 2)
            file.fail("the unwind information at " + hexNumber(unwind) + " is of version " +
                      std::to_string(version) + "; the system unwinds only versions 1 and 2");
    }
}

// The value of the attribute name="..." or name='...' inside one element's text, "" when it has none.
std::string attribute(const std::string& element, const std::string& name) {
    for (std::size_t at = element.find(name); at != std::string::npos; at = element.find(name, at + 1)) {
        const bool starts = at > 0 && std::strchr(" \t\r\n", element[at - 1]) != nullptr;
        std::size_t next = element.find_first_not_of(" \t\r\n", at + name.size());
        if (!starts || next == std::string::npos || element[next] != '=') continue;
        next = element.find_first_not_of(" \t\r\n", next + 1);
        if (next == std::string::npos || (element[next] != '"' && element[next] != '\'')) continue;
        const std::size_t end = element.find(element[next], next + 1);
        if (end != std::string::npos) return element.substr(next + 1, end - next - 1);
    }
    return "";
}

}  // namespace

void requireStartable(const PeImage& image, const ByteSource& file) {
    requireExecutableGui(image, file);
    requireAlignments(image, file);
    requireSectionLayout(image, file);
    requireDirectories(image, file);
    ImageReader reader(image, file);
    requireImports(image, file, reader);
    requireUnwindInformation(image, file, reader);
}

bool asksForAdministrator(const Bytes& manifest) {
    const std::string text(manifest.begin(), manifest.end());
    const std::string element = "requestedExecutionLevel";
    for (std::size_t at = text.find(element); at != std::string::npos; at = text.find(element, at + 1)) {
        // <requestedExecutionLevel or <prefix:requestedExecutionLevel, up to the element's end.
        const std::size_t open = text.rfind('<', at);
        const std::size_t end = text.find('>', at);
        const std::size_t after = at + element.size();
        const bool named =
            open != std::string::npos && after < text.size() && std::strchr(" \t\r\n/>", text[after]) &&
            (open + 1 == at || (text[at - 1] == ':' && text.find_first_of(" \t\r\n>", open) > at));
        if (!named || end == std::string::npos) continue;
        if (attribute(text.substr(at + element.size(), end - at - element.size()), "level") ==
            "requireAdministrator")
            return true;
    }
    return false;
}

std::string manifestProblem(const std::string& owner, const ResourceList& resources) {
    const std::string unelevated =
        ": Windows would start the bootstrapper without asking for administrator rights";
    bool found = false;
    for (const Resource& resource : resources) {
        if (!isNumbered(resource, typeManifest, processManifestName)) continue;
        found = true;
        if (resource.size() == 0) return owner + " has an empty manifest (RT_MANIFEST 1)" + unelevated;
        if (!asksForAdministrator(resource.data))
            return owner + " has a manifest (RT_MANIFEST 1) that does not ask for administrator rights " +
                   "(requestedExecutionLevel level=\"requireAdministrator\")" + unelevated;
    }
    if (!found) return owner + " has no manifest (RT_MANIFEST 1)" + unelevated;
    return "";
}

}  // namespace wrap
