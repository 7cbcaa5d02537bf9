// Directory walks and listings, on real directory trees.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/TempDir.h"
#include "windows/common/FileSystemTesting.h"
#include "windows/common/FileUtils.h"

using namespace testing_support;

namespace {

using Paths = std::vector<std::string>;

// Records every visit as "F <path>" or "D <path>"; stops after stopAfter visits.
class Recorder : public FileUtils::DirectoryCallback {
public:
    explicit Recorder(std::size_t stopAfter = SIZE_MAX) : stopAfter_(stopAfter) {}
    bool visitFile(const std::string& path) override { return record("F " + path); }
    bool visitDirectory(const std::string& path) override { return record("D " + path); }

    Paths visits;

private:
    bool record(const std::string& visit) {
        visits.push_back(visit);
        return visits.size() < stopAfter_;
    }
    std::size_t stopAfter_;
};

// Throws from its first visit.
class Thrower : public FileUtils::DirectoryCallback {
public:
    bool visitFile(const std::string&) override { throw std::runtime_error("stop"); }
};

Paths walk(const std::string& dir) {
    Recorder recorder;
    FileUtils::iterateDirectory(dir, recorder);
    return recorder.visits;
}

Paths collect(FileUtils::DirectoryIterator& iterator) {
    Paths out;
    iterator.collectItems(out);
    return out;
}

// a\b\c.txt and a\d.txt inside dir; returns a's path.
std::string makeTree(const TempDir& dir) {
    const std::string a = dir / "a";
    FileUtils::createDirectories(a + "\\b");
    writeFile(a + "\\b\\c.txt", "c");
    writeFile(a + "\\d.txt", "d");
    return a;
}

TEST(IterateDirectory, EmptyDirectoryGivesNoVisits) {
    TempDir dir;
    EXPECT_TRUE(walk(dir.path()).empty());
}

TEST(IterateDirectory, FalseFromACallbackStopsTheWalk) {
    TempDir dir;
    for (const char* name : {"1.txt", "2.txt", "3.txt"})
        writeFile(dir / name, name);
    Recorder recorder(1);
    FileUtils::iterateDirectory(dir.path(), recorder);
    ASSERT_EQ(recorder.visits.size(), 1u);
    EXPECT_EQ(recorder.visits[0].substr(0, 2), "F ");
}

TEST(IterateDirectory, TrailingSeparatorsGiveTheSamePaths) {
    TempDir dir;
    const std::string a = makeTree(dir);
    const Paths expected = walk(a);
    EXPECT_EQ(expected.size(), 2u);
    EXPECT_EQ(walk(a + "\\"), expected);
    EXPECT_EQ(walk(a + "\\/\\"), expected);
}

TEST(IterateDirectory, ExceptionFromACallbackClosesTheSearch) {
    TempDir dir;
    const std::string sub = dir / "sub";
    ASSERT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    writeFile(sub + "\\f.txt", "f");
    Thrower thrower;
    EXPECT_THROW(FileUtils::iterateDirectory(sub, thrower), std::runtime_error);
    // An open search handle would keep the directory from being removed.
    ASSERT_TRUE(DeleteFileA((sub + "\\f.txt").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(sub.c_str())) << GetLastError();
}

TEST(IterateDirectory, MissingDirectoryThrowsButCollectingIsQuiet) {
    TempDir dir;
    const std::string missing = dir / "missing";
    Recorder recorder;
    expectThrowsSysError([&] { FileUtils::iterateDirectory(missing, recorder); }, "DirectoryIterator.cpp",
                         "FileUtils::iterateDirectory", "FindFirstFile(" + missing + ") failed",
                         ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(recorder.visits.empty());
    Paths out{"kept"};
    FileUtils::DirectoryIterator(missing).recursive(true).withFiles(true).withDirectories(true).collectItems(
        out);
    writeFile(dir / "file", "");
    FileUtils::DirectoryIterator(dir / "file").withFiles(true).collectItems(out);
    EXPECT_EQ(out, Paths{"kept"});
}

TEST(DirectoryIterator, ListsATreeInPreOrder) {
    TempDir dir;
    const std::string a = makeTree(dir);
    // The file system's order of b and d.txt decides which comes first.
    const bool bFirst = walk(a).front() == "D " + a + "\\b";
    const Paths expected = bFirst ? Paths{a + "\\b", a + "\\b\\c.txt", a + "\\d.txt"}
                                  : Paths{a + "\\d.txt", a + "\\b", a + "\\b\\c.txt"};
    Paths out{"before"};
    FileUtils::DirectoryIterator(a).recursive(true).withFiles(true).withDirectories(true).collectItems(out);
    out.erase(out.begin());
    EXPECT_EQ(out, expected);
}

TEST(DirectoryIterator, FlagsSelectWhatIsListed) {
    TempDir dir;
    const std::string a = makeTree(dir);
    FileUtils::DirectoryIterator filesOnly(a);
    filesOnly.withFiles(true);
    EXPECT_EQ(collect(filesOnly), Paths{a + "\\d.txt"});
    FileUtils::DirectoryIterator directoriesOnly(a);
    directoriesOnly.recursive(true).withDirectories(true);
    EXPECT_EQ(collect(directoriesOnly), Paths{a + "\\b"});
}

TEST(DirectoryIterator, ListsALinkInsideTheTreeWithoutEnteringIt) {
    TempDir outside;
    writeFile(outside / "precious.txt", "keep");
    TempDir dir;
    const std::string link = dir / "link";
    DirectoryLink linked(link, outside.path());
    if (!linked.made()) GTEST_SKIP() << "no directory links here";
    FileUtils::DirectoryIterator iterator(dir.path());
    iterator.recursive(true).withFiles(true).withDirectories(true);
    EXPECT_EQ(collect(iterator), Paths{link});
    // Listed on its own, the link's target is what is asked for.
    FileUtils::DirectoryIterator direct(link);
    direct.withFiles(true);
    EXPECT_EQ(collect(direct), Paths{link + "\\precious.txt"});
}

}  // namespace
