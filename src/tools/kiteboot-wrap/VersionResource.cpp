#include "VersionResource.h"

#include "Utf16.h"
#include "WrapError.h"

namespace wrap {

namespace {

constexpr std::uint16_t binaryValue = 0;
constexpr std::uint16_t textValue = 1;

// The text's units and a terminating zero.
void appendText(Bytes& out, const std::u16string& text) {
    appendUtf16(out, text);
    appendU16(out, 0);
}

// One node of the version tree: length, value length, type, key, then (4-byte aligned) value and children.
// A node's length ends with its last byte; the padding before each child belongs to the parent. A length
// above the limit is cut to 16 bits here; versionResource refuses the result.
class Node {
public:
    Node(Bytes& out, const std::u16string& key, std::uint16_t valueLength, std::uint16_t type)
        : out_(out), start_(out.size()) {
        appendU16(out, 0);  // length, set by close()
        appendU16(out, valueLength);
        appendU16(out, type);
        appendText(out, key);
        padTo(out, 4);
    }
    void close() { putU16(&out_[start_], static_cast<std::uint16_t>(out_.size() - start_)); }

private:
    Bytes& out_;
    std::size_t start_;
};

void appendFixedInfo(Bytes& out, const std::array<std::uint16_t, 4>& n) {
    const std::uint32_t high = (std::uint32_t{n[0]} << 16) | n[1];
    const std::uint32_t low = (std::uint32_t{n[2]} << 16) | n[3];
    for (std::uint32_t value : {0xfeef04bdu, 0x00010000u, high, low, high, low,
                                0x3fu,        // file flags mask
                                0u,           // file flags
                                0x40004u,     // VOS_NT_WINDOWS32
                                1u,           // VFT_APP
                                0u, 0u, 0u})  // subtype, date
        appendU32(out, value);
}

Bytes layOut(const VersionFields& fields) {
    Bytes out;
    Node root(out, u"VS_VERSION_INFO", 52, binaryValue);
    appendFixedInfo(out, fields.numbers);
    padTo(out, 4);
    Node fileInfo(out, u"StringFileInfo", 0, textValue);
    Node table(out, u"040904b0", 0, textValue);
    for (const auto& [key, value] : fields.strings) {
        padTo(out, 4);
        const std::u16string text = utf8ToUtf16(value).value_or(u"");
        Node entry(out, asciiToUtf16(key), static_cast<std::uint16_t>(text.size() + 1), textValue);
        appendText(out, text);
        entry.close();
    }
    table.close();
    fileInfo.close();
    padTo(out, 4);
    Node varInfo(out, u"VarFileInfo", 0, textValue);
    Node translation(out, u"Translation", 4, binaryValue);
    appendU16(out, 0x409);  // language 1033
    appendU16(out, 1200);   // code page: UTF-16
    translation.close();
    varInfo.close();
    root.close();
    return out;
}

}  // namespace

std::array<std::uint16_t, 4> versionNumbers(const std::string& version) {
    std::array<std::uint16_t, 4> numbers{};
    std::size_t start = 0;
    for (auto& number : numbers) {
        const std::size_t dot = version.find('.', start);
        number = static_cast<std::uint16_t>(std::stoul(version.substr(start, dot - start)));
        start = dot + 1;
    }
    return numbers;
}

std::size_t versionResourceSize(const VersionFields& fields) {
    return layOut(fields).size();
}

Bytes versionResource(const VersionFields& fields) {
    Bytes resource = layOut(fields);
    if (resource.size() > versionResourceLimit)
        throw WrapError("the version resource would take " + std::to_string(resource.size()) +
                        " bytes, more than its " + std::to_string(versionResourceLimit));
    return resource;
}

}  // namespace wrap
