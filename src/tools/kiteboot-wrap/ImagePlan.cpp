#include "ImagePlan.h"

#include <algorithm>

#include "AppendedPayload.h"
#include "PeLayout.h"

namespace wrap {

namespace {

void writeSectionHeader(std::uint8_t* at, const SectionHeader& section) {
    putU32(at + pe::section::virtualSize, section.virtualSize);
    putU32(at + pe::section::virtualAddress, section.virtualAddress);
    putU32(at + pe::section::rawSize, section.rawSize);
    putU32(at + pe::section::rawPointer, section.rawPointer);
}

void writeDirectory(Bytes& headers, std::uint32_t optionalHeader, std::uint32_t index,
                    DataDirectory directory) {
    std::uint8_t* at =
        &headers[optionalHeader + pe::optional::directories + pe::optional::directorySize * index];
    putU32(at, directory.virtualAddress);
    putU32(at + 4, directory.size);
}

std::string mebibytes(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB (" + std::to_string(bytes) + " bytes)";
}

}  // namespace

ImagePlan planImage(const PeImage& stub, std::uint64_t resourceSectionSize) {
    ImagePlan plan;
    plan.sections = stub.sections;

    const std::size_t rsrc = stub.resourceSection;
    const std::uint64_t oldRawSize = alignUp(stub.sections[rsrc].rawSize, stub.fileAlignment);
    const std::uint64_t newRawSize = alignUp(resourceSectionSize, stub.fileAlignment);
    SectionHeader& resources = plan.sections[rsrc];
    if (resourceSectionSize > largestImage) {
        // Beyond what 32-bit fields hold: what the image would take is all that is wanted of the plan.
        plan.imageSize = resources.virtualAddress + resourceSectionSize;
        plan.fileSize = resources.rawPointer + newRawSize;
        return plan;
    }
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
    plan.imageSize = alignUp(std::uint64_t{last.virtualAddress} + last.virtualSize, stub.sectionAlignment);
    plan.fileSize = std::uint64_t{last.rawPointer} + last.rawSize;
    for (const SectionHeader& section : plan.sections)
        if (section.rawSize != 0)
            plan.fileSize =
                std::max<std::uint64_t>(plan.fileSize, std::uint64_t{section.rawPointer} + section.rawSize);

    plan.headers = stub.headers;
    Bytes& headers = plan.headers;
    for (std::size_t i = 0; i < plan.sections.size(); ++i)
        writeSectionHeader(&headers[stub.sectionTable + pe::section::size * i], plan.sections[i]);
    const std::uint32_t optional = stub.optionalHeader;
    // The linker counts the file-aligned size of every section with contents; only the resources change.
    const std::uint32_t initializedData = getU32(&headers[optional + pe::optional::sizeOfInitializedData]);
    putU32(&headers[optional + pe::optional::sizeOfInitializedData],
           static_cast<std::uint32_t>(initializedData - oldRawSize + newRawSize));
    putU32(&headers[optional + pe::optional::sizeOfImage], static_cast<std::uint32_t>(plan.imageSize));
    plan.checksumOffset = optional + pe::optional::checkSum;
    putU32(&headers[plan.checksumOffset], 0);
    writeDirectory(headers, optional, pe::directory::resource,
                   {resources.virtualAddress, resources.virtualSize});
    // A signature of the stub does not sign the bootstrapper; the symbol table is not copied.
    writeDirectory(headers, optional, pe::directory::certificate, {});
    putU32(&headers[stub.coffHeader + pe::coff::symbolTable], 0);
    putU32(&headers[stub.coffHeader + pe::coff::symbolCount], 0);
    // Only the base relocations may follow the resources (readPeImage checks it), and they start their
    // section, which has moved.
    if (rsrc + 1 < plan.sections.size()) {
        writeDirectory(
            headers, optional, pe::directory::baseRelocation,
            {plan.sections[rsrc + 1].virtualAddress, stub.directories[pe::directory::baseRelocation].size});
    }
    return plan;
}

std::string imageSizeProblem(const ImagePlan& plan, std::uint64_t payloadSize) {
    const std::uint64_t size = std::max(plan.imageSize, plan.fileSize);
    if (size <= largestImage) return "";
    return "the payload of " + mebibytes(payloadSize) + " is too large: the bootstrapper would take " +
           mebibytes(size) + ", and a Windows executable may take at most 2 GiB (" +
           std::to_string(largestImage) + " bytes)";
}

std::string payloadSizeProblem(std::uint64_t payloadSize) {
    if (payloadSize <= largestAppended) return "";
    return "the payload of " + mebibytes(payloadSize) + " is too large: a bootstrapper may take at most " +
           "4 GiB less 1 MiB (" + std::to_string(largestAppended) +
           " bytes), so that a signature still fits below 4 GiB, and it holds the payload and more";
}

}  // namespace wrap
