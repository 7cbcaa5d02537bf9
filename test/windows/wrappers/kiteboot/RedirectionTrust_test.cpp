#include "windows/wrappers/kiteboot/RedirectionTrust.h"

#include <gtest/gtest.h>

namespace {

// What the last request to the recording function held.
struct MitigationRequest {
    int kind = -1;
    DWORD flags = 0;
    SIZE_T size = 0;
} lastRequest;

BOOL WINAPI recordMitigationRequest(PROCESS_MITIGATION_POLICY kind, PVOID buffer, SIZE_T size) {
    lastRequest = {static_cast<int>(kind), size >= sizeof(DWORD) ? *static_cast<const DWORD*>(buffer) : 0,
                   size};
    return TRUE;
}

// The call itself is seen in the relay trace of a run (launcher_system_requests); its buffer is seen here.
TEST(RedirectionTrust, EnforcementIsAskedForAsTheRedirectionTrustPolicy) {
    EXPECT_TRUE(redirection_trust::request(recordMitigationRequest));
    EXPECT_EQ(lastRequest.kind, 16);  // ProcessRedirectionTrustPolicy
    EXPECT_EQ(lastRequest.size, 4u);
    EXPECT_EQ(lastRequest.flags, 1u);  // EnforceRedirectionTrust only, not the audit mode
}

}  // namespace
