// The scoped deleter on real files: order of removal, partial failures, the reboot fallback.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/windows/WinAutoHandle.h"
#include "common/windows/WinErrorHandling.h"
#include "support/TempDir.h"
#include "windows/common/FileSystemTesting.h"
#include "windows/common/FileUtils.h"

using namespace testing_support;

namespace {

using Lines = std::vector<std::string>;

std::string deletedFile(const std::string& path) {
    return "Deleted [" + path + "] file";
}
std::string deletedDirectory(const std::string& path) {
    return "Deleted [" + path + "] directory";
}

// Makes each path below dir: a name ending in "\\" is a directory, any other a file holding its name.
void makeFiles(const TempDir& dir, const Lines& paths) {
    for (const std::string& path : paths) {
        if (path.back() == '\\') {
            FileUtils::createDirectories(dir / path);
        } else {
            FileUtils::createDirectories(FileUtils::parentPath(dir / path));
            writeFile(dir / path, path);
        }
    }
}

UniqueHandle holdOpen(const std::string& path) {
    UniqueHandle file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_NE(file.get(), INVALID_HANDLE_VALUE) << path;
    return file;
}

// The deletions registered for the next start (PendingFileRenameOperations) after this object was made;
// the value is put back as it was found when the object goes.
class PendingDeletions {
public:
    PendingDeletions() {
        const LONG status =
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0,
                          KEY_QUERY_VALUE | KEY_SET_VALUE, &key_);
        EXPECT_EQ(status, ERROR_SUCCESS);
        hadValue_ = read(saved_);
    }
    ~PendingDeletions() {
        if (hadValue_) {
            RegSetValueExW(key_, kValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(saved_.data()),
                           static_cast<DWORD>(saved_.size() * sizeof(wchar_t)));
        } else {
            RegDeleteValueW(key_, kValue);
        }
        RegCloseKey(key_);
    }

    // Paths registered for deletion since construction, in order of registration.
    Lines added() const {
        std::wstring now;
        read(now);
        const std::vector<std::wstring> before = split(saved_);
        const std::vector<std::wstring> after = split(now);
        Lines paths;
        // Pairs of source and destination; an empty destination means deletion.
        for (std::size_t i = before.size(); i + 1 < after.size(); i += 2) {
            if (!after[i + 1].empty()) continue;
            std::wstring source = after[i];
            if (source.rfind(L"\\??\\", 0) == 0) source.erase(0, 4);
            paths.emplace_back(source.begin(), source.end());
        }
        return paths;
    }

private:
    static constexpr const wchar_t* kValue = L"PendingFileRenameOperations";

