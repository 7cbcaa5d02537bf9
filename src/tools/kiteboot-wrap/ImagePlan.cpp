#include "ImagePlan.h"

#include "WrapError.h"

namespace wrap {

namespace {

// An image addresses at most 4 GiB; kiteboot-wrap stays well below, where every size fits 32 bits.
constexpr std::uint64_t largestImage = 0xf0000000u;

void writeSectionHeader(std::uint8_t* at, const SectionHeader& section) {
    putU32(at + 8, section.virtualSize);
    putU32(at + 12, section.virtualAddress);
    putU32(at + 16, section.rawSize);
    putU32(at + 20, section.rawPointer);
}

void writeDirectory(Bytes& headers, std::uint32_t optionalHeader, int index, DataDirectory directory) {
    std::uint8_t* at = &headers[optionalHeader + optionalDataDirectories + 8 * index];
    putU32(at, directory.virtualAddress);
    putU32(at + 4, directory.size);
}

}  // namespace

ImagePlan planImage(const PeImage& stub, std::uint64_t resourceSectionSize) {
    ImagePlan plan;
    plan.sections = stub.sections;

    const std::size_t rsrc = stub.resourceSection;
    const std::uint64_t oldRawSize = alignUp(stub.sections[rsrc].rawSize, stub.fileAlignment);
    const std::uint64_t newRawSize = alignUp(resourceSectionSize, stub.fileAlignment);
    if (stub.sections[rsrc].rawPointer + newRawSize > largestImage)
        throw WrapError("the payload is too large for a Windows executable");
    SectionHeader& resources = plan.sections[rsrc];
    resources.virtualSize = static_cast<std::uint32_t>(resourceSectionSize);
    resources.rawSize = static_cast<std::uint32_t>(newRawSize);
    // Later sections follow, in memory and in the file.
    for (std::size_t i = rsrc + 1; i < plan.sections.size(); ++i) {
        const SectionHeader& previous = plan.sections[i - 1];
        plan.sections[i].virtualAddress = static_cast<std::uint32_t>(
            alignUp(std::uint64_t{previous.virtualAddress} + previous.virtualSize, stub.sectionAlignment));
        plan.sections[i].rawPointer = previous.rawPointer + previous.rawSize;
    }
    const SectionHeader& last = plan.sections.back();
    const std::uint64_t sizeOfImage =
        alignUp(std::uint64_t{last.virtualAddress} + last.virtualSize, stub.sectionAlignment);
    plan.fileSize = std::uint64_t{last.rawPointer} + last.rawSize;
    for (const SectionHeader& section : plan.sections)
        if (section.rawSize != 0)
            plan.fileSize =
                std::max<std::uint64_t>(plan.fileSize, std::uint64_t{section.rawPointer} + section.rawSize);
    if (sizeOfImage > largestImage || plan.fileSize > largestImage)
        throw WrapError("the payload is too large for a Windows executable");

    plan.headers.assign(stub.file.begin(), stub.file.begin() + stub.sizeOfHeaders);
    Bytes& headers = plan.headers;
    for (std::size_t i = 0; i < plan.sections.size(); ++i)
        writeSectionHeader(&headers[stub.sectionTable + sectionHeaderSize * i], plan.sections[i]);
    const std::uint32_t optional = stub.optionalHeader;
    // The linker counts the file-aligned size of every section with contents; only the resources change.
    const std::uint32_t initializedData = getU32(&headers[optional + optionalSizeOfInitializedData]);
    putU32(&headers[optional + optionalSizeOfInitializedData],
           static_cast<std::uint32_t>(initializedData - oldRawSize + newRawSize));
    putU32(&headers[optional + optionalSizeOfImage], static_cast<std::uint32_t>(sizeOfImage));
    plan.checksumOffset = optional + optionalCheckSum;
    putU32(&headers[plan.checksumOffset], 0);
    writeDirectory(headers, optional, directoryResource, {resources.virtualAddress, resources.virtualSize});
    // A signature of the stub does not sign the bootstrapper; the symbol table is not copied.
    writeDirectory(headers, optional, directoryCertificate, {});
    putU32(&headers[stub.coffHeader + 8], 0);
    putU32(&headers[stub.coffHeader + 12], 0);
    // Only the base relocations may follow the resources (readPeImage checks it), and they start their
    // section, which has moved.
    if (rsrc + 1 < plan.sections.size()) {
        writeDirectory(
            headers, optional, directoryBaseRelocation,
            {plan.sections[rsrc + 1].virtualAddress, stub.directories[directoryBaseRelocation].size});
    }
    return plan;
}

}  // namespace wrap
