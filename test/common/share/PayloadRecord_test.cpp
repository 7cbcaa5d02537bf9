#include "common/share/PayloadRecord.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(PayloadRecord, ReadsBackAsWrittenAndRefusesAnythingElse) {
    PayloadRecord record;
    record.offset = 0x1000;
    record.length = 0xfff00000;
    for (std::size_t i = 0; i < record.sha256.size(); ++i)
        record.sha256[i] = static_cast<std::uint8_t>(i * 7);
    const auto bytes = encodePayloadRecord(record);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "KBPAYLD1");
    EXPECT_EQ(decodePayloadRecord(bytes.data(), bytes.size()), record);
    EXPECT_EQ(bytes[kPayloadRecordHashOffset + 1], 7);
    EXPECT_FALSE(decodePayloadRecord(bytes.data(), bytes.size() - 1));
    auto otherMark = bytes;
    otherMark[7] = '2';
    EXPECT_FALSE(decodePayloadRecord(otherMark.data(), otherMark.size()));
    PayloadRecord overflowing = record;
    overflowing.offset = UINT64_MAX;
    const auto wrapped = encodePayloadRecord(overflowing);
    EXPECT_FALSE(decodePayloadRecord(wrapped.data(), wrapped.size()));
}

}  // namespace
