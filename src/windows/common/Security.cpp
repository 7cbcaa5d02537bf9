#include "windows/common/Security.h"

#include <sddl.h>  // after <windows.h>, which Security.h brings in

#include <string>

#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinErrorHandling.h"
#include "windows/common/SysInfo.h"

namespace security {

namespace {

// Operating-system classes before Windows Vista (and an unknown version): no elevation, only membership.
constexpr int kLastPreVistaClass = 1;

// LocalFree gives the memory back when it fails.
DWORD freeLOCAL(HLOCAL memory) noexcept {
    return memory && LocalFree(memory) ? GetLastError() : ERROR_SUCCESS;
}

// Memory the conversion functions allocate, released with LocalFree on every road out.
using LocalMemory = ScopedHandle<HLOCAL, freeLOCAL>;

UniqueHandle processToken() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        ZOR_THROW_LAST_ERROR(OpenProcessToken, "OpenProcessToken failed");
    }
    return UniqueHandle(token);
}

}  // namespace

Sid::Sid(const MessageBuilder& text) {
    const std::string sid = text.str();
    PSID converted = nullptr;
    if (!ConvertStringSidToSidA(sid.c_str(), &converted)) {
        ZOR_THROW_LAST_ERROR(ConvertStringSidToSidA, "ConvertStringSidToSid failed");
    }
    const LocalMemory convertedMemory(converted);
    if (!CopySid(sizeof(buffer_), buffer_, converted)) ZOR_THROW_LAST_ERROR(CopySid, "CopySid failed");
}

SecurityDescriptor::SecurityDescriptor(const MessageBuilder& text) {
    const std::string sddl = text.str();
    PSECURITY_DESCRIPTOR converted = nullptr;
    ULONG length = 0;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &converted,
                                                              &length)) {
        ZOR_THROW_LAST_ERROR(ConvertStringSecurityDescriptorToSecurityDescriptorA,
                             "ConvertStringSecurityDescriptorToSecurityDescriptor failed");
    }
    const LocalMemory convertedMemory(converted);
    const auto* bytes = static_cast<const std::uint8_t*>(converted);
    bytes_.assign(bytes, bytes + length);
}

bool isUserAdmin() {
    const UniqueHandle token = processToken();
    DWORD length = 0;
    // Only asks for the size; the call itself fails with ERROR_INSUFFICIENT_BUFFER.
    GetTokenInformation(token.get(), TokenGroups, nullptr, 0, &length);
    // A vector of the bytes is aligned for TOKEN_GROUPS (operator new's alignment).
    std::vector<std::uint8_t> buffer(length);
    if (!GetTokenInformation(token.get(), TokenGroups, buffer.data(), length, &length)) {
        ZOR_THROW_LAST_ERROR(GetTokenInformation, "GetTokenInformation(TokenGroup) failed");
    }
    Sid administrators(MessageBuilder("BA"));
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    const SID_AND_ATTRIBUTES* entries = groups->Groups;
    // The attributes are not looked at: a deny-only entry of a filtered token is membership too.
    for (DWORD i = 0; i < groups->GroupCount; ++i) {
        if (EqualSid(administrators.get(), entries[i].Sid)) return true;
    }
    return false;
}

bool isProcessElevated() {
    if (SysInfo::getOsVersionClass() <= kLastPreVistaClass) return isUserAdmin();
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &rawToken)) {
        ZOR_THROW_LAST_ERROR(OpenProcessToken, "OpenProcessToken failed");
    }
    const UniqueHandle token(rawToken);
    TOKEN_ELEVATION elevation{};
    DWORD length = 0;
    if (!GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof(elevation), &length)) {
        ZOR_THROW_LAST_ERROR(GetTokenInformation, "GetTokenInformation failed");
    }
    return elevation.TokenIsElevated != 0;
}

}  // namespace security
