// Checks shared by the file-system tests: exact exception texts and the records a capture holds.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "common/share/errors/SysError.h"
#include "common/windows/WinErrorHandling.h"
#include "support/FileUtilsFunctions.h"
#include "support/LogCapture.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace testing_support {

// The text after "<file>(<line>) at " of a failed Windows call raised in function with message and code.
inline std::string sysErrorTail(const std::string& function, const std::string& message, DWORD code) {
    return function + "(): " + message + ". System error [" + std::to_string(code) + "](" +
           formatSystemError(code) + ")";
}

// Expects error.what() to be "<sourceFile>(<line>) at " followed by sysErrorTail(function, message, code).
inline void expectSysError(const std::exception& error, const std::string& sourceFile,
                           const std::string& function, const std::string& message, DWORD code) {
    const std::string text = error.what();
    const std::string tail = ") at " + sysErrorTail(function, message, code);
    EXPECT_EQ(text.rfind(sourceFile + "(", 0), 0u) << text;
    ASSERT_GE(text.size(), tail.size()) << text;
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

// Expects call() to throw a SysError whose text expectSysError accepts.
template <class Call>
void expectThrowsSysError(Call call, const std::string& sourceFile, const std::string& function,
                          const std::string& message, DWORD code) {
    try {
        call();
        ADD_FAILURE() << "no exception; expected " << message;
    } catch (const SysError& error) {
        expectSysError(error, sourceFile, function, message, code);
    }
}

// "LEVEL function: message" for each captured record, in order.
inline std::vector<std::string> describeRecords(const LogCapture& capture) {
    std::vector<std::string> lines;
    for (const LogRecord& record : capture.records) {
        lines.push_back(record.level + " " + record.function + ": " + record.message);
    }
    return lines;
}

// Starts a program of the host system under Wine (a command line naming a host path such as /bin/ln) and
// waits up to five seconds for done() to hold: such a process cannot be waited for through its handle.
template <class Done>
bool runOnHost(std::string command, Done done) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int i = 0; i < 500 && !done(); ++i)
        Sleep(10);
    return done();
}

// The host's name of a Windows path under Wine; empty elsewhere.
inline std::string hostPath(const std::string& path) {
    using UnixFileName = char* (*)(const wchar_t*);
    const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (unixFileName == nullptr) return std::string();
    char* name = unixFileName(std::wstring(path.begin(), path.end()).c_str());
    const std::string result = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

inline bool isLinkToDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// A symbolic link to a directory, made for one test and removed (the link alone) when the object goes.
// Under Wine, whose CreateSymbolicLink makes nothing, the link is made on the host with ln -s; Wine reports
// it as a directory with FILE_ATTRIBUTE_REPARSE_POINT, as Windows does a junction.
class DirectoryLink {
public:
    DirectoryLink(const std::string& link, const std::string& target) : link_(link) {
        if (CreateSymbolicLinkA(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY) &&
            isLinkToDirectory(link)) {
            return;
        }
        const std::string hostLink = hostPath(link);
        const std::string hostTarget = hostPath(target);
        if (hostLink.empty() || hostTarget.empty()) return;
        runOnHost("/bin/ln -s " + hostTarget + " " + hostLink, [this] { return isLinkToDirectory(link_); });
    }
    ~DirectoryLink() {
        if (!isLinkToDirectory(link_)) return;
        if (RemoveDirectoryA(link_.c_str())) return;
        const std::string hostLink = hostPath(link_);
        if (!hostLink.empty()) runOnHost("/bin/rm -f " + hostLink, [this] { return !exists(link_); });
    }
    DirectoryLink(const DirectoryLink&) = delete;
    DirectoryLink& operator=(const DirectoryLink&) = delete;

    bool made() const { return isLinkToDirectory(link_); }

private:
    std::string link_;
};

}  // namespace testing_support
