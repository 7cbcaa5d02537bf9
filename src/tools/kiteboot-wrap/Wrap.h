// Making a bootstrapper from a stub: the checks of the inputs, then read, edit, lay out and write.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "AppendedPayload.h"
#include "ByteSource.h"
#include "CommandLine.h"
#include "ImagePlan.h"
#include "ImageWriter.h"
#include "PeImage.h"
#include "ResourceSection.h"
#include "ResourceTree.h"
#include "VersionResource.h"
#include "common/share/BootstrapperResources.h"

namespace wrap {

constexpr std::uint16_t payloadId = kPayloadResourceId;
static_assert(typeRcdata == kPayloadResourceType, "the payload and its record are RT_RCDATA resources");
constexpr std::uint16_t iconGroupId = 101;
constexpr std::uint16_t versionId = 1;

// Every problem with the options and the files they name, each a sentence; empty when all are good.
std::vector<std::string> inputProblems(const WrapOptions& options);

// The version resource's fields: the options' version and texts, and the output's file name as
// OriginalFilename and, without ".exe", as InternalName.
VersionFields versionFields(const WrapOptions& options);

// The stub's resources edited: the payload (streamed) as RT_RCDATA 100, the icon's resources in place of
// the stub's icons when an icon is given, the version resource in place of the stub's.
void editResources(ResourceList& resources, std::uint64_t payloadSize, const Bytes& ico,
                   const VersionFields& version);

// Everything a bootstrapper is written from, read and laid out before the output is opened: the stub's
// headers, the new resource section and the image's plan.
struct WrapPlan {
    PeImage stub;
    ResourceSection resources;
    ImagePlan image;
    std::optional<AppendedPlacement> appended;  // set when the payload is carried after the image
};

// How the payload is carried: as RT_RCDATA 100 when the image then fits 2 GiB, otherwise after the image;
// or after the image whatever its size (for tests: KITEBOOT_WRAP_APPEND_PAYLOAD=1).
enum class PayloadForm { fitting, appended };

// Reads the stub and lays out the bootstrapper for a payload of payloadSize bytes, the icon ico (already
// checked; empty for the stub's own) and the version fields. Throws WrapError on a damaged stub and when
// the bootstrapper would be too large.
WrapPlan planWrap(const ByteSource& stub, std::uint64_t payloadSize, const Bytes& ico,
                  const VersionFields& version, PayloadForm form = PayloadForm::fitting);

// Writes options.output from options.stub, checked (checkBootstrapper) before it takes the output's name.
// Throws WrapError; then the output is as it was.
void wrapInstaller(const WrapOptions& options);

// What wrapInstaller does once planned, in memory, as fuzzing uses it: the bootstrapper of plan (made from
// stub for payload's size) with payload into out, checked (checkBootstrapper); returns what the writer saw
// of a payload after the image. Throws WrapError.
WrittenPayload writeInMemory(const WrapPlan& plan, const ByteSource& stub, const Bytes& payload,
                             BytesSink& out);

}  // namespace wrap
