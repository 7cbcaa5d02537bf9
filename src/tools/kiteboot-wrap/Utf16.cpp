#include "Utf16.h"

#include <cstdint>

namespace wrap {

std::optional<std::u16string> utf8ToUtf16(const std::string& text) {
    std::u16string result;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        int length = 0;
        std::uint32_t code = 0;
        std::uint32_t minimum = 0;
        if (lead < 0x80) {
            length = 1, code = lead;
        } else if ((lead & 0xe0) == 0xc0) {
            length = 2, code = lead & 0x1fu, minimum = 0x80;
        } else if ((lead & 0xf0) == 0xe0) {
            length = 3, code = lead & 0x0fu, minimum = 0x800;
        } else if ((lead & 0xf8) == 0xf0) {
            length = 4, code = lead & 0x07u, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (i + length > text.size()) return std::nullopt;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            if ((next & 0xc0) != 0x80) return std::nullopt;
            code = (code << 6) | (next & 0x3fu);
        }
        if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return std::nullopt;
        if (code >= 0x10000) {
            code -= 0x10000;
            result += static_cast<char16_t>(0xd800 + (code >> 10));
            result += static_cast<char16_t>(0xdc00 + (code & 0x3ff));
        } else {
            result += static_cast<char16_t>(code);
        }
        i += length;
    }
    return result;
}

std::u16string asciiToUtf16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace wrap
