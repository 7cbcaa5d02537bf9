#include "support/Process.h"

#include <stdexcept>

#include "common/share/tstrings.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"
#include "windows/common/SysInfo.h"
#include "quoting/ArgumentQuoting.h"

namespace testing_support {

namespace {

// This process's environment with the overrides applied, as a sorted UTF-16 block.
std::wstring environmentBlock(const std::map<std::string, std::string>& overrides) {
    std::map<std::wstring, std::wstring, std::less<>> variables;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
        const std::wstring text(entry);
        const std::size_t equals = text.find(L'=', 1);
        if (equals == std::wstring::npos) continue;
        variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    FreeEnvironmentStringsW(strings);
    for (const auto& [name, value] : overrides) {
        const std::wstring wideName = tstrings::fromUtf8(name);
        for (auto it = variables.begin(); it != variables.end();) {
            it = _wcsicmp(it->first.c_str(), wideName.c_str()) == 0 ? variables.erase(it) : std::next(it);
        }
        if (!value.empty()) variables[wideName] = tstrings::fromUtf8(value);
    }
    std::wstring block;
    for (const auto& [name, value] : variables)
        block += name + L"=" + value + L'\0';
    block += L'\0';
    return block;
}

UniqueHandle limitedPrimaryToken() {
    HANDLE process = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &process)) {
        throw std::runtime_error("OpenProcessToken failed");
    }
    UniqueHandle processToken(process);
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!GetTokenInformation(processToken.get(), TokenLinkedToken, &linked, sizeof(linked), &size)) {
        throw std::runtime_error("GetTokenInformation(TokenLinkedToken) failed");
    }
    UniqueHandle linkedToken(linked.LinkedToken);
    HANDLE primary = nullptr;
    if (!DuplicateTokenEx(linkedToken.get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                          &primary)) {
        throw std::runtime_error("DuplicateTokenEx failed");
    }
    return UniqueHandle(primary);
}

}  // namespace

UniqueHandle startProcessRaw(const std::string& program, const std::string& commandLine,
                             const ProcessOptions& options) {
    const std::wstring application = tstrings::fromUtf8(program);
    std::wstring command = tstrings::fromUtf8(commandLine);
    std::wstring environment = environmentBlock(options.environment);
    const std::wstring directory = tstrings::fromUtf8(options.currentDirectory);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    const DWORD flags = CREATE_UNICODE_ENVIRONMENT;
    const UniqueHandle token = options.limitedToken ? limitedPrimaryToken() : UniqueHandle();
    const wchar_t* const currentDirectory = directory.empty() ? nullptr : directory.c_str();
    const bool started =
        token.owned()
            ? CreateProcessAsUserW(token.get(), application.c_str(), command.data(), nullptr, nullptr, FALSE,
                                   flags, environment.data(), currentDirectory, &startup, &info)
            : CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, FALSE, flags,
                             environment.data(), currentDirectory, &startup, &info);
    if (!started) {
        throw std::runtime_error("cannot start " + program + " (error " + std::to_string(GetLastError()) +
                                 ")");
    }
    UniqueHandle thread(info.hThread);
    return UniqueHandle(info.hProcess);
}

unsigned long waitForProcess(const UniqueHandle& process, const std::string& program, unsigned timeoutMs) {
    if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 1);
        throw std::runtime_error(program + " did not end in time");
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.get(), &exitCode);
    return exitCode;
}

unsigned long runProcessRaw(const std::string& program, const std::string& commandLine,
                            const ProcessOptions& options) {
    return waitForProcess(startProcessRaw(program, commandLine, options), program, options.timeoutMs);
}

unsigned long runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
    return runProcessRaw(program, quoteCommandLine(program, arguments), options);
}

std::string siblingProgram(const std::string& fileName) {
    return FileUtils::joinPath(FileUtils::parentPath(SysInfo::getProcessModulePath()), fileName);
}

}  // namespace testing_support
