// The payload carried after the bootstrapper's image, for installers too large for a 2 GiB image: the image
// holds a record (resource RT_RCDATA 101) of where the payload lies in the file, how long it is and its
// SHA-256. The record lies inside the mapped image, which a signature covers; the payload is read from the
// file by its path, which proves nothing, so it is used only once its bytes hash to the recorded value.
#pragma once

#include <iosfwd>
#include <optional>

#include "common/share/PayloadRecord.h"
#include "common/windows/WinHeaders.h"

// The record of module's appended payload; none when module has no record resource or one that is not a
// record kiteboot-wrap writes (the caller then reports the missing payload resource, as without one).
std::optional<PayloadRecord> findPayloadRecord(HMODULE module);

// Copies the payload from module's own file (opened sharing reading only and proven to be the file the
// module was mapped from, ModuleFile.h) to out, in pieces a thread of its own reads and hashes ahead of the
// writes (HashingReader), so the file is read once and the hash runs beside the copy. Throws
// ZorError<std::runtime_error> when the file cannot be opened and proven, when it ends before the recorded
// end ("cut short"), and after the last piece when the bytes read do not hash to the recorded SHA-256 (the
// message names both); ZorError<SysError> when a read fails; and what out throws. Bytes after the recorded
// end are not read: they are the signature's certificate table, or anything else added after wrapping, and
// the payload is what it is whatever follows it.
void writeAppendedPayload(std::ostream& out, HMODULE module, const PayloadRecord& record);
