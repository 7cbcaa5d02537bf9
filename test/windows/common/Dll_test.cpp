#include <gtest/gtest.h>

#include <optional>
#include <regex>
#include <string>

#include "common/windows/WinErrorHandling.h"
#include "windows/common/DllFunction.h"

namespace {

// A system library that nothing else in the test program loads, so its presence shows our references.
constexpr const char* kLibrary = "version";
constexpr const wchar_t* kLibraryFile = L"version.dll";
constexpr const char* kExport = "GetFileVersionInfoSizeW";

// The line of the throw in the conversion operator of DllFunction.h.
constexpr int kUnavailableLine = 35;

using LengthFunction = int(WINAPI*)(const wchar_t*);
using VersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);

bool isLoaded() {
    return GetModuleHandleW(kLibraryFile) != nullptr;
}

std::wstring systemDirectory() {
    wchar_t buffer[MAX_PATH] = {};
    GetSystemDirectoryW(buffer, MAX_PATH);
    return buffer;
}

// The what() of the exception that call throws; empty when it throws none.
template <class Exception, class Call>
std::string thrownText(Call&& call) {
    try {
        call();
    } catch (const Exception& error) {
        return error.what();
    }
    return std::string();
}

// The text after "<file>(<line>) at " when text starts with "<file>(<digits>) at ".
std::string afterLocation(const std::string& text, const std::string& file) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex("^" + file + "\\(\\d+\\) at ")))
        return "no location: " + text;
    return match.suffix();
}

}  // namespace

class DllTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(isLoaded()) << "version.dll is already loaded"; }
    void TearDown() override { EXPECT_FALSE(isLoaded()) << "a reference on version.dll was not released"; }
};

TEST_F(DllTest, LoadsByFullPathWithoutExtension) {
    const Dll library(kLibrary);
    EXPECT_EQ(library.name(), systemDirectory() + L"\\version");
    wchar_t file[MAX_PATH] = {};
    GetModuleFileNameW(library.handle(), file, MAX_PATH);
    EXPECT_EQ(_wcsicmp(file, (systemDirectory() + L"\\version.dll").c_str()), 0);
}

TEST_F(DllTest, CopyHoldsAReferenceOfItsOwn) {
    std::optional<Dll> source(kLibrary);
    const Dll copy(*source);
    source.reset();
    EXPECT_TRUE(isLoaded());
    EXPECT_NE(copy.getFunction(kExport, true), nullptr);
}

TEST_F(DllTest, BindingKeepsTheLibraryLoadedAfterTheTemporaryIsGone) {
    const DllFunction<LengthFunction> function(Dll(kLibrary), kExport, Binding::Strict);
    EXPECT_TRUE(isLoaded());
    EXPECT_TRUE(function.available());
}

TEST_F(DllTest, StrictBindingCallsTheExport) {
    const DllFunction<LengthFunction> length(Dll("Kernel32"), "lstrlenW", Binding::Strict);
    EXPECT_EQ(static_cast<LengthFunction>(length)(L"abcd"), 4);
}

TEST_F(DllTest, LenientBindingOfMissingExportIsEmptyAndItsConversionThrows) {
    const DllFunction<VersionFunction> missing(Dll(kLibrary), "NoSuchExport", Binding::Lenient);
    EXPECT_FALSE(missing.available());
    const std::string text =
        thrownText<ZorError<std::runtime_error>>([&] { (void)static_cast<VersionFunction>(missing); });
    EXPECT_EQ(text, "DllFunction.h(" + std::to_string(kUnavailableLine) +
                        ") at DllFunction<long int (*)(_OSVERSIONINFOEXW*)>::operator long int "
                        "(*)(_OSVERSIONINFOEXW*)(): "
                        "NoSuchExport() function is not available in " +
                        tstrings::toUtf8(systemDirectory()) + "\\version");
}

TEST_F(DllTest, StrictBindingOfMissingExportThrows) {
    const std::string text = thrownText<SysError>(
        [] { DllFunction<VersionFunction> missing(Dll(kLibrary), "NoSuchExport", Binding::Strict); });
    EXPECT_EQ(afterLocation(text, "Dll\\.cpp"),
              "Dll::getFunction(): GetProcAddress(" + tstrings::toUtf8(systemDirectory()) +
                  "\\version, NoSuchExport) failed. System error [127](system "
                  "error 127 (Procedure not found))");
}

TEST_F(DllTest, MissingLibraryThrows) {
    const std::string text = thrownText<SysError>([] { Dll library("nosuchlibrary"); });
    EXPECT_EQ(afterLocation(text, "Dll\\.cpp"),
              "`anonymous-namespace'::loadLibrary(): LoadLibraryW(" + tstrings::toUtf8(systemDirectory()) +
                  "\\nosuchlibrary) failed. System error [126](system error 126 (Module not found))");
}

TEST_F(DllTest, NamesThatLeaveTheSystemDirectoryAreRefused) {
    for (const char* name : {"", ".", "..", "..\\system32\\version", "sub/version", "C:version"}) {
        EXPECT_EQ(
            afterLocation(thrownText<std::invalid_argument>([&] { Dll library(name); }), "Dll\\.cpp"),
            std::string(
                "`anonymous-namespace'::systemLibraryPath(): Not the base name of a system library: '") +
                name + "'");
    }
}
