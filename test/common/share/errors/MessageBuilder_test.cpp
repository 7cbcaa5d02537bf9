#include "common/share/errors/MessageBuilder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MessageBuilderText, InsertsEachKindAsDocumented) {
    MessageBuilder builder("start ");
    builder << "narrow " << std::string("string ") << std::wstring(L"\u00e9\u20ac ") << 4294967295UL << ' '
            << -12 << ' ' << reinterpret_cast<const void*>(0xABCDEFull) << ' '
            << static_cast<const void*>(nullptr);
    const std::string expected =
        "start narrow string \xC3\xA9\xE2\x82\xAC 4294967295 -12 0000000000ABCDEF 0000000000000000";
    EXPECT_EQ(expected, builder.str());
    EXPECT_EQ(expected, builder.str());
    MessageBuilder copy(builder);
    copy << "!";
    EXPECT_EQ(expected + "!", copy.str());
    EXPECT_EQ(expected, builder.str());
}

}  // namespace
