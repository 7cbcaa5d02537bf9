#include "windows/wrappers/kiteboot/LeftoverRules.h"

#include <cstring>

namespace {

bool isDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// The ASCII letters of the fixed parts, without regard to case.
bool sameLetters(std::wstring_view text, std::wstring_view lower) {
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i] >= L'A' && text[i] <= L'Z' ? text[i] - L'A' + L'a' : text[i];
        if (c != lower[i]) return false;
    }
    return true;
}

PACL daclOf(PSECURITY_DESCRIPTOR descriptor) {
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present) return nullptr;
    return dacl;  // null also for a null access list, which admits everyone
}

PSID ownerOf(PSECURITY_DESCRIPTOR descriptor) {
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    return GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ? owner : nullptr;
}

bool isProtected(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    return GetSecurityDescriptorControl(descriptor, &control, &revision) &&
           (control & SE_DACL_PROTECTED) != 0;
}

bool sameEntries(PACL first, PACL second) {
    ACL_SIZE_INFORMATION firstSizes{};
    ACL_SIZE_INFORMATION secondSizes{};
    if (!GetAclInformation(first, &firstSizes, sizeof(firstSizes), AclSizeInformation) ||
        !GetAclInformation(second, &secondSizes, sizeof(secondSizes), AclSizeInformation) ||
        firstSizes.AceCount != secondSizes.AceCount)
        return false;
    for (DWORD i = 0; i < firstSizes.AceCount; ++i) {
        void* a = nullptr;
        void* b = nullptr;
        if (!GetAce(first, i, &a) || !GetAce(second, i, &b)) return false;
        const auto size = static_cast<const ACE_HEADER*>(a)->AceSize;
        if (size != static_cast<const ACE_HEADER*>(b)->AceSize || std::memcmp(a, b, size) != 0) return false;
    }
    return true;
}

}  // namespace

bool isSecureDirectoryName(std::wstring_view name) {
    constexpr std::wstring_view prefix = L"zor";
    constexpr std::wstring_view suffix = L".tmp";
    if (name.size() <= prefix.size() + suffix.size() || !sameLetters(name.substr(0, prefix.size()), prefix) ||
        !sameLetters(name.substr(name.size() - suffix.size()), suffix))
        return false;
    std::wstring_view number = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (number.front() == L'-') number.remove_prefix(1);
    if (number.empty()) return false;
    for (const wchar_t c : number)
        if (!isDigit(c)) return false;
    return true;
}

bool carriesExactly(PSECURITY_DESCRIPTOR readBack, PSECURITY_DESCRIPTOR ours) {
    if (!IsValidSecurityDescriptor(readBack) || !IsValidSecurityDescriptor(ours)) return false;
    const PSID owner = ownerOf(readBack);
    const PSID ourOwner = ownerOf(ours);
    if (!owner || !ourOwner || !EqualSid(owner, ourOwner)) return false;
    const PACL dacl = daclOf(readBack);
    const PACL ourDacl = daclOf(ours);
    return dacl && ourDacl && isProtected(readBack) && isProtected(ours) && sameEntries(dacl, ourDacl);
}
