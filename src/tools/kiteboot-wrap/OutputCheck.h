// The bootstrapper read back with kiteboot-wrap's own reader before it takes the output's name: an
// executable Windows starts (requireStartable), its manifest asking for administrator rights, the payload
// carried whole and the checksum right. A run that exits 0 has written a bootstrapper Windows can start,
// whatever stub it was given.
#pragma once

#include "ByteSource.h"
#include "ImageWriter.h"

namespace wrap {

// Throws WrapError naming written's owner and what is wrong. payload is the installer as given and wrote
// what writeImage returned. A payload in the resource section must be the installer byte for byte; one
// after the image must have the size of the installer and the fingerprint of the bytes the writer read,
// and its record the SHA-256 the writer computed. Reads the bootstrapper once, in pieces of
// streamBufferSize, and, for a payload in the image, the installer once beside it, so memory stays flat.
void checkBootstrapper(const ByteSource& written, const ByteSource& payload, const WrittenPayload& wrote);

}  // namespace wrap
