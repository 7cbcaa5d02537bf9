#include "Wrap.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "FilePath.h"
#include "IconFile.h"
#include "ImageWriter.h"
#include "InputChecks.h"
#include "InputFile.h"
#include "OutputCheck.h"
#include "OutputFile.h"
#include "ShownText.h"
#include "Stub.h"
#include "WrapError.h"

namespace wrap {

namespace {

void note(std::vector<std::string>& problems, const std::string& problem) {
    if (!problem.empty()) problems.push_back(problem);
}

bool endsWithExe(const std::string& name) {
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return extension == ".exe";
}

// Characters, not bytes, as the vendor counts them.
std::size_t characters(const std::string& utf8) {
    return static_cast<std::size_t>(std::count_if(
        utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xc0) != 0x80; }));
}

// The option whose text is the longest, and that text's length in characters.
std::pair<std::string, std::size_t> longestText(const WrapOptions& options) {
    std::pair<std::string, std::size_t> longest{"--output's file name",
                                                characters(fileNameOf(options.output))};
    for (const auto& [option, text] :
         {std::pair<const char*, const std::string&>{"--company", options.company},
          {"--product", options.product},
          {"--description", options.description},
          {"--copyright", options.copyright}})
        if (characters(text) > longest.second) longest = {option, characters(text)};
    return longest;
}

std::string versionSizeProblem(const WrapOptions& options) {
    const std::size_t size = versionResourceSize(versionFields(options));
    if (size <= versionResourceLimit) return "";
    const auto [option, length] = longestText(options);
    return "the texts are too long for the version information: it would take " + std::to_string(size) +
           " bytes, and Windows' version resource holds at most " + std::to_string(versionResourceLimit) +
           " (the longest text is " + option + ", " + std::to_string(length) + " characters)";
}

}  // namespace

std::vector<std::string> inputProblems(const WrapOptions& options) {
    std::vector<std::string> problems;
    if (options.payload.empty())
        problems.push_back("--payload is required: the installer to wrap");
    else
        note(problems, payloadProblem(options.payload));
    if (options.output.empty()) {
        problems.push_back("--output is required: the bootstrapper to write");
    } else {
        note(problems, textProblem("--output", fileNameOf(options.output)));
        if (fileNameOf(options.output).empty())
            problems.push_back("--output " + inQuotes(options.output) + " names no file");
        else
            note(problems, outputProblem(options.output));
    }
    if (!options.icon.empty()) note(problems, iconProblem(options.icon));
    if (options.stub.empty())
        problems.push_back("no stub: kiteboot-stub.exe is not beside kiteboot-wrap; give --stub");
    else
        note(problems, stubProblem(options.stub));
    const std::size_t beforeTexts = problems.size();
    note(problems, versionProblem("--file-version", options.version));
    note(problems, textProblem("--company", options.company));
    note(problems, textProblem("--product", options.product));
    note(problems, textProblem("--description", options.description));
    note(problems, textProblem("--copyright", options.copyright));
    if (problems.size() == beforeTexts && !options.output.empty())
        note(problems, versionSizeProblem(options));
    if (!options.output.empty()) {
        note(problems, sameFileProblem(options.output, "payload", options.payload));
        note(problems, sameFileProblem(options.output, "stub", options.stub));
        note(problems, sameFileProblem(options.output, "icon", options.icon));
    }
    return problems;
}

VersionFields versionFields(const WrapOptions& options) {
    const std::string file = fileNameOf(options.output);
    const std::string internal = endsWithExe(file) ? file.substr(0, file.size() - 4) : file;
    return {versionNumbers(options.version),
            {{"CompanyName", options.company},
             {"FileDescription", options.description},
             {"FileVersion", options.version},
             {"InternalName", internal},
             {"LegalCopyright", options.copyright},
             {"OriginalFilename", file},
             {"ProductName", options.product},
             {"ProductVersion", options.version}}};
}

void editResources(ResourceList& resources, std::uint64_t payloadSize, const Bytes& ico,
                   const VersionFields& version) {
    // RT_RCDATA 101 is the record of a payload after the image: a stub's own would be taken for one.
    removeResources(resources, typeRcdata, payloadId);
    removeResources(resources, typeRcdata, payloadRecordId);
    Resource payload = numberedResource(typeRcdata, payloadId);
    payload.streamed = true;
    payload.streamedSize = payloadSize;
    resources.push_back(std::move(payload));
    if (!ico.empty()) {
        removeResources(resources, typeIcon);
        removeResources(resources, typeGroupIcon);
        for (Resource& icon : iconResources(ByteSource::ofBytes("the icon", ico), iconGroupId))
            resources.push_back(std::move(icon));
    }
    removeResources(resources, typeVersion);
    resources.push_back(numberedResource(typeVersion, versionId, versionResource(version)));
}

