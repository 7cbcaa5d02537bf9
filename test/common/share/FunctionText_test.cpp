#include "common/share/FunctionText.h"

#include <gtest/gtest.h>

#include <string>

#include "common/share/errors/ZorError.h"
#include "common/share/tstrings.h"

// Functions of the shapes the system's throw and log sites have, each returning its own function text.
namespace {

const char* run() {
    return ZOR_FUNCTION;
}

}  // namespace

namespace tstrings {
namespace {

const char* toMultiByte(const std::wstring&) {
    return ZOR_FUNCTION;
}

}  // namespace
}  // namespace tstrings

namespace SysInfo {
namespace {

const char* getModulePath(void*) {
    return ZOR_FUNCTION;
}

}  // namespace
}  // namespace SysInfo

namespace FileUtils {

// An overload of its own, so that it cannot be confused with the library's deleteFile.
const char* deleteFile(const std::string&, double) {
    return ZOR_FUNCTION;
}

}  // namespace FileUtils

namespace shapes {

class Resource {
public:
    const char* getPtr(unsigned& size) const {
        size = 0;
        return ZOR_FUNCTION;
    }
    static const char* make() { return ZOR_FUNCTION; }
};

namespace security {

class Sid {
public:
    explicit Sid(const char** text) { *text = ZOR_FUNCTION; }
    ~Sid() { *destroyed = ZOR_FUNCTION; }
    const char** destroyed = nullptr;
};

}  // namespace security

// A class template with a conversion to its parameter, like the binding of a library function.
template <class Function>
class Bound {
public:
    operator Function() const {
        lastText = ZOR_FUNCTION;
        return nullptr;
    }
    bool operator<(const Bound&) const {
        lastText = ZOR_FUNCTION;
        return false;
    }
    static inline const char* lastText = nullptr;
};

int (*returnsFunctionPointer(const char** text))(int) {
    *text = ZOR_FUNCTION;
    return nullptr;
}

}  // namespace shapes

TEST(FunctionText, FreeFunctionsInUnnamedNamespacesUseTheMsvcSpelling) {
    EXPECT_STREQ("`anonymous-namespace'::run", run());
    EXPECT_STREQ("tstrings::`anonymous-namespace'::toMultiByte", tstrings::toMultiByte(L""));
    EXPECT_STREQ("SysInfo::`anonymous-namespace'::getModulePath", SysInfo::getModulePath(nullptr));
}

TEST(FunctionText, NamespaceFunctionsMembersAndConstructorsAreQualifiedWithoutSignature) {
    EXPECT_STREQ("FileUtils::deleteFile", FileUtils::deleteFile("x", 1.0));
    unsigned size = 1;
    EXPECT_STREQ("shapes::Resource::getPtr", shapes::Resource().getPtr(size));
    EXPECT_STREQ("shapes::Resource::make", shapes::Resource::make());
    const char* constructed = nullptr;
    const char* destroyed = nullptr;
    {
        shapes::security::Sid sid(&constructed);
        sid.destroyed = &destroyed;
    }
    EXPECT_STREQ("shapes::security::Sid::Sid", constructed);
    EXPECT_STREQ("shapes::security::Sid::~Sid", destroyed);
    const char* returning = nullptr;
    shapes::returnsFunctionPointer(&returning);
    EXPECT_STREQ("shapes::returnsFunctionPointer", returning);
}

TEST(FunctionText, ClassTemplateMembersNameTheInstanceArguments) {
    using Function = int (*)(int);
    const shapes::Bound<Function> bound;
    EXPECT_EQ(nullptr, static_cast<Function>(bound));
    EXPECT_STREQ("shapes::Bound<int (*)(int)>::operator int (*)(int)", shapes::Bound<Function>::lastText);
    EXPECT_FALSE(bound < bound);
    EXPECT_STREQ("shapes::Bound<int (*)(int)>::operator<", shapes::Bound<Function>::lastText);
}

TEST(FunctionText, LibraryThrowSitesCarryTheirFunctionText) {
    try {
        tstrings::unsafe_format(nullptr);
        FAIL() << "no exception";
    } catch (const ZorError<std::invalid_argument>& error) {
        EXPECT_NE(std::string::npos, std::string(error.what()).find(") at tstrings::unsafe_format(): "))
            << error.what();
    }
}

struct SignatureCase {
    const char* signature;
    const char* expected;
};

class MsvcFunctionText : public testing::TestWithParam<SignatureCase> {};

TEST_P(MsvcFunctionText, DerivesTheQualifiedName) {
    EXPECT_EQ(GetParam().expected, zor::msvcFunctionText(GetParam().signature));
}

