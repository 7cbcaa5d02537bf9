// Temporary names and directory creation, on real files.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <utility>

#include "support/TempDir.h"
#include "windows/common/FileSystemTesting.h"
#include "windows/common/FileUtils.h"

using namespace testing_support;

namespace {

TEST(TempFileName, PrintsTheNumberAsSigned32Bit) {
    struct Case {
        const char* prefix;
        unsigned long number;
        const char* suffix;
        const char* name;
    };
    const Case cases[] = {
        {"zor", 0, ".tmp", "zor0.tmp"},
        {"zor", 2147483647ul, ".tmp", "zor2147483647.tmp"},
        {"zor", 2147483648ul, ".tmp", "zor-2147483648.tmp"},
        {"zor", 4294967295ul, ".tmp", "zor-1.tmp"},
        {"", 1234567, "", "1234567"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileUtils::tempFileName(c.prefix, c.number, c.suffix), c.name);
}

TEST(TempFileName, TickCountWrapsAroundBetweenAttempts) {
    const unsigned long ticks = 4294967295ul;
    const char* expected[] = {"x-1", "x0", "x1", "x2"};
    for (unsigned long attempt = 0; attempt < 4; ++attempt) {
        EXPECT_EQ(FileUtils::tempFileName("x", ticks + attempt, ""), expected[attempt]);
    }
}

TEST(CreateTempFile, RefusesIllegalCharactersPrefixFirst) {
    struct Case {
        std::string prefix;
        std::string suffix;
        std::string message;
    };
    // what() is a C string: a message holding a NUL ends there.
    const std::string nul("a\0b", 3);
    const Case cases[] = {
        {"a/b", ".tmp", "Illegal characters in prefix=a/b"},
        {"a\\b", ".tmp", "Illegal characters in prefix=a\\b"},
        {"a:b", ".tmp", "Illegal characters in prefix=a:b"},
        {"a\tb", ".tmp", "Illegal characters in prefix=a\tb"},
        {nul, ".tmp", "Illegal characters in prefix=a"},
        {"zor", "x|y", "Illegal characters in suffix=x|y"},
        {"zor", nul, "Illegal characters in suffix=a"},
        {"a?b", "x*y", "Illegal characters in prefix=a?b"},
    };
    TempDir dir;
    for (const Case& c : cases) {
        try {
            FileUtils::createTempFile(c.prefix, c.suffix, dir.path());
            ADD_FAILURE() << "accepted " << c.message;
        } catch (const std::runtime_error& error) {
            const std::string text = error.what();
            const std::string tail = ") at FileUtils::createTempFile(): " + c.message;
            EXPECT_EQ(text.rfind("FileUtils.cpp(", 0), 0u) << text;
            EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail);
        }
    }
    EXPECT_TRUE(listDirectory(dir.path()).empty());
}

// The number part of a name made with an empty prefix and suffix.
long long numberOf(const std::string& path) {
    return std::stoll(FileUtils::fileName(path));
}

TEST(CreateTempFile, EmptyPrefixAndSuffixGiveTheNumberAlone) {
    TempDir dir;
    LogCapture log;
    const std::string path = FileUtils::createTempFile("", "", dir.path());
    const std::string name = FileUtils::fileName(path);
    EXPECT_EQ(path, dir / name);
    EXPECT_EQ(FileUtils::tempFileName("", static_cast<unsigned long>(numberOf(path)), ""), name);
    EXPECT_EQ(readFile(path), "");
    EXPECT_EQ(describeRecords(log), std::vector<std::string>{std::string("TRACE ") + kCreateNewFile +
                                                             ": Created [" + path + "] file"});
}

// The entry of a function of kernel32.dll in this executable's import address table; null when the
// executable does not import it. Calls from the code linked into the test go through this entry.
void** importEntry(const char* function) {
    auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* const headers =
        reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* library = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        if (_stricmp(reinterpret_cast<char*>(base + library->Name), "kernel32.dll") != 0) continue;
        auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->OriginalFirstThunk);
        auto* entry = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++entry) {
            if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData);
            if (std::strcmp(byName->Name, function) == 0)
                return reinterpret_cast<void**>(&entry->u1.Function);
        }
    }
    return nullptr;
}

