// The checks of what a vendor hands to kiteboot-wrap, with the same sentences as the checks of
// kiteboot_add_bootstrapper (cmake/KitebootInputs.cmake): each returns "" when the input is good, or a
// sentence that names the input and says what is wrong with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "ByteOrder.h"
#include "ByteSource.h"

namespace wrap {

// The payload must be a 64-bit (AMD64) Windows executable: MZ header, PE signature, machine 0x8664, a PE32+
// optional header, executable and not a DLL; and not larger than the largest image (payloadSizeProblem).
std::string payloadContentProblem(const std::string& file, std::uint64_t size, const ReadAt& read);
// An .ico as iconFileProblem (IconFile.h) takes it.
std::string iconContentProblem(const std::string& file, std::uint64_t size, const ReadAt& read);

// The icon check of bytes already read.
std::string iconBytesProblem(const std::string& file, const Bytes& ico);

// The file checks around the content checks: exists, is a regular file (not a FIFO or a device), is not
// empty; a file that cannot be looked up or opened is reported with the system's reason.
std::string payloadProblem(const std::string& file);
std::string iconProblem(const std::string& file);

// The stub: a file (checked as payloadProblem checks), a Windows executable kiteboot-wrap can write from,
// and a kiteboot stub (stubResourcesProblem).
std::string stubProblem(const std::string& file);

// The output's path names a regular file or none (outputTarget), in a directory that exists.
std::string outputProblem(const std::string& file);
// The output would replace an input: the same file, whatever the spelling of either path. kind ("payload",
// "stub", "icon") names the input.
std::string sameFileProblem(const std::string& output, const std::string& kind, const std::string& file);

// Four numbers from 0 to 65535 (leading zeros allowed) separated by dots; option names the input in the
// sentence.
std::string versionProblem(const std::string& option, const std::string& version);
// A text of the version resource: UTF-8 without line breaks or tabs.
std::string textProblem(const std::string& option, const std::string& text);

}  // namespace wrap
