#include "Inspect.h"

#include <algorithm>
#include <memory>

#include "ImageWriter.h"
#include "InputFile.h"
#include "PeLayout.h"
#include "ResourceTree.h"
#include "ShownText.h"
#include "common/share/BootstrapperResources.h"
#include "Wrap.h"
#include "WrapError.h"
#include "common/share/hashing/Sha256.h"

namespace wrap {

namespace {

constexpr int deepestVersionNode = 4;  // VS_VERSIONINFO, StringFileInfo, a string table, a string

std::string utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xd800 && c < 0xdc00 && i + 1 < text.size() && text[i + 1] >= 0xdc00 && text[i + 1] < 0xe000)
            c = 0x10000 + ((c - 0xd800) << 10) + (text[++i] - 0xdc00);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xc0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xe0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3f));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3f));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

// A NUL-terminated UTF-16 text at offset, within end; offset is moved past the NUL.
std::u16string readText(const ByteSource& bytes, std::uint64_t& offset, std::uint64_t end) {
    std::u16string text;
    while (true) {
        if (offset + 2 > end) bytes.fail("a version resource text runs past its node");
        const std::uint16_t unit = bytes.u16(offset, "a version resource text");
        offset += 2;
        if (unit == 0) return text;
        text += static_cast<char16_t>(unit);
    }
}

// One node of the version resource at offset and, below StringFileInfo, its strings.
void readVersionNode(const ByteSource& bytes, std::uint64_t offset, int depth, bool inStrings,
                     std::vector<std::pair<std::string, std::string>>& texts) {
    const std::uint16_t length = bytes.u16(offset, "a version resource node");
    const std::uint16_t valueLength = bytes.u16(offset + 2, "a version resource node");
    const std::uint16_t type = bytes.u16(offset + 4, "a version resource node");
    const std::uint64_t end = offset + length;
    bytes.need(offset, length, "a version resource node");
    if (length < 6) bytes.fail("a version resource node is shorter than its header");
    std::uint64_t at = offset + 6;
    const std::u16string key = readText(bytes, at, end);
    at = alignUp(at, 4);
    if (depth == 3 && inStrings) {
        std::uint64_t valueAt = at;
        const std::u16string value = valueLength == 0 ? u"" : readText(bytes, valueAt, end);
        texts.emplace_back(utf8(key), utf8(value));
        return;
    }
    at = alignUp(at + (type == 1 ? 2u * valueLength : valueLength), 4);
    if (depth + 1 >= deepestVersionNode) return;
    const bool strings = inStrings || (depth == 1 && key == u"StringFileInfo");
    while (at + 6 <= end) {
        const std::uint16_t childLength = bytes.u16(at, "a version resource node");
        if (childLength == 0) break;
        if (depth > 0 || key == u"VS_VERSION_INFO") readVersionNode(bytes, at, depth + 1, strings, texts);
        at = alignUp(at + childLength, 4);
    }
}

bool isNumberedResource(const Resource& resource, std::uint16_t type, std::uint16_t name) {
    return isNumbered(resource, type, name);
}

// Where the bytes of a resource left in the image's resource section lie in the file.
std::uint64_t fileOffsetOf(const PeImage& image, const Resource& resource) {
    return std::uint64_t{image.sections[image.resourceSection].rawPointer} + resource.sectionOffset;
}

std::string hexDigest(const std::array<std::uint8_t, 32>& digest) {
    return Sha256::hex(digest);
}

// The resources of an image's resource section, every one's bytes left where they lie and read only when
// asked for, so a payload of any size is never read here.
class LeftResources {
public:
    LeftResources(const PeImage& image, const ByteSource& file)
        : section_(image.resourceBytes(file)),
          resources_(readResourceSection(section_, image.sections[image.resourceSection].virtualAddress,
                                         [](const Resource&) { return true; })) {}

    template <typename Matches>
    const Resource* find(Matches matches) const {
        const auto found = std::find_if(resources_.begin(), resources_.end(), matches);
        return found == resources_.end() ? nullptr : &*found;
    }
    Bytes bytesOf(const Resource& resource, const std::string& what) const {
        return section_.bytes(resource.sectionOffset, resource.streamedSize, what);
    }

private:
    ByteSource section_;
    ResourceList resources_;
};

