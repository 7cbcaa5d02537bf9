// How texts are shown in messages.
#include <gtest/gtest.h>

#include "ShownText.h"

namespace {

TEST(ShownText, ControlCharactersAndBytesOutsideUtf8AreEscapedAndTheRestKept) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"Установщик 中文 \xF0\x9F\x98\x80 C:\\dir", "Установщик 中文 \xF0\x9F\x98\x80 C:\\dir"},
        {"a\tb\nc\rd", "a\\tb\\nc\\rd"},
        {"\x1b[31mred\x7f", "\\x1b[31mred\\x7f"},  // a terminal's escape sequence, DEL
        {"\xC2\x9B"
         "2J",
         "\\xc2\\x9b2J"},            // U+009B, the C1 escape
        {"\xFF\xC3", "\\xff\\xc3"},  // not UTF-8, and cut short
        {"\xE4\xB8\xADx\xE4\xB8", "中x\\xe4\\xb8"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wrap::shown(c.text), c.shown) << c.shown;
}

}  // namespace
