#include <gtest/gtest.h>

#include <cstring>
#include <iostream>
#include <regex>
#include <stdexcept>
#include <string>

#include "common/share/tstrings.h"
#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinErrorHandling.h"
// After <windows.h>, which it needs.
#include <sddl.h>
#include "support/Process.h"
#include "support/TempDir.h"
#include "windows/common/Security.h"

namespace {

// The text after "Security.cpp(<line>) at " of what call throws as SysError.
template <class Call>
std::string sysErrorAfterLocation(Call&& call) {
    try {
        call();
    } catch (const SysError& error) {
        std::cmatch match;
        if (std::regex_search(error.what(), match, std::regex("^Security\\.cpp\\(\\d+\\) at ")))
            return match.suffix();
        return std::string("no location: ") + error.what();
    }
    return "nothing thrown";
}

// Wine reports the version named here to every process started from the named executable while this lives.
class WineVersionOverride {
public:
    WineVersionOverride(const std::wstring& executable, const std::wstring& version)
        : key_(L"Software\\Wine\\AppDefaults\\" + executable) {
        status = RegSetKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Version", REG_SZ, version.c_str(),
                                 static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
    }
    ~WineVersionOverride() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key_.c_str(), L"Version");
        RegDeleteKeyW(HKEY_CURRENT_USER, key_.c_str());
    }
    LSTATUS status;

private:
    std::wstring key_;
};

enum class Token {
    Full,
    Limited,                 // the linked token: not elevated (Wine keeps Administrators enabled in it)
    DenyOnlyAdministrators,  // the full token with Administrators turned deny-only
};

// Starts program with a copy of this process's token in which Administrators is deny-only; its exit code.
unsigned long runWithDenyOnlyAdministrators(const std::string& program, const std::string& argument) {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY,
                          &rawToken))
        throw std::runtime_error("OpenProcessToken failed");
    const UniqueHandle token(rawToken);
    security::Sid administrators(MessageBuilder("BA"));
    SID_AND_ATTRIBUTES disabled{administrators.get(), 0};
    HANDLE rawRestricted = nullptr;
    if (!CreateRestrictedToken(token.get(), 0, 1, &disabled, 0, nullptr, 0, nullptr, &rawRestricted))
        throw std::runtime_error("CreateRestrictedToken failed");
    const UniqueHandle restricted(rawRestricted);
    const std::wstring application = tstrings::fromUtf8(program);
    std::wstring commandLine = L"\"" + application + L"\" \"" + tstrings::fromUtf8(argument) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessAsUserW(restricted.get(), application.c_str(), commandLine.data(), nullptr, nullptr,
                              FALSE, 0, nullptr, nullptr, &startup, &info))
        throw std::runtime_error("CreateProcessAsUserW failed");
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    DWORD exitCode = 0;
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process.get(), &exitCode))
        throw std::runtime_error("the probe did not end");
    return exitCode;
}

// What the probe program learns about its own token, as "<exit code>: <answer>", started with the given
// token while Wine reports the given version to it.
std::string probe(const std::wstring& version, Token token) {
    const WineVersionOverride override(L"security_probe.exe", version);
    if (override.status != ERROR_SUCCESS) return "registry status " + std::to_string(override.status);
    testing_support::TempDir dir;
    const std::string answer = dir / "answer.txt";
    const std::string program = testing_support::siblingProgram("security_probe.exe");
    testing_support::ProcessOptions options;
    options.limitedToken = token == Token::Limited;
    const unsigned long exitCode = token == Token::DenyOnlyAdministrators
                                       ? runWithDenyOnlyAdministrators(program, answer)
                                       : testing_support::runProcess(program, {answer}, options);
    return std::to_string(exitCode) + ": " + testing_support::readFile(answer);
}

}  // namespace

TEST(Sid, AliasAndNumericFormAreTheSameSid) {
    security::Sid alias(MessageBuilder("BA"));
    security::Sid numeric(MessageBuilder() << "S-1-5-32-" << 544);
    security::Sid users(MessageBuilder("S-1-5-32-545"));
    EXPECT_TRUE(EqualSid(alias.get(), numeric.get()));
    EXPECT_FALSE(EqualSid(alias.get(), users.get()));
}