    bool read(std::wstring& value) const {
        DWORD size = 0;
        if (RegQueryValueExW(key_, kValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
        value.assign(size / sizeof(wchar_t), L'\0');
        RegQueryValueExW(key_, kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(value.data()), &size);
        return true;
    }

    // The strings of the list, each NUL-terminated, the list ending in one more NUL. Destinations may be
    // empty, so an empty string does not end the list here.
    static std::vector<std::wstring> split(std::wstring list) {
        if (!list.empty() && list.back() == L'\0') list.pop_back();
        std::vector<std::wstring> strings;
        for (std::size_t start = 0; start < list.size();) {
            const std::size_t end = std::min(list.find(L'\0', start), list.size());
            strings.push_back(list.substr(start, end - start));
            start = end + 1;
        }
        return strings;
    }

    HKEY key_ = nullptr;
    bool hadValue_ = false;
    std::wstring saved_;
};

TEST(ScopedDeleter, DeletesFilesBeforeTreesAndTreesInOrderOfAddition) {
    TempDir dir;
    makeFiles(dir, {"B\\f.txt", "A\\f.txt", "A\\g.txt"});
    LogCapture log;
    {
        FileUtils::ScopedDeleter deleter;
        deleter.addDirectoryTree(dir / "B");
        deleter.addDirectoryTree(dir / "A");
        deleter.addFile(dir / "A\\g.txt");
    }
    EXPECT_EQ(log.messages(), (Lines{deletedFile(dir / "A\\g.txt"), deletedFile(dir / "B\\f.txt"),
                                     deletedDirectory(dir / "B"), deletedFile(dir / "A\\f.txt"),
                                     deletedDirectory(dir / "A")}));
    EXPECT_TRUE(listDirectory(dir.path()).empty());
}

TEST(ScopedDeleter, CancelKeepsEverything) {
    TempDir dir;
    makeFiles(dir, {"f.txt", "T\\x.txt"});
    LogCapture log;
    {
        FileUtils::ScopedDeleter deleter;
        deleter.addFile(dir / "f.txt");
        deleter.addDirectoryTree(dir / "T");
        deleter.cancel();
    }
    EXPECT_TRUE(log.records.empty());
    EXPECT_EQ(listDirectory(dir.path()), (Lines{"T", "f.txt"}));
}

TEST(ScopedDeleter, ExecuteThenDestroyDeletesOnce) {
    TempDir dir;
    makeFiles(dir, {"f.txt"});
    LogCapture log;
    {
        FileUtils::ScopedDeleter deleter;
        deleter.addFile(dir / "f.txt");
        deleter.execute();
        EXPECT_FALSE(exists(dir / "f.txt"));
        writeFile(dir / "f.txt", "again");
        deleter.execute();
        deleter.addFile(dir / "later.txt");
        writeFile(dir / "later.txt", "later");
    }
    EXPECT_EQ(readFile(dir / "f.txt"), "again");
    EXPECT_EQ(log.messages(), (Lines{deletedFile(dir / "f.txt"), deletedFile(dir / "later.txt")}));
}

TEST(ScopedDeleter, TreeWithALockedFileKeepsItAndItsAncestorsOnly) {
    TempDir dir;
    makeFiles(dir, {"T\\v.txt", "T\\x\\locked.txt", "T\\x\\y.txt", "T\\z\\w.txt", "T\\x\\e\\"});
    const UniqueHandle lock = holdOpen(dir / "T\\x\\locked.txt");
    LogCapture log;
    {
        FileUtils::ScopedDeleter deleter;
        deleter.addDirectoryTree(dir / "T");
    }
    EXPECT_EQ(listDirectory(dir / "T"), Lines{"x"});
    EXPECT_EQ(listDirectory(dir / "T\\x"), Lines{"locked.txt"});
    // Siblings go in the file system's order; compare as sets. The file that stays is reported at ERROR.
    const std::string leftover = "DeleteFile(" + dir / "T\\x\\locked.txt" + ") failed. System error [32](" +
                                 formatSystemError(ERROR_SHARING_VIOLATION) + ")";
    Lines messages;
    for (const LogRecord& record : log.records)
        messages.push_back(record.level + " " + record.message);
    Lines expected{"TRACE " + deletedDirectory(dir / "T\\x\\e"), "TRACE " + deletedFile(dir / "T\\v.txt"),
                   "TRACE " + deletedFile(dir / "T\\x\\y.txt"),  "TRACE " + deletedDirectory(dir / "T\\z"),
                   "TRACE " + deletedFile(dir / "T\\z\\w.txt"),  "ERROR " + leftover};
    std::sort(messages.begin(), messages.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(messages, expected);
}

TEST(ScopedDeleter, EntriesOfTheWrongKindAreLeftAlone) {
    TempDir dir;
    makeFiles(dir, {"D1\\in.txt", "F1", "F2", "D2\\in.txt", "D3\\top.txt", "D3\\sub\\deep.txt"});
    LogCapture log;
    {
        FileUtils::ScopedDeleter deleter;
        deleter.addFile(dir / "D1");
        deleter.addDirectoryTree(dir / "F1");
        deleter.addDirectoryFiles(dir / "F2");
        deleter.addEmptyDirectory(dir / "D2");
        deleter.addDirectoryFiles(dir / "D3");
        deleter.addFile(dir / "missing.txt");
        deleter.addDirectoryTree(dir / "missing");
    }
    EXPECT_EQ(listDirectory(dir.path()), (Lines{"D1", "D2", "D3", "F1", "F2"}));
    EXPECT_EQ(listDirectory(dir / "D1"), Lines{"in.txt"});
    EXPECT_EQ(listDirectory(dir / "D2"), Lines{"in.txt"});
    // Only the files directly inside D3 go.
    EXPECT_EQ(listDirectory(dir / "D3"), Lines{"sub"});
    EXPECT_EQ(listDirectory(dir / "D3\\sub"), Lines{"deep.txt"});
    EXPECT_EQ(log.messages(), Lines{deletedFile(dir / "D3\\top.txt")});
}

TEST(ScopedDeleter, TreeDeletionDoesNotReachThroughADirectoryLink) {
    TempDir outside;
    writeFile(outside / "precious.txt", "keep");
    TempDir dir;
    makeFiles(dir, {"T\\own.txt"});
    DirectoryLink link(dir / "T\\link", outside.path());
    if (!link.made()) GTEST_SKIP() << "no directory links here";
    {
        FileUtils::ScopedDeleter deleter;
        deleter.setRebootFallback(false);
        deleter.addDirectoryTree(dir / "T");
    }
    EXPECT_EQ(readFile(outside / "precious.txt"), "keep");
    EXPECT_FALSE(exists(dir / "T\\own.txt"));
}

TEST(ScopedDeleter, RebootFallbackSchedulesLeftoversChildrenFirst) {
    TempDir dir;
    makeFiles(dir, {"kept.txt", "F.txt", "T\\v.txt", "T\\x\\locked.txt", "T\\x\\y.txt", "Gone\\g.txt"});
    const UniqueHandle lock0 = holdOpen(dir / "kept.txt");
    const UniqueHandle lock1 = holdOpen(dir / "F.txt");
    const UniqueHandle lock2 = holdOpen(dir / "T\\x\\locked.txt");
    PendingDeletions pending;
    LogCapture log;
    {
        FileUtils::ScopedDeleter deleter;
        deleter.addFile(dir / "kept.txt");  // added before the fallback is switched on
        deleter.setRebootFallback(true);
        deleter.addDirectoryTree(dir / "T");
        deleter.addDirectoryTree(dir / "Gone");
        deleter.addFile(dir / "F.txt");
    }
    EXPECT_EQ(pending.added(), (Lines{dir / "F.txt", dir / "T\\x\\locked.txt", dir / "T\\x", dir / "T"}));
    Lines scheduled;
    for (const LogRecord& record : log.records) {
        if (record.function == kMoveFileImpl) scheduled.push_back(record.level + " " + record.message);
    }
    EXPECT_EQ(scheduled, (Lines{"TRACE Delete '" + dir / "F.txt" + "' file on reboot",
                                "TRACE Delete '" + dir / "T\\x\\locked.txt" + "' file on reboot",
                                "TRACE Delete '" + dir / "T\\x" + "' folder on reboot",
                                "TRACE Delete '" + dir / "T" + "' folder on reboot"}));
    EXPECT_FALSE(exists(dir / "Gone"));
}

TEST(ScopedDeleter, FailedListingInTheFallbackIsReportedAndTheRestGoesOn) {
    TempDir dir;
    makeFiles(dir, {"odd\\in.txt", "T\\t.txt"});
    // The trailing blank is dropped when the path is looked up, but not inside the search pattern: the
    // directory exists, and listing it fails with ERROR_PATH_NOT_FOUND.
    const std::string odd = dir / "odd ";
    ASSERT_TRUE(isDirectory(odd));
    PendingDeletions pending;
    LogCapture log;
    {
        FileUtils::ScopedDeleter deleter;
        deleter.setRebootFallback(true);
        deleter.addDirectoryFiles(odd);
        deleter.addDirectoryTree(dir / "T");
    }
    const std::string report = "Exception with message 'DirectoryIterator.cpp(";
    const std::string reportTail = ") at " +
                                   sysErrorTail("FileUtils::iterateDirectory",
                                                "FindFirstFile(" + odd + ") failed", ERROR_PATH_NOT_FOUND) +
                                   "' caught";
    Lines errors;
    for (const LogRecord& record : log.records) {
        if (record.level != "ERROR") continue;
        errors.push_back(record.function);
        EXPECT_EQ(record.message.rfind(report, 0), 0u) << record.message;
        EXPECT_TRUE(record.message.size() > reportTail.size() &&
                    record.message.substr(record.message.size() - reportTail.size()) == reportTail)
            << record.message;
    }
    EXPECT_EQ(errors, (Lines{"FileUtils::`anonymous-namespace'::BatchDeleter::execute",
                             "FileUtils::ScopedDeleter::execute"}));
    EXPECT_EQ(listDirectory(dir.path()), Lines{"odd"});
    EXPECT_EQ(listDirectory(dir / "odd"), Lines{"in.txt"});
    EXPECT_TRUE(pending.added().empty());
}

}  // namespace
