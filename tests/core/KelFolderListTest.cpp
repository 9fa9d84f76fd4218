// The folder search, its type matching, and kelFolderList on top of it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/FileTestUtil.h"
#include "core/kelFolderList.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using filetest::CurrentDir;
using filetest::kelFolderOf;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::vector<std::string> names(kelFolderList& list)
{
    std::vector<std::string> out;
    while (list.next()) out.push_back(list.name);
    return out;
}

using Strings = std::vector<std::string>;

}  // namespace

class FolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* f :
             {"b.wav", "a.wav", "C.txt", ".hidden", "loop.01.wav", "take.WAV", "noext", "x.aif"})
            writeFile(dir.file(f), "x");
        fs::create_directory(dir.file("Sub"));
        fs::create_directory(dir.file(".git"));
        fs::create_directory(dir.file("real"));
        fs::create_directory_symlink(dir.file("real"), dir.file("linked"));
    }
    void TearDown() override { KEL_FileDialogCanOpenTypes(nullptr); }

    TempDir dir{"folders"};
};

TEST_F(FolderTest, DefaultListingGivesVisibleFilesInByteOrder)
{
    CurrentDir here(dir.path());
    kelFolderList list(":");
    ASSERT_TRUE(list.start());
    EXPECT_EQ(names(list), (Strings{"C.txt", "a.wav", "b.wav", "loop.01.wav", "noext", "take.WAV", "x.aif"}));

    fs::create_directories(dir.file("Library/Song"));
    writeFile(dir.file("Library/Song/kick.wav"), "k");
    kelFolderList song(":Library:Song:");
    ASSERT_TRUE(song.start());
    ASSERT_TRUE(song.next());
    EXPECT_STREQ(song.name, "kick.wav");
    EXPECT_STREQ(song.current.path, ":Library:Song:kick.wav");
    EXPECT_EQ(song.entryIndex, 0);
    EXPECT_FALSE(song.next());
}

TEST_F(FolderTest, CountLeavesTheListingRestarted)
{
    kelFolderList list(kelFolderOf(dir.path()).c_str());
    list.start();
    ASSERT_TRUE(list.next());
    ASSERT_TRUE(list.next());
    EXPECT_EQ(list.count(), 7);
    EXPECT_EQ(list.entryIndex, -1);
    ASSERT_TRUE(list.next());
    EXPECT_STREQ(list.name, "C.txt");
    EXPECT_EQ(list.entryIndex, 0);
}

TEST_F(FolderTest, FiltersChainAndRestart)
{
    kelFolderList list(kelFolderOf(dir.path()).c_str());
    list.filterDocuments(1).filterFolders(0);
    EXPECT_EQ(names(list), (Strings{"Sub", "linked", "real"}));  // a link to a folder is a folder

    list.filterHidden(0);
    EXPECT_EQ(names(list), (Strings{".git", "Sub", "linked", "real"}));

    list.filterDocuments(0);
    EXPECT_EQ(list.count(), 12);

    // The kind filter is only recorded.
    list.filterFolders(1).filterHidden(1).passKind("wav");
    EXPECT_STREQ(list.kindText, "wav");
    EXPECT_EQ(list.count(), 7);
    list.passKind(nullptr);
    EXPECT_STREQ(list.kindText, "");
    list.passKind(0x57415645u);
    EXPECT_EQ(list.kindCode, 0x57415645u);
}

TEST_F(FolderTest, MissingFolderGivesNothing)
{
    kelFolderList list((kelFolderOf(dir.path()) + "Missing:").c_str());
    EXPECT_FALSE(list.start());
    EXPECT_FALSE(list.next());
    EXPECT_EQ(list.count(), 0);

    EXPECT_FALSE(KEL_ScanFileInFolder((kelFolderOf(dir.path()) + "Missing:").c_str()));
    char name[kKelNameMax + 1];
    EXPECT_FALSE(KEL_NextFileInFolder(name, nullptr, nullptr));

    fs::create_directory(dir.file("Empty"));
    EXPECT_TRUE(KEL_ScanFileInFolder((kelFolderOf(dir.path()) + "Empty:").c_str()));
    EXPECT_FALSE(KEL_NextFileInFolder(name, nullptr, nullptr));
}

