// The two decisions that make a directory in TEMP a leftover secure directory of an earlier run, kept apart
// from the system calls so that tests pin them exactly: its name, and the descriptor read back from it.
#pragma once

#include <string_view>

#include "common/windows/WinHeaders.h"

// True for "zor", an optional minus sign, one or more decimal digits and ".tmp": every name the launcher
// gives its secure directory (the number is the tick count as a signed 32-bit number, negative after 24.8
// days of uptime). Letters compare without regard to case, as the file system compares names.
bool isSecureDirectoryName(std::wstring_view name);

// True when readBack (owner and access list read back from a directory) is exactly ours: the same owner,
// an access list present and protected, and the same entries in the same order, byte for byte (type,
// inheritance flags, access mask, trustee). The group, the system access list and the automatic-inheritance
// bit of the control are not compared: the first is the creator's, the second is not read, the third says
// only how entries were propagated. Pure: reads both descriptors in memory only.
bool carriesExactly(PSECURITY_DESCRIPTOR readBack, PSECURITY_DESCRIPTOR ours);
