// The bootstrapper read back with kiteboot-wrap's own reader before it takes the output's name: an
// executable Windows starts (requireStartable), its manifest asking for administrator rights, the payload
// carried whole and the checksum right. A run that exits 0 has written a bootstrapper Windows can start,
// whatever stub it was given.
#pragma once

#include "ByteSource.h"

namespace wrap {

// Throws WrapError naming written's owner and what is wrong. payload is the installer as given: the
// bootstrapper must carry it byte for byte. Reads the bootstrapper once, in pieces of streamBufferSize,
// and the payload once beside it, so memory stays flat and the check takes about one read of each.
void checkBootstrapper(const ByteSource& written, const ByteSource& payload);

}  // namespace wrap
