// The launcher's own functions on real directories and argument vectors. The launcher's source file is
// compiled into this test, so the functions of its unnamed namespace are reachable here; its WinMain is
// simply never called.
#include "windows/wrappers/kiteboot/kiteboot.cpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <stdexcept>

#include "programs/probe_report.h"
#include "support/LogCapture.h"
#include "support/Process.h"
#include "support/TempDir.h"

namespace {

using testing_support::TempDir;

// ---- createSecureDirectory and the check of what it holds

TEST(CreateSecureDirectory, MakesAFreshZorDirectoryDirectlyInTemp) {
    TempDir temp("kbtemp");
    testing_support::LogCapture log;
    const std::unique_ptr<HeldDirectory> firstHeld = createSecureDirectory(TempDirectory(temp.path()));
    const std::unique_ptr<HeldDirectory> secondHeld = createSecureDirectory(TempDirectory(temp.path()));
    const std::string first = firstHeld->path();
    const std::string second = secondHeld->path();
    const std::regex name(R"(zor-?\d+\.tmp)");
    for (const std::string& path : {first, second}) {
        EXPECT_EQ(FileUtils::parentPath(path), temp.path());
        EXPECT_TRUE(std::regex_match(FileUtils::fileName(path), name)) << path;
        EXPECT_TRUE(testing_support::isDirectory(path)) << path;
        EXPECT_TRUE(testing_support::listDirectory(path).empty());
    }
    EXPECT_NE(first, second);
    // The reserving files are gone: TEMP holds the two directories and nothing else.
    std::vector<std::string> expected = {FileUtils::fileName(first), FileUtils::fileName(second)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(testing_support::listDirectory(temp.path()), expected);
    const std::vector<std::string> messages = {"Created [" + first + "] file", "Deleted [" + first + "] file",
                                               "Created [" + second + "] file",
                                               "Deleted [" + second + "] file"};
    EXPECT_EQ(log.messages(), messages);
}

// The descriptor the directory is created with, as the system reads it: protected from TEMP's inheritable
// entries, owned by Administrators, and exactly two entries, full access for the system and for
// Administrators, each inherited by files and folders. (Wine keeps no descriptor on files, so what the
// directory gets can be read back only on Windows.)
TEST(CreateSecureDirectory, DescriptorIsProtectedAdministratorsOwnedAndGrantsOnlySystemAndAdministrators) {
    security::SecurityDescriptor descriptor = secureDirectoryDescriptor();
    ASSERT_TRUE(IsValidSecurityDescriptor(descriptor.get()));
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(GetSecurityDescriptorControl(descriptor.get(), &control, &revision));
    EXPECT_EQ(control, SE_SELF_RELATIVE | SE_DACL_PRESENT | SE_DACL_PROTECTED);
    PSID owner = nullptr;
    BOOL defaulted = TRUE;
    ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted));
    security::Sid administrators(MessageBuilder("S-1-5-32-544"));
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(EqualSid(owner, administrators.get()));
    EXPECT_FALSE(defaulted);
    BOOL present = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted));
    ASSERT_TRUE(present && acl);
    ACL_SIZE_INFORMATION sizes{};
    ASSERT_TRUE(GetAclInformation(acl, &sizes, sizeof(sizes), AclSizeInformation));
    ASSERT_EQ(sizes.AceCount, 2u);
    const char* const trustees[] = {"S-1-5-18", "S-1-5-32-544"};  // LocalSystem, Administrators
    for (DWORD i = 0; i < sizes.AceCount; ++i) {
        SCOPED_TRACE(trustees[i]);
        void* ace = nullptr;
        ASSERT_TRUE(GetAce(acl, i, &ace));
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
        EXPECT_EQ(allowed->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        EXPECT_EQ(allowed->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
        security::Sid trustee{MessageBuilder(trustees[i])};
        EXPECT_TRUE(EqualSid(trustee.get(), const_cast<DWORD*>(&allowed->SidStart)));
    }
}

// ---- What makes a directory a leftover of an earlier run (pure decisions)

// The decision on descriptors read back from real security descriptor objects built in memory: the
// launcher's own and variations of it. (Under Wine no directory keeps a descriptor, and every one reports
// the user as owner, so a directory cannot be shown to carry ours; see docs/reliability.md.)
TEST(LeftoverRules, OnlyExactlyOurDescriptorWithAdministratorsAsOwnerIsOurs) {
    const std::pair<const char*, bool> rows[] = {
        {kSecureDirectoryAccess, true},
        {"O:BAG:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},  // a group: the creator's, not compared
        {"O:BAD:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", true},    // automatic inheritance: how, not who
        {"O:S-1-5-21-1-2-3-1000D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},  // owned by a user
        {"O:SYD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},                   // owned by the system
        {"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},                       // no owner
        {"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},                    // not protected
        {"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;WD)", false},   // an entry more
        {"O:BAD:P(A;OICI;FA;;;BA)", false},                                   // an entry fewer
        {"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", false},                   // another order
        {"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BU)", false},                   // another trustee
        {"O:BAD:P(A;OICI;FR;;;SY)(A;OICI;FA;;;BA)", false},                   // another access mask
        {"O:BAD:P(A;CI;FA;;;SY)(A;OICI;FA;;;BA)", false},                     // other inheritance flags
        {"O:BAD:P(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)", false},               // inherited entries
        {"O:BAD:P(D;OICI;FA;;;SY)(A;OICI;FA;;;BA)", false},                   // a deny entry
        {"O:BAD:P", false},                                                   // an empty list
        {"O:BAD:PNO_ACCESS_CONTROL", false},                                  // a null list: everyone
        {"O:BA", false},                                                      // no list
    };
    security::SecurityDescriptor ours = secureDirectoryDescriptor();
    for (const auto& [text, expected] : rows) {
        SCOPED_TRACE(text);
        security::SecurityDescriptor readBack{MessageBuilder(text)};
        EXPECT_EQ(carriesExactly(readBack.get(), ours.get()), expected);
    }
}

TEST(CreateSecureDirectory, FailsWhenTheTemporaryDirectoryIsMissing) {
    TempDir temp("kbtemp");
    testing_support::LogCapture log;
    try {
        createSecureDirectory(TempDirectory(temp / "missing"));
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(
            std::string(error.what()).find("createTempFile(zor, .tmp, " + (temp / "missing") + ") failed"),
            std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(testing_support::listDirectory(temp.path()).empty());
    EXPECT_TRUE(log.messages().empty());
}

TEST(SecureDirectoryCheck, ThePayloadAlonePassesAnythingBesideItFails) {
    struct Case {
        const char* what;
        void (*add)(const std::string& directory);
        bool askAboutACopy = false;  // asked about a copy of the payload elsewhere, not the payload held
    };
    const Case cases[] = {
        {"nothing", [](const std::string&) {}},
        {"extra file", [](const std::string& d) { testing_support::writeFile(d + "\\other.dll", ""); }},
        {"extra empty subdirectory",
         [](const std::string& d) { ASSERT_TRUE(CreateDirectoryA((d + "\\sub").c_str(), nullptr)); }},
        {"file in a subdirectory",
         [](const std::string& d) {
             ASSERT_TRUE(CreateDirectoryA((d + "\\sub").c_str(), nullptr));
             testing_support::writeFile(d + "\\sub\\setup.exe", "");
         }},
        {"a file differing only by extension",
         [](const std::string& d) { testing_support::writeFile(d + "\\setup.exe.tmp", ""); }},
        {"the payload alone, but the check asked about another file", [](const std::string&) {}, true},
    };
    TempDir temp("kbtemp");
    TempDir elsewhere("kbcopy");
    testing_support::writeFile(elsewhere / "setup.exe", "MZ");
    const UniqueHandle copy(CreateFileA((elsewhere / "setup.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_NE(copy.get(), INVALID_HANDLE_VALUE);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<HeldDirectory> secure = createSecureDirectory(TempDirectory(temp.path()));
        const HANDLE payload = secure->saveFile("setup.exe", [](std::ostream& out) { out << "MZ"; });
        c.add(secure->path());
        EXPECT_EQ(
            secure->checkHoldsOnly(c.askAboutACopy ? copy.get() : payload),
            static_cast<DWORD>(std::string(c.what) == "nothing" ? ERROR_SUCCESS : ERROR_CANT_ACCESS_FILE));
    }
    EXPECT_TRUE(testing_support::listDirectory(temp.path()).empty());
}

// ---- The redirection trust policy asked for at start

// ---- Silent mode (argument vector) and the payload's command line (raw command line)

// Sets __argc/__argv to a vector of the test's own while alive.
class ArgumentsOverride {
public:
    explicit ArgumentsOverride(std::vector<std::string> arguments)
        : arguments_(std::move(arguments)), savedArgc_(__argc), savedArgv_(__argv) {
        for (std::string& argument : arguments_)
            pointers_.push_back(argument.data());
        pointers_.push_back(nullptr);
        __argc = static_cast<int>(arguments_.size());
        __argv = pointers_.data();
    }
    ~ArgumentsOverride() {
        __argc = savedArgc_;
        __argv = savedArgv_;
    }

private:
    std::vector<std::string> arguments_;
    std::vector<char*> pointers_;
    int savedArgc_;
    char** savedArgv_;
};

TEST(SilentMode, EachSilentOptionAnywhereSuppressesTheNotice) {
    const std::vector<std::vector<std::string>> silent = {
        {"setup.exe", "/s"},
        {"setup.exe", "INSTALL_SILENT=Enable"},
        {"setup.exe", "INSTALL_SILENT=1"},
        {"setup.exe", "a", "INSTALL_SILENT=1", "b"},
        {"setup.exe", "x", "y", "/s"},
        {"/s"},  // element 0 counts like every other element
    };
    for (const auto& arguments : silent) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        ArgumentsOverride override(arguments);
        EXPECT_TRUE(isSilentMode());
    }
}

TEST(SilentMode, OnlyExactWholeArgumentsCount) {
    const std::vector<std::vector<std::string>> notSilent = {
        {"setup.exe"},
        {"setup.exe", "/S"},
        {"setup.exe", "INSTALL_SILENT=enable"},
        {"setup.exe", "install_silent=1"},
        {"setup.exe", "INSTALL_SILENT=0"},
        {"setup.exe", "INSTALL_SILENT=Enable2"},
        {"setup.exe", "-s"},
        {"setup.exe", "/silent"},
        {"setup.exe", "/s "},
        {"setup.exe", " /s"},
        {"setup.exe", "x /s"},
        {"setup.exe", ""},
    };
    for (const auto& arguments : notSilent) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        ArgumentsOverride override(arguments);
        EXPECT_FALSE(isSilentMode());
    }
}

// The launcher's raw command line, as typed, and what the payload is given after its own quoted path.
TEST(PayloadCommandLine, EverythingAfterTheProgramNameIsPassedOnByteForByte) {
    const std::string payload = "C:\\Temp\\zor1.tmp\\setup.exe";
    const std::pair<const char*, const char*> cases[] = {
        {"setup.exe", ""},
        {"setup.exe   ", ""},
        {"\"C:\\My Files\\setup.exe\"", ""},
        {"setup.exe /S /D=C:\\Program Files\\App", "/S /D=C:\\Program Files\\App"},
        {"\"C:\\My Files\\setup.exe\" \t /S  \"two  blanks\"\t", "/S  \"two  blanks\"\t"},
        {"setup.exe\t/v\"/qn INSTALLDIR=\\\"C:\\X\\\"\"", "/v\"/qn INSTALLDIR=\\\"C:\\X\\\"\""},
        {"\"C:\\a b\"c d", "c d"},            // a quoted name ends at its closing quote
        {"C:\\a\"b c\" d", "c\" d"},          // an unquoted name ends at the first blank, quotes or not
        {"\"C:\\unclosed setup.exe /S", ""},  // no closing quote: all of it is the name
        {"setup.exe \"\"", "\"\""},
        {"", ""},
    };
    for (const auto& [typed, arguments] : cases) {
        SCOPED_TRACE(typed);
        EXPECT_EQ(argumentsAfterProgramName(typed), arguments);
        const std::string expected = "\"" + payload + "\"" + (*arguments ? std::string(" ") + arguments : "");
        EXPECT_EQ(buildCommandLine(payload, argumentsAfterProgramName(typed)), expected);
    }
}

// The same rules on the launcher's UTF-16 command line, unit for unit: letters outside any code page, a
// character outside the Basic Multilingual Plane (two units) and a lone surrogate pass untouched.
TEST(PayloadCommandLine, WideCommandLineIsPassedOnUnitForUnit) {
    const std::wstring payload = L"C:\\Temp\\zor1.tmp\\Установка 安装.exe";
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"\"C:\\Программы\\Установка 安装.exe\" /S Ёж 安装目录=D:\\软件", L"/S Ёж 安装目录=D:\\软件"},
        {L"\"C:\\a b\\😀.exe\"\t\"😀 🎉\"", L"\"😀 🎉\""},
        {L"😀.exe \xD800 lone \xDC00", L"\xD800 lone \xDC00"},
        {L"\"C:\\unclosed \xDC00 setup.exe /S", L""},
        {L"", L""},
    };
    for (const auto& [typed, arguments] : cases) {
        SCOPED_TRACE(tstrings::toUtf8(typed));
        EXPECT_EQ(std::wstring(argumentsAfterProgramName(typed)), arguments);
        const std::wstring expected =
            L"\"" + payload + L"\"" + (*arguments ? L" " + std::wstring(arguments) : L"");
        EXPECT_EQ(buildCommandLine(payload, argumentsAfterProgramName(typed)), expected);
    }
}

TEST(PayloadCommandLine, MissingArgumentVectorThrows) {
    ArgumentsOverride override({});
    __argv = nullptr;
    try {
        getCommandLine("C:\\Temp\\zor1.tmp\\setup.exe");
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        EXPECT_TRUE(std::regex_match(
            error.what(), std::regex(R"(kiteboot\.cpp\(\d+\) at `anonymous-namespace'::getCommandLine\(\): )"
                                     R"(__targv is NULL)")))
            << error.what();
    }
}

// ---- execProcessWaitForFinish

TEST(PayloadProcess, RunsInItsOwnDirectoryAndReturnsTheExitCode) {
    TempDir directory("kbexec");
    TempDir reports("kbreport");
    const std::string program = directory / "probe.exe";
    ASSERT_TRUE(
        CopyFileA(testing_support::siblingProgram("probe_payload.exe").c_str(), program.c_str(), TRUE));
    const std::string report = reports / "report.txt";
    SetEnvironmentVariableA(probe::kReportVariable, report.c_str());
    SetEnvironmentVariableA(probe::kExitVariable, "0xC0000135");
    const DWORD exitCode =
        execProcessWaitForFinish(program, tstrings::fromUtf8("\"" + program + "\" \"a b\""));
    SetEnvironmentVariableA(probe::kReportVariable, nullptr);
    SetEnvironmentVariableA(probe::kExitVariable, nullptr);
    EXPECT_EQ(exitCode, 0xC0000135ul);
    const probe::Report received = probe::parseReport(testing_support::readFile(report));
    EXPECT_EQ(received.currentDirectory, directory.path());
    EXPECT_EQ(received.arguments, (std::vector<std::string>{program, "a b"}));
}

TEST(PayloadProcess, MissingProgramThrowsWithTheSystemError) {
    TempDir directory("kbexec");
    const std::string program = directory / "absent.exe";
    try {
        execProcessWaitForFinish(program, tstrings::fromUtf8("\"" + program + "\""));
        FAIL() << "no exception";
    } catch (const std::runtime_error& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("`anonymous-namespace'::execProcessWaitForFinish(): CreateProcess failed. System "
                            "error [2]"),
                  std::string::npos)
            << text;
    }
}

}  // namespace
