#include "ImageHeaders.h"

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

}  // namespace

std::uint32_t checksumOffset(const PeImage& stub) {
    return stub.optionalHeader + pe::optional::checkSum;
}

Bytes imageHeaders(const ImagePlan& plan, const PeImage& stub) {
    Bytes headers = stub.headers;
    for (std::size_t i = 0; i < plan.sections.size(); ++i)
        writeSectionHeader(&headers[stub.sectionTable + pe::section::size * i], plan.sections[i]);
    const std::uint32_t optional = stub.optionalHeader;
    const std::size_t rsrc = stub.resourceSection;
    const SectionHeader& resources = plan.sections[rsrc];
    // The linker counts the file-aligned size of every section with contents; only the resources change.
    const std::uint32_t initializedData = getU32(&headers[optional + pe::optional::sizeOfInitializedData]);
    const std::uint64_t oldRawSize = alignUp(stub.sections[rsrc].rawSize, stub.fileAlignment);
    putU32(&headers[optional + pe::optional::sizeOfInitializedData],
           static_cast<std::uint32_t>(initializedData - oldRawSize + resources.rawSize));
    putU32(&headers[optional + pe::optional::sizeOfImage], static_cast<std::uint32_t>(plan.imageSize));
    putU32(&headers[checksumOffset(stub)], 0);
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
    return headers;
}

}  // namespace wrap
