#include "Stub.h"

#include <algorithm>
#include <utility>

#include "StartableImage.h"
#include "common/share/BootstrapperResources.h"
#include "Wrap.h"

namespace wrap {

namespace {

bool isMark(const Resource& resource) {
    return resource.type.text == kStubMarkType && resource.name.text.empty() &&
           resource.name.id == kStubMarkName;
}

std::string printable(const Bytes& bytes) {
    std::string text;
    for (std::uint8_t byte : bytes)
        text += byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '?';
    return text;
}

}  // namespace

Stub readStub(const ByteSource& file) {
    PeImage image = readPeImage(file);
    requireStartable(image, file);
    const std::uint32_t rva = image.sections[image.resourceSection].virtualAddress;
    ResourceList resources = readResourceSection(image.resourceBytes(file), rva);
    return {std::move(image), std::move(resources)};
}

std::string stubResourcesProblem(const std::string& stub, const ResourceList& resources) {
    const auto mark = std::find_if(resources.begin(), resources.end(), isMark);
    if (mark == resources.end())
        return stub + " is not a kiteboot stub (it lacks the mark kiteboot-stub.exe carries): --stub takes " +
               "kiteboot-stub.exe, --payload the installer";
    const Bytes expected(kStubMarkText.begin(), kStubMarkText.end());
    if (mark->data != expected)
        return stub + " is a kiteboot stub of another format ('" + printable(mark->data) +
               "'): give the kiteboot-stub.exe that came with this kiteboot-wrap";
    const bool carriesPayload = std::any_of(resources.begin(), resources.end(), [](const Resource& r) {
        return isNumbered(r, typeRcdata, payloadId);
    });
    if (carriesPayload)
        return stub + " is a bootstrapper that already carries an installer (resource RT_RCDATA 100), " +
               "not the stub: give kiteboot-stub.exe, and the installer itself as --payload";
    const bool carriesRecord = std::any_of(resources.begin(), resources.end(), [](const Resource& r) {
        return isNumbered(r, typeRcdata, payloadRecordId) &&
               decodePayloadRecord(r.data.data(), r.data.size());
    });
    if (carriesRecord)
        return stub + " is a bootstrapper that already carries an installer after its image (resource " +
               "RT_RCDATA 101), not the stub: give kiteboot-stub.exe, and the installer itself as --payload";
    return manifestProblem(stub, resources);
}

}  // namespace wrap
