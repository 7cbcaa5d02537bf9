// The bootstrapper: extracts the embedded installer into a directory only administrators may use, checks
// that nothing else is there, runs the installer with the bootstrapper's own arguments, removes the
// directory and exits with the installer's exit code (-1 after any failure).
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "common/share/BootstrapperResources.h"
#include "common/share/errors/SourceLocation.h"
#include "common/share/logging/Logger.h"
#include "common/share/tstrings.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinErrorHandling.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/AppendedPayload.h"
#include "windows/common/DllFunction.h"
#include "windows/common/FileUtils.h"
#include "windows/common/Resources.h"
#include "windows/common/Security.h"
#include "windows/common/SysInfo.h"
#include "windows/common/WidePath.h"
#include "windows/common/handles/HandleFiles.h"
#include "windows/common/handles/HeldPath.h"
#include "windows/wrappers/kiteboot/CommandLine.h"
#include "windows/wrappers/kiteboot/HeldDirectory.h"
#include "windows/wrappers/kiteboot/LeftoverRules.h"
#include "windows/wrappers/kiteboot/Leftovers.h"
#include "windows/wrappers/kiteboot/RedirectionTrust.h"
#include "windows/wrappers/kiteboot/Refusal.h"
#include "windows/wrappers/kiteboot/TempDirectory.h"
#ifdef KITEBOOT_TEST_HOOKS
#include "windows/wrappers/kiteboot/TestHooks.h"
#endif

namespace {

// The secure directory's descriptor: owned by BUILTIN\Administrators, full access for the system and the
// Administrators only, inherited by every file and folder made in it (the payload included). Protected
// ("P"): otherwise the system merges TEMP's inheritable entries, which give the user full control, into it.
constexpr const char* kSecureDirectoryAccess = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr const wchar_t* kAdminNoticeText = L"Administrator privileges are required to run this application.";
constexpr const wchar_t* kAdminNoticeCaption = L"Execution Error";
// The longest command line a process can be started with, in UTF-16 units without the final NUL. Wine's
// CreateProcessW starts a longer one cut short instead of refusing it, as Windows does.
constexpr std::size_t kLongestCommandLine = 32767 - 1;

// The descriptor the secure directory is created with.
security::SecurityDescriptor secureDirectoryDescriptor() {
    return security::SecurityDescriptor(MessageBuilder(kSecureDirectoryAccess));
}

// A new, empty directory in temp that only administrators may use, and held. The launcher passes the
// temporary directory the process looked up once, the log's too; the unique name is reserved by
// creating a file relative to it, which is deleted through its own handle so the directory can take its
// place, created relative to it too. The user's own unelevated processes may delete children of their
// temporary directory and re-point any link on the way to it; from here on the launcher acts only through
// what it holds.
// Another launcher starting in the same tick reserves the same name once this one has given its file up,
// so a name taken between the reservation and the creation is left to it and the next free one reserved;
// a few times at most, so a TEMP that keeps being filled is refused as before.
std::unique_ptr<HeldDirectory> createSecureDirectory(const TempDirectory& temp) {
    constexpr int kNameAttempts = 8;
    security::SecurityDescriptor descriptor = secureDirectoryDescriptor();
    for (int attempt = 1;; ++attempt) {
        const std::string path = temp.reserveName("zor", ".tmp");
        std::unique_ptr<HeldDirectory> directory;
        const DWORD error = HeldDirectory::create(temp, path, descriptor.get(), directory);
        if (error == ERROR_ALREADY_EXISTS && attempt < kNameAttempts) continue;
        ZOR_THROW_IF_WIN32_ERROR(CreateDirectoryW, error, "CreateDirectory(" << path << ") failed");
        return directory;
    }
}

// The payload path in double quotes and, after one space, the launcher's arguments exactly as the user
// typed them: nothing is re-quoted, so an installer that reads its raw command line (a bare /S, a /D=
// that must come last) sees the same text as when started directly, and one that splits it into an
// argument vector gets the vector the launcher got. The line is taken in UTF-16, as the system keeps it, so
// no code page can change a unit of it.
std::wstring getCommandLine(const std::string& payloadPath) {
    if (!__argv) ZOR_THROW_RUNTIME_ERROR("__targv is NULL");
    std::wstring path;
    ZOR_THROW_IF_WIN32_ERROR(MultiByteToWideChar, FileUtils::widePath(payloadPath, path),
                             "MultiByteToWideChar(" << payloadPath << ") failed");
    return buildCommandLine(path, argumentsAfterProgramName(std::wstring_view(GetCommandLineW())));
}

// Starts the payload in its own directory, without a window of its own, and waits for it to end.
// Returns its exit code unchanged.
DWORD execProcessWaitForFinish(const std::string& applicationPath, const std::wstring& commandLine) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (commandLine.size() > kLongestCommandLine) {
        ZOR_THROW_SYS_ERROR(CreateProcessW, ERROR_INVALID_PARAMETER, "CreateProcess failed");
    }
    // CreateProcessW may write into its command line.
    std::vector<wchar_t> writableCommandLine(commandLine.begin(), commandLine.end());
    writableCommandLine.push_back(L'\0');
    std::wstring application;
    std::wstring workingDirectory;
    DWORD error = FileUtils::widePath(applicationPath, application);
    if (error == ERROR_SUCCESS)
        error = FileUtils::widePath(FileUtils::parentPath(applicationPath), workingDirectory);
    ZOR_THROW_IF_WIN32_ERROR(CreateProcessW, error, "CreateProcess failed");
    if (!CreateProcessW(application.c_str(), writableCommandLine.data(), nullptr, nullptr, FALSE,
                        CREATE_NO_WINDOW, nullptr, workingDirectory.c_str(), &startup, &info)) {
        ZOR_THROW_LAST_ERROR(CreateProcessW, "CreateProcess failed");
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0) {
        ZOR_THROW_LAST_ERROR(WaitForSingleObject, "WaitForSingleObject failed");
    }
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode)) {
        ZOR_THROW_LAST_ERROR(GetExitCodeProcess, "GetExitCodeProcess failed");
    }
    thread.reset();
    process.reset();
    return exitCode;
}

