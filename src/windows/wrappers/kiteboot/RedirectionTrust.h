// The redirection trust mitigation policy: a process that asks for it is not led by any of its file calls
// through a junction that a non-administrator made (Windows 10 22H2, Windows 11 and later). The launcher
// asks for it first thing, so that no link a program of the unelevated user plants on the way to TEMP, or
// anywhere else the launcher looks, can redirect what it opens, creates or deletes.
#pragma once

#include "common/windows/WinHeaders.h"

namespace redirection_trust {

// PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY of winnt.h, which mingw-w64's headers lack: one DWORD of
// flags, bit 0 EnforceRedirectionTrust, bit 1 AuditRedirectionTrust.
struct Policy {
    DWORD flags;
};
// The PROCESS_MITIGATION_POLICY value ProcessRedirectionTrustPolicy.
constexpr int kPolicyKind = 16;
constexpr DWORD kEnforce = 0x1;

using SetProcessMitigationPolicyFn = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);

// Asks set for the policy enforced (junctions of non-administrators not followed) and returns its answer.
bool request(SetProcessMitigationPolicyFn set);

// Binds SetProcessMitigationPolicy from kernel32 at run time (Windows 7 has none) and asks for the policy.
// Silently does nothing where the function is missing or the system does not know the policy. Never throws.
void enforce() noexcept;

}  // namespace redirection_trust