// Where the payload lies: resource RT_RCDATA 100, or after the image as its record (RT_RCDATA 101) says.
void findPayload(const LeftResources& left, const PeImage& image, const ByteSource& file,
                 Inspection& inspection) {
    const Resource* payload =
        left.find([](const Resource& r) { return isNumberedResource(r, typeRcdata, payloadId); });
    const Resource* record =
        left.find([](const Resource& r) { return isNumberedResource(r, typeRcdata, payloadRecordId); });
    if (payload) {
        inspection.payloadOffset = fileOffsetOf(image, *payload);
        inspection.payloadSize = payload->streamedSize;
    } else if (record) {
        const Bytes bytes = left.bytesOf(*record, "the payload's record");
        inspection.record = decodePayloadRecord(bytes.data(), bytes.size());
        if (!inspection.record)
            file.fail("the payload's record (resource RT_RCDATA 101) is not one kiteboot-wrap writes");
        inspection.appended = true;
        inspection.payloadOffset = inspection.record->offset;
        inspection.payloadSize = inspection.record->length;
    } else {
        throw WrapError(file.owner() + " carries no payload: it is the stub, not a bootstrapper");
    }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> versionTexts(const ByteSource& resource) {
    std::vector<std::pair<std::string, std::string>> texts;
    readVersionNode(resource, 0, 0, false, texts);
    return texts;
}

Inspection readInspection(const ByteSource& file) {
    PeImage image;
    try {
        image = readPeImage(file);
    } catch (const WrapError& error) {
        throw WrapError(file.owner() + " is not a kiteboot bootstrapper: " + error.what(), error.cause());
    }
    const LeftResources left(image, file);
    Inspection inspection;
    inspection.fileSize = file.size();
    const Resource* mark = left.find([](const Resource& r) {
        return r.type.text == kStubMarkType && r.name.text.empty() && r.name.id == kStubMarkName;
    });
    if (!mark) throw WrapError(file.owner() + " is not a kiteboot bootstrapper (it lacks the stub's mark)");
    const Bytes markText = left.bytesOf(*mark, "the stub's mark");
    inspection.stubMark.assign(markText.begin(), markText.end());
    findPayload(left, image, file, inspection);
    const Resource* version = left.find([](const Resource& r) {
        return r.type == ResourceName{typeVersion, {}};
    });
    if (version) {
        const Bytes bytes = left.bytesOf(*version, "the version resource");
        inspection.versionTexts = versionTexts(ByteSource::ofBytes(file.owner(), bytes));
    }
    if (image.directories.size() > pe::directory::certificate)
        inspection.certificateTable = image.directories[pe::directory::certificate];
    return inspection;
}

namespace {

// The SHA-256 of the payload's bytes, read through a fixed buffer. Throws WrapError when the file became
// shorter than the payload.
Sha256::Digest payloadDigest(InputFile& file, const Inspection& inspection, const std::string& path) {
    Sha256 hash;
    const auto buffer = std::make_unique<std::uint8_t[]>(streamBufferSize);
    for (std::uint64_t done = 0; done < inspection.payloadSize;) {
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(inspection.payloadSize - done, streamBufferSize));
        if (file.readInto(inspection.payloadOffset + done, buffer.get(), want) != want)
            throw WrapError(inQuotes(path) + " became shorter while it was read");
        hash.add(buffer.get(), want);
        done += want;
    }
    return hash.finish();
}

// Prints the report of inspection, read from file, and returns the exit status.
int reportInspection(const Inspection& inspection, InputFile& file, const std::string& path,
                     std::ostream& out) {
    int status = inspectSound;
    out << "stub: " << shown(inspection.stubMark) << "\n";
    out << "payload: " << (inspection.appended ? "after the image" : "resource RT_RCDATA 100")
        << ", at offset " << inspection.payloadOffset << ", " << inspection.payloadSize << " bytes\n";
    const std::uint64_t end = inspection.payloadOffset + inspection.payloadSize;
    if (end > inspection.fileSize) {
        out << "payload SHA-256: none, the file is cut short (" << inspection.fileSize
            << " bytes, the payload ends at " << end << ")\n";
        status = inspectChanged;
    } else {
        const Sha256::Digest digest = payloadDigest(file, inspection, path);
        out << "payload SHA-256: " << hexDigest(digest);
        if (inspection.record && digest != inspection.record->sha256) {
            out << " (does not match its record: " << hexDigest(inspection.record->sha256) << ")";
            status = inspectChanged;
        } else if (inspection.record) {
            out << " (matches its record)";
        }
        out << "\n";
    }
    for (const auto& [key, value] : inspection.versionTexts)
        out << shown(key) << ": " << shown(value) << "\n";
    const DataDirectory& table = inspection.certificateTable;
    if (table.virtualAddress == 0 && table.size == 0) {
        out << "signature: none\n";
    } else {
        const bool after = table.virtualAddress >= end;
        out << "signature: a certificate table of " << table.size << " bytes at offset "
            << table.virtualAddress
            << (after ? ", after the payload" : ", NOT after the payload: it lies over the payload") << "\n";
        if (!after) status = inspectChanged;
    }
    return status;
}

}  // namespace

int inspectBootstrapper(const std::string& path, std::ostream& out, std::ostream& err) {
    try {
        InputFile file(path);
        const Inspection inspection = readInspection(ByteSource::ofFile(inQuotes(path), file));
        return reportInspection(inspection, file, path, out);
    } catch (const WrapError& error) {
        err << "kiteboot-wrap: " << error.what() << "\n";
        return inspectUnread;
    }
}

}  // namespace wrap