TEST_F(FolderTest, ANewListingEndsTheOneBefore)
{
    fs::create_directory(dir.file("Sub/inner"));
    writeFile(dir.file("Sub/one.wav"), "1");
    kelFolderList first(kelFolderOf(dir.path()).c_str());
    kelFolderList second((kelFolderOf(dir.path()) + "Sub:").c_str());
    first.start();
    ASSERT_TRUE(first.next());
    second.start();
    // Not the other folder's entries under this folder's name: just the end.
    EXPECT_FALSE(first.next());
    ASSERT_TRUE(second.next());
    EXPECT_STREQ(second.name, "one.wav");
}

TEST_F(FolderTest, NamesWithAColonAreLeftOut)
{
    writeFile(dir.file("odd:name.wav"), "x");
    kelFolderList list(kelFolderOf(dir.path()).c_str());
    EXPECT_EQ(list.count(), 7);
}

TEST_F(FolderTest, TypeMatchingIsExactPerPattern)
{
    EXPECT_TRUE(KEL_FileDialogCanOpenTypes("*.wav;*.aif"));
    EXPECT_EQ(KEL_FileDialogOpenTypes(), "*.wav;*.aif");
    ASSERT_TRUE(KEL_ScanFileInFolder(kelFolderOf(dir.path()).c_str()));
    std::vector<std::string> matched, folders;
    char name[kKelNameMax + 1];
    uint8_t folder = 9, matches = 9;
    while (KEL_NextFileInFolder(name, &folder, &matches)) {
        EXPECT_NE(std::string(name), ".");
        EXPECT_NE(std::string(name), "..");
        if (matches) matched.push_back(name);
        if (folder) folders.push_back(name);
    }
    // take.WAV does not match: the scan compares case exactly.
    EXPECT_EQ(matched, (Strings{"a.wav", "b.wav", "loop.01.wav", "x.aif"}));
    EXPECT_EQ(folders, (Strings{".git", "Sub", "linked", "real"}));
    EXPECT_FALSE(KEL_NextFileInFolder(name, &folder, &matches));

    // A lone "*" matches names without a '.'; without types only those too.
    for (const char* types : {"*", ""}) {
        KEL_FileDialogCanOpenTypes(types);
        ASSERT_TRUE(KEL_ScanFileInFolder(kelFolderOf(dir.path()).c_str()));
        matched.clear();
        while (KEL_NextFileInFolder(name, nullptr, &matches))
            if (matches) matched.push_back(name);
        EXPECT_EQ(matched, (Strings{"Sub", "linked", "noext", "real"})) << "types \"" << types << "\"";
    }
}

TEST_F(FolderTest, OverlongTypesKeepWholePatternsOnly)
{
    std::string types;
    for (int i = 0; i < 30; ++i) types += (i ? ";*.k" : "*.k") + std::to_string(10 + i);
    ASSERT_GT(types.size(), 126u);
    EXPECT_FALSE(KEL_FileDialogCanOpenTypes(types.c_str()));
    const std::string kept = KEL_FileDialogOpenTypes();
    EXPECT_LE(kept.size(), 126u);
    EXPECT_EQ(types.compare(0, kept.size(), kept), 0);
    EXPECT_EQ(types[kept.size()], ';');  // cut before a pattern, never inside one

    writeFile(dir.file("late.k39"), "x");
    writeFile(dir.file("early.k10"), "x");
    ASSERT_TRUE(KEL_ScanFileInFolder(kelFolderOf(dir.path()).c_str()));
    char name[kKelNameMax + 1];
    uint8_t matches = 0;
    std::vector<std::string> matched;
    while (KEL_NextFileInFolder(name, nullptr, &matches))
        if (matches) matched.push_back(name);
    EXPECT_EQ(matched, (Strings{"early.k10"}));
}
