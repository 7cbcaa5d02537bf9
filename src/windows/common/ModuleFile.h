// The file a loaded module was mapped from, read as a file: reading it costs far less than touching every
// page of the mapped image, but its path proves nothing, so the file is used only once it is proven to be
// the very file the module was mapped from.
#pragma once

#include "common/windows/WinAutoHandle.h"

// The module's file, opened for reading and shared for reading only (no one can write, rename or delete it
// while the handle is held), and proven to be the file the module's image was mapped from: a process of
// the same user may have renamed the running image away and put another file under its name. An empty
// handle when the file cannot be opened or proven, or the system offers no proof. Logs nothing; never
// throws.
UniqueHandle openModuleFile(HMODULE module) noexcept;
