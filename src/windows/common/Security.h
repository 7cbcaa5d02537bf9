// The process token: elevation and Administrators membership; SIDs and security descriptors from text.
#pragma once

#include <cstdint>
#include <vector>

#include "common/share/errors/MessageBuilder.h"
#include "common/windows/WinHeaders.h"

namespace security {

// A copy of one SID in a buffer large enough for any SID.
class Sid {
public:
    // From an SDDL alias ("BA") or the S-1-5-32-544 notation. Throws ZorError<SysError>
    // ("ConvertStringSidToSid failed", "CopySid failed").
    explicit Sid(const MessageBuilder& text);
    PSID get() { return buffer_; }
    const void* data() const { return buffer_; }

private:
    alignas(8) unsigned char buffer_[SECURITY_MAX_SID_SIZE];
};

// A self-relative security descriptor copied from an SDDL string ("D:(A;;FA;;;BA)").
class SecurityDescriptor {
public:
    // Throws ZorError<SysError> ("ConvertStringSecurityDescriptorToSecurityDescriptor failed").
    explicit SecurityDescriptor(const MessageBuilder& text);
    PSECURITY_DESCRIPTOR get() { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

// True when the process token lists BUILTIN\Administrators among its groups, whatever the entry's
// attributes (a deny-only entry of a filtered token counts). Throws ZorError<SysError>.
bool isUserAdmin();

// True when the process runs with full administrator rights: the token's elevation flag from Windows
// Vista on, Administrators membership before it (or when the version is unknown). Throws ZorError<SysError>.
bool isProcessElevated();

}  // namespace security
