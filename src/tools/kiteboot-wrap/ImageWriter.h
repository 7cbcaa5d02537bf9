// Writes a bootstrapper in one sequential pass that follows its plan: headers, the stub's sections copied
// from its file, the new resource section with the payload streamed through a fixed buffer; the checksum is
// summed on the way and put into the header last.
#pragma once

#include "AppendedPayload.h"
#include "ImagePlan.h"
#include "InputFile.h"
#include "OutputFile.h"
#include "ResourceSection.h"

namespace wrap {

// The size of the buffers the payload passes through (two of them): memory does not grow with the payload.
constexpr std::size_t streamBufferSize = 1 << 20;

// stubFile is the file stub was read from; payload supplies the resource section's streamed bytes (exactly
// resources.streamedSize of them) or, when appended is given, the bytes written after the image, whose
// SHA-256, computed on a second thread while they are written, is then put into the record (resource
// RT_RCDATA 101): the payload is read once. Throws WrapError on a failed read or write and when a file's size
// changed.
void writeImage(const ImagePlan& plan, const PeImage& stub, InputFile& stubFile,
                const ResourceSection& resources, InputFile& payload, OutputFile& out,
                const AppendedPlacement* appended = nullptr);

}  // namespace wrap
