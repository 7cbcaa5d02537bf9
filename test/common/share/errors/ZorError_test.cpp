#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "common/share/errors/MessageBuilder.h"
#include "common/share/errors/SourceLocation.h"
#include "common/share/errors/SysError.h"
#include "common/share/errors/ZorError.h"
#include "common/windows/WinErrorHandling.h"

namespace {

struct JoinCase {
    const char* message;
    const char* detail;
    const char* expected;
};

class JoinMessages : public testing::TestWithParam<JoinCase> {};

TEST_P(JoinMessages, JoinsTrimmedTexts) {
    EXPECT_EQ(GetParam().expected, joinMessages(GetParam().message, GetParam().detail));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JoinMessages,
    testing::Values(
        JoinCase{"LoadLibraryW(x.dll) failed", "System error [2]",
                 "LoadLibraryW(x.dll) failed. System error [2]"},
        JoinCase{"call(x)", "detail", "call(x). detail"}, JoinCase{"Why?", "detail", "Why? detail"},
        JoinCase{"Note:", "detail", "Note: detail"}, JoinCase{"a;", "d", "a; d"}, JoinCase{"a.", "d", "a. d"},
        JoinCase{"a,", "d", "a, d"}, JoinCase{"a!", "d", "a! d"}, JoinCase{"Done.   ", "d", "Done. d"},
        JoinCase{"Done. \t\r\n\v\f", " \t d e \n", "Done. d e"}, JoinCase{"  lead", "d", "  lead. d"},
        JoinCase{"", "  detail  ", "detail"}, JoinCase{"message  ", "", "message"},
        JoinCase{"message", " \t\n ", "message"}, JoinCase{"message.", "   ", "message."},
        JoinCase{"   ", "\t", ""}, JoinCase{"", "", ""},
        // Bytes above 0x7F are not white space in the classic locale (0xA0: Latin-1 no-break space).
        JoinCase{"m\xA0",
                 "\xA0"
                 "d",
                 "m\xA0. \xA0"
                 "d"}));

std::string composed(const std::exception& error) {
    return error.what();
}

TEST(ZorErrorText, FileIsCutAfterTheLastSeparatorOfEitherKind) {
    const std::runtime_error base("boom");
    struct Case {
        const char* file;
        const char* name;
    };
    for (const Case& c :
         {Case{"src/common/share/tstrings.cpp", "tstrings.cpp"},
          Case{"src\\windows\\common\\DllFunction.h", "DllFunction.h"}, Case{"a\\b/c.cpp", "c.cpp"},
          Case{"a/b\\c.cpp", "c.cpp"}, Case{"plain.cpp", "plain.cpp"}, Case{"C:\\dir\\", ""}}) {
        const ZorError<std::runtime_error> error(base, SourceLocation(c.file, "ns::f", 42));
        EXPECT_EQ(std::string(c.name) + "(42) at ns::f(): boom", composed(error)) << c.file;
    }
}

TEST(ZorErrorText, EachKindComposesItsBaseText) {
    const SourceLocation where("src/x/Dll.cpp", "Dll::getFunction", 7);
    const ZorError<std::runtime_error> fromText(std::string("no such thing"), where);
    EXPECT_EQ("Dll.cpp(7) at Dll::getFunction(): no such thing", composed(fromText));

    const ZorError<std::invalid_argument> invalid(std::invalid_argument("Destination buffer can't be NULL"),
                                                  where);
    EXPECT_EQ("Dll.cpp(7) at Dll::getFunction(): Destination buffer can't be NULL", composed(invalid));
    const std::logic_error& asLogicError = invalid;
    EXPECT_STREQ(invalid.what(), asLogicError.what());

    EXPECT_EQ("Dll.cpp(7) at Dll::getFunction(): from builder 5",
              composed(createRuntimeError(MessageBuilder("from builder ") << 5, where)));
    EXPECT_EQ("Dll.cpp(7) at Dll::getFunction(): plain text",
              composed(createRuntimeError("plain text", where)));
}

TEST(ZorErrorText, SysErrorCaughtAsStdExceptionGivesTheComposedText) {
    const SysError base(MessageBuilder("DeleteFile(") << "C:\\x"
                                                      << ") failed",
                        functionAddress(&DeleteFileA), ERROR_FILE_NOT_FOUND);
    const std::string baseText = base.what();
    ASSERT_EQ(0u, baseText.find("DeleteFile(C:\\x) failed. System error [2]")) << baseText;
    try {
        throw ZorError<SysError>(
            base, SourceLocation("src\\windows\\common\\FileUtils.cpp", "FileUtils::deleteFile", 88));
    } catch (const std::exception& error) {
        EXPECT_EQ("FileUtils.cpp(88) at FileUtils::deleteFile(): " + baseText, error.what());
        // The wrapped SysError is kept whole inside.
        const auto& asRuntimeError = dynamic_cast<const std::runtime_error&>(error);
        EXPECT_EQ(baseText, asRuntimeError.std::runtime_error::what());
    }
}

TEST(ZorErrorText, CopiesKeepTheComposedText) {
    ZorError<std::runtime_error> original(std::runtime_error("kept"), SourceLocation("f.cpp", "g", 1));
    const ZorError<std::runtime_error> copy = original;
    original = ZorError<std::runtime_error>(std::runtime_error("other"), SourceLocation("h.cpp", "k", 2));
    EXPECT_EQ("f.cpp(1) at g(): kept", composed(copy));
    EXPECT_EQ("h.cpp(2) at k(): other", composed(original));
}

int throwingLine = 0;

void throwRuntimeError(int value) {
    throwingLine = __LINE__ + 1;
    ZOR_THROW_RUNTIME_ERROR("value " << value << " rejected");
}

TEST(ZorErrorText, ThrowMacroLocatesTheStatement) {
    try {
        throwRuntimeError(5);
        FAIL() << "no exception";
    } catch (const ZorError<std::runtime_error>& error) {
        EXPECT_EQ("ZorError_test.cpp(" + std::to_string(throwingLine) +
                      ") at `anonymous-namespace'::throwRuntimeError(): value 5 rejected",
                  composed(error));
    }
}

}  // namespace