// __PRETTY_FUNCTION__ texts as GCC 12 and Clang 14 write them for the same functions.
INSTANTIATE_TEST_SUITE_P(
    Gcc, MsvcFunctionText,
    testing::Values(
        SignatureCase{"int {anonymous}::run()", "`anonymous-namespace'::run"},
        SignatureCase{"std::string tstrings::{anonymous}::toMultiByte(const std::wstring&)",
                      "tstrings::`anonymous-namespace'::toMultiByte"},
        SignatureCase{"std::string SysInfo::{anonymous}::getModulePath(HMODULE)",
                      "SysInfo::`anonymous-namespace'::getModulePath"},
        SignatureCase{"void FileUtils::deleteFile(const std::string&)", "FileUtils::deleteFile"},
        SignatureCase{"const void* Resource::getPtr(uint32_t&) const", "Resource::getPtr"},
        SignatureCase{"static int Resource::make()", "Resource::make"},
        SignatureCase{"security::Sid::Sid(const MessageBuilder&)", "security::Sid::Sid"},
        SignatureCase{"security::Sid::~Sid()", "security::Sid::~Sid"},
        SignatureCase{
            "DllFunction<Function>::operator Function() const [with Function = int (*)(HWND__*, "
            "const wchar_t*, const wchar_t*, unsigned int)]",
            "DllFunction<int (*)(HWND__*, const wchar_t*, const wchar_t*, unsigned int)>::operator int "
            "(*)(HWND__*, const wchar_t*, const wchar_t*, unsigned int)"},
        SignatureCase{"void DllFunction<Function>::call(Function, int) [with Function = int (*)(int)]",
                      "DllFunction<int (*)(int)>::call"},
        SignatureCase{"static void Pair<T, U>::make(V) [with V = double; T = int; U = char]",
                      "Pair<int, char>::make"},
        SignatureCase{"std::map<int, std::vector<char> > ns::Table<T>::rows() [with T = std::pair<int, int>]",
                      "ns::Table<std::pair<int, int>>::rows"},
        SignatureCase{"bool Ops::operator<(const Ops&) const", "Ops::operator<"},
        SignatureCase{"Ops& Ops::operator<<(int)", "Ops::operator<<"},
        SignatureCase{"bool Ops::operator>(const Ops&) const", "Ops::operator>"},
        SignatureCase{"void Ops::operator()()", "Ops::operator()"},
        SignatureCase{"int (* returnsFp())(int)", "returnsFp"},
        SignatureCase{"int (* Dll::getFunction(const char*) const)()", "Dll::getFunction"},
        SignatureCase{"void outer::{anonymous}::inner::W::go()",
                      "outer::`anonymous-namespace'::inner::W::go"},
        SignatureCase{"int main()", "main"}));

INSTANTIATE_TEST_SUITE_P(
    Clang, MsvcFunctionText,
    testing::Values(
        SignatureCase{"int (anonymous namespace)::run()", "`anonymous-namespace'::run"},
        SignatureCase{"std::string tstrings::(anonymous namespace)::toMultiByte(const std::wstring &)",
                      "tstrings::`anonymous-namespace'::toMultiByte"},
        SignatureCase{"std::string SysInfo::(anonymous namespace)::getModulePath(HMODULE)",
                      "SysInfo::`anonymous-namespace'::getModulePath"},
        SignatureCase{"void FileUtils::deleteFile(const std::string &)", "FileUtils::deleteFile"},
        SignatureCase{"const void *Resource::getPtr(uint32_t &) const", "Resource::getPtr"},
        SignatureCase{"Ops &Ops::operator<<(int)", "Ops::operator<<"},
        SignatureCase{"security::Sid::Sid(const MessageBuilder &)", "security::Sid::Sid"},
        SignatureCase{
            "Function DllFunction<int (*)(int)>::operator int (*)(int)() const [Function = int (*)(int)]",
            "DllFunction<int (*)(int)>::operator int (*)(int)"},
        SignatureCase{"void DllFunction<int (*)(int)>::call(Function, int) [Function = int (*)(int)]",
                      "DllFunction<int (*)(int)>::call"},
        SignatureCase{"static void Pair<int, char>::make(V) [T = int, U = char, V = double]",
                      "Pair<int, char>::make"},
        SignatureCase{"int (*returnsFp())(int)", "returnsFp"},
        SignatureCase{"void outer::(anonymous namespace)::inner::W::go()",
                      "outer::`anonymous-namespace'::inner::W::go"}));
