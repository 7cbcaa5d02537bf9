// UTF-8 text (what kiteboot-wrap is given) as UTF-16 (what a version resource holds).
#pragma once

#include <optional>
#include <string>

namespace wrap {

// Empty when text is not well-formed UTF-8 (overlong forms, surrogates and code points above U+10FFFF
// included).
std::optional<std::u16string> utf8ToUtf16(const std::string& text);

inline bool isUtf8(const std::string& text) {
    return utf8ToUtf16(text).has_value();
}

// ASCII text (keys of the version resource) as UTF-16.
std::u16string asciiToUtf16(const std::string& text);

}  // namespace wrap
