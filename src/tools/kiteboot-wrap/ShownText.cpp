#include "ShownText.h"

#include <cstdint>
#include <cstdio>

#include "Utf16.h"

namespace wrap {

namespace {

std::string escaped(std::uint8_t byte) {
    switch (byte) {
        case '\t':
            return "\\t";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        default:
            char text[8];
            std::snprintf(text, sizeof text, "\\x%02x", byte);
            return text;
    }
}

// The length of the well-formed UTF-8 character at text[at] (1 to 4), or 0 when there is none.
std::size_t characterLength(const std::string& text, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    return isUtf8(text.substr(at, length)) ? length : 0;
}

}  // namespace

std::string shown(const std::string& text) {
    std::string result;
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[at]);
        const std::size_t length = characterLength(text, at);
        // U+0080 to U+009F (C1 controls) are 0xc2 0x80 to 0xc2 0x9f.
        const bool control = byte < 0x20 || byte == 0x7f ||
                             (length == 2 && byte == 0xc2 && static_cast<std::uint8_t>(text[at + 1]) < 0xa0);
        if (length == 0 || control) {
            for (std::size_t i = 0; i < (length == 0 ? 1 : length); ++i)
                result += escaped(static_cast<std::uint8_t>(text[at + i]));
            at += length == 0 ? 1 : length;
        } else {
            result.append(text, at, length);
            at += length;
        }
    }
    return result;
}

std::string inQuotes(const std::string& text) {
    std::string quoted(1, '\'');
    quoted.append(shown(text));
    quoted.push_back('\'');
    return quoted;
}

}  // namespace wrap
