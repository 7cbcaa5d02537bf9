// Secure directories that earlier runs left in TEMP (a run killed, the machine switched off during an
// installation, a crash), removed by a later run after its payload has ended. They are Administrators-only,
// so the user who ran the launcher cannot remove them; only a launcher can.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "common/windows/WinHeaders.h"
#include "windows/wrappers/kiteboot/TempDirectory.h"

// How much one run does at most, so that a TEMP with very many entries cannot make every launch slow:
// names of the secure directories' form read from the listing, directories among them opened and checked,
// and directories removed.
struct LeftoverBounds {
    std::size_t listed = 1024;
    std::size_t examined = 64;
    std::size_t removed = 4;
};

// The decision whether the descriptor read back from the directory at path is exactly the secure
// directory's (carriesExactly with the launcher's own descriptor).
using DescriptorDecision = std::function<bool(const std::string& path, PSECURITY_DESCRIPTOR readBack)>;

// Removes from the directory temp holds (listed and opened through its handle, never looked up by a path)
// the directories that are provably leftovers of a launcher: named as secure directories are
// (isSecureDirectoryName), not links, openable for deletion while sharing reading only (any handle another
// process holds without delete sharing makes the open fail: a live launcher holds its directory so for its
// whole run, a payload that still runs has it as its working directory), their own final path TEMP's plus
// their name, not empty, and carrying exactly the secure directory's descriptor by decide, whose owner only
// an administrator can have set. The contents go through removeChildren (links removed as links, never
// followed), the directory through its handle; each removal is logged at TRACE as the clean-up logs it.
// What cannot be removed is left silently for a later run. Never throws.
void reclaimLeftovers(const TempDirectory& temp, const DescriptorDecision& decide,
                      const LeftoverBounds& bounds = {}) noexcept;