// Removes what earlier runs left in TEMP (reclaimLeftovers), deciding on each directory's descriptor with
// the launcher's own. Under Wine every file reports the user as its owner, so the test launcher's hook
// makes that one decision for the directories a test names; every other rule is the launcher's own.
void reclaimEarlierRuns() noexcept {
    try {
        security::SecurityDescriptor ours = secureDirectoryDescriptor();
        reclaimLeftovers(TempDirectory(), [&](const std::string& path, PSECURITY_DESCRIPTOR readBack) {
            const bool decided = carriesExactly(readBack, ours.get());
#ifdef KITEBOOT_TEST_HOOKS
            return kiteboot_test_hooks::carriesOurDescriptor(path, decided);
#else
            static_cast<void>(path);
            return decided;
#endif
        });
    } catch (const std::exception&) {
        // Reclaiming is never a failure of the run: a descriptor that cannot be made again, or no memory,
        // leaves the leftovers to a later run, silently.
    }
}

// True when any argument, the program path included, is exactly one of the silent-installation options.
bool isSilentMode() {
    const std::vector<std::string> silentOptions = {"/s", "INSTALL_SILENT=Enable", "INSTALL_SILENT=1"};
    if (!__argv) return false;
    for (int i = 0; i < __argc; ++i) {
        for (const std::string& option : silentOptions) {
            if (option == __argv[i]) return true;
        }
    }
    return false;
}

// The administrator notice: one modal error box, returning when the user has closed it. The windowing
// library is bound at run time, so the executable does not import it.
void showAdminErrorMessageBox() {
    using MessageBoxWFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT);
    const DllFunction<MessageBoxWFn> messageBox(Dll("user32"), "MessageBoxW", Binding::Strict);
    const MessageBoxWFn show = messageBox;
    if (show(nullptr, kAdminNoticeText, kAdminNoticeCaption, MB_ICONERROR) == 0) {
        ZOR_THROW_LAST_ERROR(show, messageBox.name() << " failed");
    }
}

// A refusal to start with the system's reason: "<refusal> System error [<code>](system error <code>
// (<text>))".
std::string refusalText(const MessageBuilder& refusal, DWORD error) {
    return SysError(refusal, functionAddress(CreateFileW), error).what();
}