TEST(Sid, MalformedTextThrowsWithThePlatformCode) {
    EXPECT_EQ(
        sysErrorAfterLocation([] { security::Sid sid(MessageBuilder("S-1-x-32")); }),
        "security::Sid::Sid(): ConvertStringSidToSid failed. System error [1337](system error 1337 (Invalid "
        "SID))");
}

TEST(SecurityDescriptor, AdministratorsOnlyDescriptor) {
    security::SecurityDescriptor descriptor(MessageBuilder("D:(A;;FA;;;BA)"));
    PSECURITY_DESCRIPTOR converted = nullptr;
    ULONG length = 0;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;FA;;;BA)", SDDL_REVISION_1,
                                                                     &converted, &length));
    EXPECT_EQ(descriptor.size(), length);
    const bool sameBytes =
        descriptor.size() == length && std::memcmp(descriptor.get(), converted, length) == 0;
    LocalFree(converted);
    EXPECT_TRUE(sameBytes);

    ASSERT_TRUE(IsValidSecurityDescriptor(descriptor.get()));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_TRUE(control & SE_SELF_RELATIVE);
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl);
    ACL_SIZE_INFORMATION sizes{};
    ASSERT_TRUE(GetAclInformation(acl, &sizes, sizeof(sizes), AclSizeInformation));
    ASSERT_EQ(sizes.AceCount, 1u);
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, 0, &ace));
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
    EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(allowed->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
    security::Sid administrators(MessageBuilder("S-1-5-32-544"));
    EXPECT_TRUE(EqualSid(administrators.get(), const_cast<DWORD*>(&allowed->SidStart)));
}

TEST(SecurityDescriptor, MalformedTextThrowsWithThePlatformCode) {
    EXPECT_EQ(sysErrorAfterLocation([] { security::SecurityDescriptor sd(MessageBuilder("D:(A;;FA;;;BA")); }),
              "security::SecurityDescriptor::SecurityDescriptor(): "
              "ConvertStringSecurityDescriptorToSecurityDescriptor "
              "failed. System error [1336](system error 1336 (Invalid ACL))");
}

TEST(Elevation, TestProcessIsElevatedAndAdministrator) {
    EXPECT_TRUE(security::isProcessElevated());
    EXPECT_TRUE(security::isUserAdmin());
}

// From Vista on the elevation flag decides, so the limited token is not elevated. Before Vista, and for a
// version older than XP, membership decides, and a deny-only Administrators entry counts as membership.
TEST(Elevation, FollowsTheVersionWineReports) {
    struct Case {
        const wchar_t* version;
        Token token;
        const char* answer;
    };
    const Case cases[] = {
        {L"win10", Token::Full, "0: class=6 elevated=1 admin=1"},
        {L"win10", Token::Limited, "0: class=6 elevated=0 admin=1"},
        {L"win81", Token::Limited, "0: class=5 elevated=0 admin=1"},
        {L"win8", Token::Limited, "0: class=4 elevated=0 admin=1"},
        {L"win7", Token::Limited, "0: class=3 elevated=0 admin=1"},
        {L"vista", Token::Limited, "0: class=2 elevated=0 admin=1"},
        {L"winxp64", Token::Full, "0: class=1 elevated=1 admin=1"},
        {L"winxp64", Token::Limited, "0: class=1 elevated=1 admin=1"},
        {L"winxp64", Token::DenyOnlyAdministrators, "0: class=1 elevated=1 admin=1"},
        {L"winxp", Token::Limited, "0: class=1 elevated=1 admin=1"},
        {L"win2k", Token::DenyOnlyAdministrators, "0: class=0 elevated=1 admin=1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(probe(c.version, c.token), c.answer)
            << tstrings::toUtf8(c.version) << ", token kind " << static_cast<int>(c.token);
    }
}