// While it lives, GetTickCount() in this executable returns count: the numbers createTempFile tries are
// then known in advance, whatever the machine's uptime and however long the test takes.
class FixedTickCount {
public:
    explicit FixedTickCount(DWORD count) : entry_(importEntry("GetTickCount")) {
        count_ = count;
        if (entry_ == nullptr) throw std::runtime_error("GetTickCount is not imported");
        original_ = replace(reinterpret_cast<void*>(&fixed));
    }
    ~FixedTickCount() { replace(original_); }
    FixedTickCount(const FixedTickCount&) = delete;
    FixedTickCount& operator=(const FixedTickCount&) = delete;

private:
    static DWORD WINAPI fixed() { return count_; }
    void* replace(void* function) {
        DWORD protection = 0;
        VirtualProtect(entry_, sizeof(*entry_), PAGE_READWRITE, &protection);
        void* const previous = std::exchange(*entry_, function);
        VirtualProtect(entry_, sizeof(*entry_), protection, &protection);
        return previous;
    }

    static inline DWORD count_ = 0;
    void** entry_;
    void* original_ = nullptr;
};

TEST(CreateTempFile, TriesExactlyTheHundredNumbersFromTheTickCountOn) {
    // From 0, and across the two places where the printed number changes sign (the count wraps as a DWORD).
    for (const DWORD start : {0u, 2147483600u, 4294967250u}) {
        SCOPED_TRACE(start);
        TempDir dir;
        const auto name = [&](DWORD offset) {
            return dir / FileUtils::tempFileName("t", start + offset, ".x");
        };
        FixedTickCount ticks(start);
        for (DWORD offset = 0; offset < 99; ++offset)
            writeFile(name(offset), "taken");
        // The 99 names taken are skipped, the 100th is created.
        LogCapture log;
        std::string created;
        EXPECT_NO_THROW(created = FileUtils::createTempFile("t", ".x", dir.path()));
        EXPECT_EQ(created, name(99));
        EXPECT_EQ(log.messages(), std::vector<std::string>{"Created [" + name(99) + "] file"});
        // With the 100th taken too, nothing more is tried.
        EXPECT_THROW(FileUtils::createTempFile("t", ".x", dir.path()), std::runtime_error);
        EXPECT_FALSE(exists(name(100)));
        EXPECT_EQ(listDirectory(dir.path()).size(), 100u);
    }
}

TEST(CreateTempFile, GivesUpAfterHundredAttemptsSilently) {
    TempDir dir;
    const std::string missing = dir / "missing";
    LogCapture log;
    try {
        FileUtils::createTempFile("zor", ".tmp", missing);
        ADD_FAILURE() << "created a file in a missing directory";
    } catch (const std::runtime_error& error) {
        const std::string text = error.what();
        const std::string tail =
            ") at FileUtils::createTempFile(): createTempFile(zor, .tmp, " + missing + ") failed";
        EXPECT_EQ(text.rfind("FileUtils.cpp(", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - std::min(text.size(), tail.size())), tail);
    }
    EXPECT_TRUE(log.records.empty());
    EXPECT_FALSE(exists(missing));
}

TEST(CreateDirectories, CreatesMissingLevelsWhateverTheTrailingSeparators) {
    for (const std::string trailing : {"", "\\", "\\\\/"}) {
        TempDir dir;
        LogCapture log;
        FileUtils::createDirectories(dir / "a\\b" + trailing);
        EXPECT_TRUE(isDirectory(dir / "a\\b"));
        EXPECT_EQ(describeRecords(log),
                  (std::vector<std::string>{
                      std::string("TRACE ") + kCreateDir + ": Created [" + dir / "a\\] directory",
                      std::string("TRACE ") + kCreateDir + ": Created [" + dir / "a\\b\\] directory"}))
            << "trailing '" << trailing << "'";
    }
}

TEST(CreateDirectories, ExistingDirectoryIsSilent) {
    TempDir dir;
    FileUtils::createDirectories(dir / "a");
    LogCapture log;
    FileUtils::createDirectories(dir / "a");
    FileUtils::createDirectories(dir.path());
    EXPECT_TRUE(log.records.empty());
    EXPECT_TRUE(isDirectory(dir / "a"));
}

TEST(CreateDirectories, ExistingFileOfThatNameThrows) {
    TempDir dir;
    const std::string file = dir / "plain.txt";
    writeFile(file, "data");
    LogCapture log;
    expectThrowsSysError([&] { FileUtils::createDirectories(file); }, "FileUtils.cpp", kCreateDir,
                         "CreateDirectory(" + file + "\\) failed", ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(log.records.empty());
    EXPECT_EQ(readFile(file), "data");
}

}  // namespace
