// kiteboot-wrap --inspect: what a vendor checks of a bootstrapper in CI, read from the file alone: the
// stub's format, how the payload is carried, its size and SHA-256 (checked against the record when it is
// carried after the image), the version texts, and whether a signature's certificate table follows the
// payload. The payload is hashed through a fixed buffer, so memory does not follow its size.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "ByteSource.h"
#include "PeImage.h"
#include "common/share/PayloadRecord.h"

namespace wrap {

// Exit statuses of --inspect (2 stays the usage error of every command line).
constexpr int inspectSound = 0;    // a kiteboot bootstrapper; its payload whole, a signature after it
constexpr int inspectUnread = 1;   // not a kiteboot bootstrapper, or damaged, or it cannot be read
constexpr int inspectChanged = 3;  // its payload does not match its record, is cut short, or a
                                   // certificate table lies over it

struct Inspection {
    std::string stubMark;
    bool appended = false;
    std::uint64_t payloadOffset = 0;  // in the file
    std::uint64_t payloadSize = 0;
    std::optional<PayloadRecord> record;
    std::vector<std::pair<std::string, std::string>> versionTexts;  // as the version resource has them
    DataDirectory certificateTable;                                 // file offset and size; 0, 0: unsigned
    std::uint64_t fileSize = 0;
};

// Reads what --inspect reports, except the payload's hash. Throws WrapError naming file's owner when the
// file is not a kiteboot bootstrapper or is damaged.
Inspection readInspection(const ByteSource& file);

// The version resource's string table, (key, value) in order, UTF-8. Throws WrapError when it is damaged.
std::vector<std::pair<std::string, std::string>> versionTexts(const ByteSource& resource);

// Prints the report on out and returns the exit status above; the reason a file is refused goes to err.
int inspectBootstrapper(const std::string& path, std::ostream& out, std::ostream& err);

}  // namespace wrap
