#include "ImagePlan.h"

#include <algorithm>

#include "AppendedPayload.h"

namespace wrap {

namespace {

std::string mebibytes(std::uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MiB (" + std::to_string(bytes) + " bytes)";
}

}  // namespace

ImagePlan planImage(const PeImage& stub, std::uint64_t resourceSectionSize) {
    ImagePlan plan;
    plan.sections = stub.sections;

    const std::size_t rsrc = stub.resourceSection;
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
    return plan;
}

bool fitsLargestImage(const ImagePlan& plan) {
    return std::max(plan.imageSize, plan.fileSize) <= largestImage;
}

std::string payloadSizeProblem(std::uint64_t payloadSize) {
    if (payloadSize <= largestAppended) return "";
    return "the payload of " + mebibytes(payloadSize) + " is too large: a bootstrapper may take at most " +
           "4 GiB less 1 MiB (" + std::to_string(largestAppended) +
           " bytes), so that a signature still fits below 4 GiB, and it holds the payload and more";
}

}  // namespace wrap