// The path the payload is started at: the held directory's own, with no link in it (or, where the system
// cannot give that, the one it was made at), taken only when the system takes it, and its directory, to
// what the launcher holds. Every directory on it is held in chain from before the check until the payload
// has ended, so no name on it can change in between; see docs/reliability.md. Throws Refusal otherwise.
std::string checkedStartPath(HeldDirectory& secure, HANDLE payloadHold, const std::string& launcherName,
                             HeldPath& chain) {
    const std::string directory = secure.startDirectory();
    const std::string startPath = FileUtils::joinPath(directory, launcherName);
    DWORD error = secure.holdChain(directory, chain);
    if (error == ERROR_SUCCESS)
        error = HandleFiles::checkNamesFile(tstrings::fromUtf8(startPath), payloadHold);
    if (error != ERROR_SUCCESS)
        throw Refusal(refusalText(MessageBuilder() << "Payload path [" << startPath
                                                   << "] does not name the extracted payload, exiting...",
                                  error));
    if ((error = secure.checkNamedBy(directory)) != ERROR_SUCCESS)
        throw Refusal(refusalText(MessageBuilder() << "Working directory [" << directory
                                                   << "] does not name the secure directory, exiting...",
                                  error));
    return startPath;
}

// Extracts the payload next to nothing else, runs it and returns its exit code; -1 after any failure or
// refusal. Everything that stops a run throws: a refusal is recorded as its text, a failure reported with
// where it came from. The secure directory is removed on every road out once it exists; after a payload that
// ran, what earlier runs left is removed too.
int run() {
    int exitCode = -1;
    bool payloadEnded = false;
    try {
        if (!security::isProcessElevated()) {
            if (!isSilentMode()) showAdminErrorMessageBox();
            throw Refusal("Administrator privileges are required to run this application, exiting.");
        }
        const std::string launcherPath = SysInfo::getProcessModulePath();
        const std::string launcherName = FileUtils::fileName(launcherPath);
#ifdef KITEBOOT_TEST_HOOKS
        kiteboot_test_hooks::atStart();
#endif
        // Removes everything in it and itself on every road out, before anything it holds is released.
        const std::unique_ptr<HeldDirectory> secure = createSecureDirectory(TempDirectory());
#ifdef KITEBOOT_TEST_HOOKS
        kiteboot_test_hooks::beforeExtraction(launcherPath);
#endif
        // A refusal is recorded before the directory is removed, a failure after (see Refusal.h).
        try {
            const HMODULE module = SysInfo::getCurrentModuleHandle();
            const Resource payload(kPayloadResourceId, kPayloadResourceType, module);
            // Resource 100, or, for an installer too large for the image, the bytes after it (found by a
            // record).
            const std::optional<PayloadRecord> appended =
                payload.exists() ? std::nullopt : findPayloadRecord(module);
            std::uint32_t payloadSize = 0;
            if (!appended) payload.getPtr(payloadSize);  // a missing payload fails before anything is written
            Resource::Source source = Resource::Source::MappedImage;
            // Held from its creation until the directory is removed.
            const HANDLE payloadHold = secure->saveFile(launcherName, [&](std::ostream& out) {
                if (!appended) {
                    source = payload.writeTo(out);
                    return;
                }
                writeAppendedPayload(out, module, *appended);
                source = Resource::Source::ModuleFile;
            });
#ifdef KITEBOOT_TEST_HOOKS
            kiteboot_test_hooks::afterExtraction(secure->path(),
                                                 FileUtils::joinPath(secure->path(), launcherName), source);
#endif
            if (secure->checkHoldsOnly(payloadHold) != ERROR_SUCCESS)
                throw Refusal("Secure directory is tempered, exiting...");
            HeldPath chain;
            const std::string startPath = checkedStartPath(*secure, payloadHold, launcherName, chain);
#ifdef KITEBOOT_TEST_HOOKS
            kiteboot_test_hooks::beforeStart();
#endif
            exitCode = static_cast<int>(execProcessWaitForFinish(startPath, getCommandLine(startPath)));
            payloadEnded = true;
        } catch (const Refusal& refusal) {
            LOG_ERROR(refusal.what());
        }
    } catch (const Refusal& refusal) {
        LOG_ERROR(refusal.what());
    }
    ZOR_REPORT_EXCEPTIONS
    // Only once the payload has ended, so its start never waits for it, and after the own directory is gone.
    if (payloadEnded) reclaimEarlierRuns();
    return exitCode;
}

// Removes the current directory from the library search order and, where the system supports it,
// restricts later library loads to the system directory. Failures are accepted silently.
void hardenLibrarySearch() {
    SetDllDirectoryA("");
    HMODULE kernel32 = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, "kernel32", &kernel32)) return;
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    hardenLibrarySearch();
    redirection_trust::enforce();
    return run();
}
