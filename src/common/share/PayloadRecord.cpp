#include "common/share/PayloadRecord.h"

#include <cstring>

namespace {

constexpr char kMark[8] = {'K', 'B', 'P', 'A', 'Y', 'L', 'D', '1'};

void put64(std::uint8_t* at, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t get64(const std::uint8_t* at) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | at[i];
    return value;
}

}  // namespace

std::array<std::uint8_t, kPayloadRecordSize> encodePayloadRecord(const PayloadRecord& record) {
    std::array<std::uint8_t, kPayloadRecordSize> bytes = {};
    std::memcpy(bytes.data(), kMark, sizeof kMark);
    put64(&bytes[8], record.offset);
    put64(&bytes[16], record.length);
    std::memcpy(&bytes[kPayloadRecordHashOffset], record.sha256.data(), record.sha256.size());
    return bytes;
}

std::optional<PayloadRecord> decodePayloadRecord(const void* data, std::size_t size) {
    const auto bytes = static_cast<const std::uint8_t*>(data);
    if (size != kPayloadRecordSize || std::memcmp(bytes, kMark, sizeof kMark) != 0) return std::nullopt;
    PayloadRecord record;
    record.offset = get64(&bytes[8]);
    record.length = get64(&bytes[16]);
    if (record.length > UINT64_MAX - record.offset) return std::nullopt;
    std::memcpy(record.sha256.data(), &bytes[kPayloadRecordHashOffset], record.sha256.size());
    return record;
}
