// Where a payload carried after the image lies: kiteboot-wrap writes this record as a resource of the
// bootstrapper (so it lies inside the mapped image and an Authenticode signature covers it), and the
// launcher reads it to find, check and copy the payload from its own file. Standard C++ only.
//
// The record's bytes: "KBPAYLD1", the payload's offset in the file and its length (both 64-bit
// little-endian), then its SHA-256: 56 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "common/share/BootstrapperResources.h"  // the record is resource RT_RCDATA kPayloadRecordId

constexpr std::size_t kPayloadRecordSize = 56;
// Where the SHA-256 lies in the record (kiteboot-wrap writes it there last, once the payload is read).
constexpr std::size_t kPayloadRecordHashOffset = 24;

struct PayloadRecord {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::array<std::uint8_t, 32> sha256 = {};

    std::uint64_t end() const { return offset + length; }
    bool operator==(const PayloadRecord&) const = default;
};

std::array<std::uint8_t, kPayloadRecordSize> encodePayloadRecord(const PayloadRecord& record);

// The record in size bytes at data; none when they are not a record of this format (wrong size or mark,
// or an end that passes 2^64).
std::optional<PayloadRecord> decodePayloadRecord(const void* data, std::size_t size);
