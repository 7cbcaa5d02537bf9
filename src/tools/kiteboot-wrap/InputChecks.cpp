#include "InputChecks.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "FilePath.h"
#include "IconFile.h"
#include "ImagePlan.h"
#include "InputFile.h"
#include "OutputTarget.h"
#include "PeImage.h"
#include "PeLayout.h"
#include "ShownText.h"
#include "Stub.h"
#include "Utf16.h"
#include "WrapError.h"

namespace wrap {

namespace {

std::string quoted(const std::string& kind, const std::string& file) {
    return kind + " " + inQuotes(file);
}

// "000001" is the number 1.
std::string withoutLeadingZeros(const std::string& digits) {
    const std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

using ContentCheck = std::string (*)(const std::string&, std::uint64_t, const ReadAt&);

// Exists, is a regular file and is not empty: then size is its size. A FIFO or a device has no size to
// plan by, and its bytes could differ on every read.
std::string presenceProblem(const std::string& kind, const std::string& file, std::uint64_t& size) {
    std::error_code error;
    const auto status = std::filesystem::status(filePath(file), error);
    if (status.type() == std::filesystem::file_type::not_found) return quoted(kind, file) + " does not exist";
    if (error) return quoted(kind, file) + " cannot be looked up: " + error.message();
    if (std::filesystem::is_directory(status)) return quoted(kind, file) + " is a directory, not a file";
    if (const std::string other = notRegularFile(status); !other.empty())
        return quoted(kind, file) + " is " + other + ", not a regular file";
    size = std::filesystem::file_size(filePath(file), error);
    if (error) return quoted(kind, file) + " cannot be looked up: " + error.message();
    if (size == 0) return quoted(kind, file) + " is empty";
    return "";
}

std::string fileProblem(const std::string& kind, const std::string& file, ContentCheck content) {
    std::uint64_t size = 0;
    if (std::string problem = presenceProblem(kind, file, size); !problem.empty()) return problem;
    try {
        InputFile input(file);
        return content(file, size, [&input](std::uint64_t offset, std::size_t count) {
            return input.readAt(offset, count);
        });
    } catch (const WrapError& error) {
        return error.what();  // unreadable: one problem among the others, not the end of the checks
    }
}

}  // namespace

std::string payloadContentProblem(const std::string& file, std::uint64_t size, const ReadAt& read) {
    const std::string payload = quoted("payload", file);
    const std::string notWindows = payload + " is not a Windows executable";
    const ByteSource bytes(payload, "the file", size, read);
    if (const std::string lacks = executableProblem(bytes); !lacks.empty())
        return notWindows + " (" + lacks + ")";
    const CoffHeader coff = readCoffHeader(bytes);
    const std::string needed = ", but the payload must be a 64-bit (AMD64) Windows executable";
    if (coff.machine == pe::coff::machineI386)
        return payload + " is a 32-bit (i386) Windows executable" + needed;
    if (coff.machine == pe::coff::machineArm64) return payload + " is an ARM64 Windows executable" + needed;
    if (coff.machine != pe::coff::machineAmd64)
        return payload + " is a Windows executable for machine " + hexNumber(coff.machine) + needed;
    if (!coff.isPe32Plus())
        return payload + " is not a valid 64-bit Windows executable (no PE32+ optional header)";
    if (coff.characteristics & pe::coff::characteristicDll) return payload + " is a DLL, not an executable";
    if (!(coff.characteristics & pe::coff::characteristicExecutable))
        return payload + " is not marked executable (an object file or a failed link?)";
    return payloadSizeProblem(size);
}

std::string iconContentProblem(const std::string& file, std::uint64_t size, const ReadAt& read) {
    return iconFileProblem(ByteSource(quoted("icon", file), "the file", size, read));
}

std::string iconBytesProblem(const std::string& file, const Bytes& ico) {
    try {
        return iconFileProblem(ByteSource::ofBytes(quoted("icon", file), ico));
    } catch (const WrapError& error) {
        return error.what();
    }
}

std::string payloadProblem(const std::string& file) {
    return fileProblem("payload", file, payloadContentProblem);
}

std::string iconProblem(const std::string& file) {
    return fileProblem("icon", file, iconContentProblem);
}

std::string stubProblem(const std::string& file) {
    std::uint64_t size = 0;
    if (std::string problem = presenceProblem("stub", file, size); !problem.empty()) return problem;
    try {
        InputFile input(file);
        const std::string stub = quoted("stub", file);
        return stubResourcesProblem(stub, readStub(ByteSource::ofFile(stub, input)).resources);
    } catch (const WrapError& error) {
        return error.what();
    }
}

std::string outputProblem(const std::string& file) {
    const OutputTarget target = outputTarget(file);
    if (!target.problem.empty()) return target.problem;
    const std::filesystem::path path = filePath(target.path);
    std::error_code error;
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
    if (!std::filesystem::is_directory(folder, error))
        return quoted("--output", file) + " is in a directory that does not exist";
    return "";
}

std::string sameFileProblem(const std::string& output, const std::string& kind, const std::string& file) {
    if (!sameFile(output, file)) return "";
    return quoted("--output", output) + " is the " + quoted(kind, file) +
           ": the bootstrapper must be written to a file of its own";
}

std::string versionProblem(const std::string& option, const std::string& version) {
    const std::string named = quoted(option, version);
    const std::string notFour = named + " is not four numbers separated by dots (like 1.2.3.4)";
    int numbers = 0;
    std::size_t start = 0;
    bool tooBig = false;
    while (true) {
        const std::size_t dot = version.find('.', start);
        const std::string part =
            version.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (part.empty() || part.find_first_not_of("0123456789") != std::string::npos) return notFour;
        if (withoutLeadingZeros(part).size() > 5 || std::stoul(part) > 65535) tooBig = true;
        ++numbers;
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    if (numbers != 4) return notFour;
    return tooBig ? named + " has a number above 65535" : "";
}

std::string textProblem(const std::string& option, const std::string& text) {
    if (text.find_first_of("\r\n\t") != std::string::npos)
        return quoted(option, text) + " holds a line break or a tab";
    if (!isUtf8(text)) return quoted(option, text) + " is not UTF-8 text";
    return "";
}

}  // namespace wrap
