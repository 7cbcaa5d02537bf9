// The version resource (RT_VERSION 1) of a bootstrapper: the file and product version as numbers and the
// strings Explorer shows, in the string table 040904b0 (language 1033, code page 1200), laid out as the
// resource compiler lays out a VERSIONINFO statement.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ByteOrder.h"

namespace wrap {

struct VersionFields {
    std::array<std::uint16_t, 4> numbers;  // file and product version
    // Key and UTF-8 value, in the order they are written.
    std::vector<std::pair<std::string, std::string>> strings;
};

// The four numbers of a version text already checked by versionProblem.
std::array<std::uint16_t, 4> versionNumbers(const std::string& version);

// The most bytes a version resource can take: each node's length is a 16-bit number, the whole
// resource's that of its root.
constexpr std::size_t versionResourceLimit = 65535;

// The number of bytes versionResource(fields) takes, also when it is more than the limit.
std::size_t versionResourceSize(const VersionFields& fields);

// Throws WrapError when the fields take more than versionResourceLimit.
Bytes versionResource(const VersionFields& fields);

}  // namespace wrap
