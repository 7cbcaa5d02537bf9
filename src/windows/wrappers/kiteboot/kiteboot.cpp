// The bootstrapper: extracts the embedded installer into an administrators-only directory, runs it with
// the bootstrapper's own arguments and exits with its exit code.
#include "common/share/errors/SourceLocation.h"
#include "common/share/logging/Logger.h"
#include "common/windows/WinHeaders.h"
#include "windows/common/FileUtils.h"
#include "windows/common/SysInfo.h"

namespace {

int run() {
    int exitCode = -1;
    try {
        const std::string launcherName = FileUtils::fileName(SysInfo::getProcessModulePath());
        LOG_ERROR("Launch of the payload is not available yet in this build of " << launcherName << ", exiting.");
    }
    ZOR_REPORT_EXCEPTIONS
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
    return run();
}
