// The Windows version, read once during static initialisation and reduced to the operating-system class.
// Both version functions are bound at run time from the system directory; neither is imported.
#include "common/share/logging/Logger.h"
#include "common/share/tstrings.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/DllFunction.h"
#include "windows/common/SysInfo.h"

static_assert(sizeof(OSVERSIONINFOEXW) == 284, "the version record is the 284-byte OSVERSIONINFOEXW");

namespace {

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
using GetVersionExFunction = BOOL(WINAPI*)(OSVERSIONINFOEXW*);

// RtlGetVersion reports the real version, whatever compatibility settings make GetVersionExW report.
bool initWithRtlGetVersion(OSVERSIONINFOEXW& record) {
    const DllFunction<RtlGetVersionFunction> rtlGetVersion(Dll("ntdll"), "RtlGetVersion", Binding::Lenient);
    if (!rtlGetVersion.available()) {
        LOG_ERROR(rtlGetVersion.name() << " is not available");
        return false;
    }
    const LONG status = static_cast<RtlGetVersionFunction>(rtlGetVersion)(&record);
    if (status == 0) return true;
    LOG_ERROR(rtlGetVersion.name() << "() failed: " << status);
    return false;
}

bool initWithGetVersionEx(OSVERSIONINFOEXW& record) {
    const DllFunction<GetVersionExFunction> getVersionEx(Dll("Kernel32"), "GetVersionExW", Binding::Lenient);
    if (!getVersionEx.available()) {
        LOG_ERROR(getVersionEx.name() << " is not available");
        return false;
    }
    if (static_cast<GetVersionExFunction>(getVersionEx)(&record)) return true;
    const DWORD code = GetLastError();
    LOG_ERROR(
        tstrings::unsafe_format("%s failed with %s", "GetVersionExW()", formatSystemError(code).c_str()));
    return false;
}

struct OsVersion {
    OSVERSIONINFOEXW record;
    int osClass;
};

OsVersion readOsVersion() {
    OsVersion version{};
    version.osClass =
        SysInfo::readOsVersionClass(version.record, initWithRtlGetVersion, initWithGetVersionEx);
    return version;
}

// Read on first use, so that a static initialiser of another file that asks early still gets the answer.
const OsVersion& osVersion() {
    static const OsVersion version = readOsVersion();
    return version;
}

// The first use, during static initialisation: the version is known before the entry point runs.
[[maybe_unused]] const int startupOsVersionClass = osVersion().osClass;

void resetRecord(OSVERSIONINFOEXW& record) {
    record = OSVERSIONINFOEXW{};
    record.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
}

}  // namespace

namespace SysInfo {

int classifyOsVersion(unsigned long major, unsigned long minor) {
    struct Row {
        unsigned long major;
        unsigned long minor;
        int osClass;
    };
    static constexpr Row kRows[] = {{5, 1, 1}, {5, 2, 1}, {6, 0, 2}, {6, 1, 3},
                                    {6, 2, 4}, {6, 3, 5}, {10, 0, 6}};
    for (const Row& row : kRows) {
        if (row.major == major && row.minor == minor) return row.osClass;
    }
    return major > 5 ? 7 : 0;
}

int getOsVersionClass() {
    return osVersion().osClass;
}

int readOsVersionClass(OSVERSIONINFOEXW& record, OsVersionReader primary, OsVersionReader fallback) noexcept {
    resetRecord(record);
    bool finished = false;
    try {
        // The fallback's own answer is not needed: a record it could not fill keeps its zeros.
        if (!primary(record)) fallback(record);
        finished = true;
    }
    ZOR_REPORT_EXCEPTIONS
    if (!finished) resetRecord(record);
    return classifyOsVersion(record.dwMajorVersion, record.dwMinorVersion);
}

}  // namespace SysInfo
