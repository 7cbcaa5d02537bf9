// A new directory created and opened in one step, held so that nothing can take its place.
#pragma once

#include <string>

#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"

// Creates the directory path (a narrow UTF-8 path) with descriptor applied at creation, and returns a
// handle to exactly that directory: creating and opening are one system call, so no other directory can
// be put under the name in between. The handle lists and traverses and shares reading and writing but not
// deletion, so while it is held no process can rename, delete or replace the directory; files can still be
// made and removed inside it.
// On failure returns an empty holder and sets error to the Windows error code (ERROR_ALREADY_EXISTS when
// anything occupies the path); on success error is ERROR_SUCCESS. Throws ZorError<SysError> when the
// system functions it needs cannot be bound from ntdll.
UniqueHandle createHeldDirectory(const std::string& path, PSECURITY_DESCRIPTOR descriptor, DWORD& error);
