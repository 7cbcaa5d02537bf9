#include "windows/wrappers/kiteboot/RedirectionTrust.h"

#include "windows/common/DllFunction.h"

namespace redirection_trust {

bool request(SetProcessMitigationPolicyFn set) {
    Policy policy{kEnforce};
    return set(static_cast<PROCESS_MITIGATION_POLICY>(kPolicyKind), &policy, sizeof(policy)) != FALSE;
}

void enforce() noexcept {
    try {
        const DllFunction<SetProcessMitigationPolicyFn> set(Dll("kernel32"), "SetProcessMitigationPolicy",
                                                            Binding::Lenient);
        if (set.available()) request(set);
    } catch (...) {
        // Missing on this system is the policy: a kernel32 that cannot be bound leaves the process as it
        // was, like a system without the function or the policy.
    }
}

}  // namespace redirection_trust