WrapPlan planWrap(const ByteSource& stub, std::uint64_t payloadSize, const Bytes& ico,
                  const VersionFields& version, PayloadForm form) {
    Stub read = readStub(stub);
    // Checked again as read, as the icon is: the file may have changed since it was checked.
    throwIfProblem(stubResourcesProblem(stub.owner(), read.resources));
    WrapPlan plan;
    plan.stub = std::move(read.image);
    const std::uint32_t rva = plan.stub.sections[plan.stub.resourceSection].virtualAddress;
    ResourceList resources = std::move(read.resources);
    editResources(resources, payloadSize, ico, version);
    plan.resources = buildResourceSection(resources, rva);
    plan.image = planImage(plan.stub, plan.resources.size());
    if (form == PayloadForm::fitting && fitsLargestImage(plan.image)) return plan;

    // After the image: the record in place of the payload, laid out twice, as the record's size does not
    // depend on where the payload goes.
    removeResources(resources, typeRcdata, payloadId);
    resources.push_back(payloadRecordResource({}));
    plan.resources = buildResourceSection(resources, rva);
    plan.image = planImage(plan.stub, plan.resources.size());
    const AppendedPlacement placement = placeAppended(plan.image, plan.stub.fileAlignment, payloadSize);
    throwIfProblem(appendedSizeProblem(placement));
    removeResources(resources, typeRcdata, payloadRecordId);
    resources.push_back(payloadRecordResource(placement));
    plan.resources = buildResourceSection(std::move(resources), rva);
    plan.appended = placement;
    return plan;
}

void wrapInstaller(const WrapOptions& options) {
    InputFile stubFile(options.stub);
    InputFile payloadFile(options.payload);
    std::error_code error;
    const std::uint64_t payloadSize = std::filesystem::file_size(filePath(options.payload), error);
    if (error) throw systemError("cannot read " + inQuotes(options.payload), error);
    const Bytes ico = options.icon.empty() ? Bytes() : InputFile::readWhole(options.icon);
    if (!ico.empty()) throwIfProblem(iconBytesProblem(options.icon, ico));
    const ByteSource stub = ByteSource::ofFile("stub " + inQuotes(options.stub), stubFile);
    const WrapPlan plan = planWrap(stub, payloadSize, ico, versionFields(options),
                                   options.appendPayload ? PayloadForm::appended : PayloadForm::fitting);

    OutputFile out(options.output);
    const WrittenPayload wrote = writeImage(
        plan.image, plan.stub, stub, plan.resources,
        [&payloadFile](std::uint8_t* buffer, std::size_t size) { return payloadFile.readNext(buffer, size); },
        out, plan.appended ? &*plan.appended : nullptr);
    const ByteSource written(
        "the bootstrapper written for --output " + inQuotes(options.output), "the file", out.position(),
        [&out](std::uint64_t offset, std::size_t count) { return out.readAt(offset, count); },
        [&out](std::uint64_t offset, std::uint8_t* buffer, std::size_t count) {
            return out.readInto(offset, buffer, count);
        });
    out.startFlush();  // the disk writes while the file is read back
    try {
        checkBootstrapper(written, ByteSource::ofFile("payload " + inQuotes(options.payload), payloadFile),
                          wrote);
    } catch (const WrapError& error) {
        throw WrapError(std::string(error.what()) + " (it was not kept; the output is as it was)",
                        error.cause());
    }
    out.commit();
}

WrittenPayload writeInMemory(const WrapPlan& plan, const ByteSource& stub, const Bytes& payload,
                             BytesSink& out) {
    std::size_t done = 0;
    const WrittenPayload wrote = writeImage(
        plan.image, plan.stub, stub, plan.resources,
        [&](std::uint8_t* buffer, std::size_t size) {
            const std::size_t count = std::min(size, payload.size() - done);
            std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(done), count, buffer);
            done += count;
            return count;
        },
        out, plan.appended ? &*plan.appended : nullptr);
    checkBootstrapper(ByteSource::ofBytes("the bootstrapper written", out.bytes),
                      ByteSource::ofBytes("the payload", payload), wrote);
    return wrote;
}

}  // namespace wrap
