#include "Wrap.h"

#include <filesystem>
#include <system_error>

#include "IconFile.h"
#include "ImageWriter.h"
#include "InputChecks.h"
#include "InputFile.h"
#include "OutputFile.h"
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

}  // namespace

std::string fileNameOf(const std::string& path) {
#ifdef _WIN32
    const char* separators = "/\\:";
#else
    const char* separators = "/";
#endif
    const std::size_t last = path.find_last_of(separators);
    return last == std::string::npos ? path : path.substr(last + 1);
}

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
            problems.push_back("--output '" + options.output + "' names no file");
    }
    if (!options.icon.empty()) note(problems, iconProblem(options.icon));
    if (options.stub.empty()) {
        problems.push_back("no stub: kiteboot-stub.exe is not beside kiteboot-wrap; give --stub");
    } else if (std::error_code error; !std::filesystem::is_regular_file(options.stub, error)) {
        problems.push_back("stub '" + options.stub + "' does not exist");
    }
    note(problems, versionProblem("--version", options.version));
    note(problems, textProblem("--company", options.company));
    note(problems, textProblem("--product", options.product));
    note(problems, textProblem("--description", options.description));
    note(problems, textProblem("--copyright", options.copyright));
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
    removeResources(resources, typeRcdata, payloadId);
    Resource payload = numberedResource(typeRcdata, payloadId);
    payload.streamed = true;
    payload.streamedSize = payloadSize;
    resources.push_back(std::move(payload));
    if (!ico.empty()) {
        removeResources(resources, typeIcon);
        removeResources(resources, typeGroupIcon);
        for (Resource& icon : iconResources(ico, iconGroupId))
            resources.push_back(std::move(icon));
    }
    removeResources(resources, typeVersion);
    resources.push_back(numberedResource(typeVersion, versionId, versionResource(version)));
}

WrapPlan planWrap(const ByteSource& stub, std::uint64_t payloadSize, const Bytes& ico,
                  const VersionFields& version) {
    WrapPlan plan;
    plan.stub = readPeImage(stub);
    const std::uint32_t rva = plan.stub.sections[plan.stub.resourceSection].virtualAddress;
    ResourceList resources = readResourceSection(plan.stub.resourceBytes(stub), rva);
    editResources(resources, payloadSize, ico, version);
    plan.resources = buildResourceSection(std::move(resources), rva);
    plan.image = planImage(plan.stub, plan.resources.size());
    const std::string tooLarge = imageSizeProblem(plan.image, payloadSize);
    if (!tooLarge.empty()) throw WrapError(tooLarge);
    return plan;
}

void wrapInstaller(const WrapOptions& options) {
    InputFile stubFile(options.stub);
    InputFile payload(options.payload);
    const std::uint64_t payloadSize = std::filesystem::file_size(options.payload);
    const Bytes ico = options.icon.empty() ? Bytes() : InputFile::readWhole(options.icon);
    // Checked again as read: the file may have changed since it was checked.
    const std::string iconChanged = ico.empty() ? "" : iconBytesProblem(options.icon, ico);
    if (!iconChanged.empty()) throw WrapError(iconChanged);
    const WrapPlan plan = planWrap(ByteSource::ofFile("stub '" + options.stub + "'", stubFile), payloadSize,
                                   ico, versionFields(options));

    OutputFile out(options.output);
    writeImage(plan.image, plan.stub, stubFile, plan.resources, payload, out);
    out.commit();
}

}  // namespace wrap
