// The resources of a bootstrapper that kiteboot-wrap writes and the launcher reads, and the mark of a stub:
// named once, here. Standard C++ only, for both programs. cmake/KitebootBootstrapper.cmake reads the stub's
// mark from this file when it writes a stub's resource script: keep each of the three on a line of its own,
// spelled as it is.
#pragma once

#include <string_view>

// The payload: resource RT_RCDATA 100.
constexpr unsigned kPayloadResourceType = 10;  // RT_RCDATA, also the type of the payload's record
constexpr unsigned kPayloadResourceId = 100;
// The record of a payload carried after the image (PayloadRecord.h): RT_RCDATA 101. A bootstrapper carries
// the payload or its record, never both.
constexpr unsigned kPayloadRecordId = 101;

// The mark every kiteboot stub carries, so that kiteboot-wrap writes only from a stub it knows: a resource
// of kiteboot's own type whose bytes name the stub's format; the launcher never reads it.
constexpr std::u16string_view kStubMarkType = u"KITEBOOT";
constexpr unsigned kStubMarkName = 1;
// Changes when a stub's layout changes in a way an older kiteboot-wrap would not write correctly.
constexpr std::string_view kStubMarkText = "kiteboot stub 1";
