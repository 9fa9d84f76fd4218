// Kel path conversion, the name functions and the file functions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/FileTestUtil.h"
#include "core/kelFiles.h"
#include "core/kelOffmap.h"
#include "core/kelQt.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using filetest::kelOf;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string toSystem(const char* kel)
{
    char out[kKelSystemPathMax + 1];
    EXPECT_TRUE(KEL_KelPathToSystemPath(kel, out)) << kel;
    return out;
}

std::string toKel(const char* system)
{
    char out[kKelPathMax + 1];
    EXPECT_TRUE(KEL_SystemPathToKelPath(system, out)) << system;
    return out;
}

}  // namespace

TEST(KelPathConversion, RelativeAndAbsolutePathsGoBothWays)
{
    EXPECT_EQ(toSystem(":Library:Song:"), "Library/Song/");
    EXPECT_EQ(toKel("Library/Song/"), ":Library:Song:");
    EXPECT_EQ(toKel("Library/Song"), ":Library:Song");

    EXPECT_EQ(toSystem("home:me:x.wav"), "/home/me/x.wav");
    EXPECT_EQ(toKel("/home/me/x.wav"), "home:me:x.wav");

    // The file-system root has a kel form of its own, so a volume name ":"
    // followed by ":Library:" reaches /Library/.
    EXPECT_EQ(toKel("/"), "::");
    EXPECT_EQ(toSystem("::"), "/");
    EXPECT_EQ(toSystem("::Library:Song:"), "/Library/Song/");

    EXPECT_EQ(toKel("a//b///c"), ":a:b:c");
    EXPECT_EQ(toSystem(""), "");
    EXPECT_EQ(toKel(""), "");
}

TEST(KelPathConversion, RefusesWhatCannotBeWrittenOrDoesNotFit)
{
    // A ':' inside a system name would come back as a separator.
    char kel[64];
    std::memset(kel, 'x', sizeof kel);
    EXPECT_FALSE(KEL_SystemPathToKelPath("/home/me/take:2.wav", kel, sizeof kel));
    EXPECT_STREQ(kel, "");

    // Too long for the output: refused, output empty, nothing written past it.
    char guarded[16 + 8];
    std::memset(guarded, '#', sizeof guarded);
    EXPECT_FALSE(KEL_KelPathToSystemPath(":abcdefgh:ijklmnop", guarded, 16));
    EXPECT_STREQ(guarded, "");
    for (int i = 16; i < 24; ++i) EXPECT_EQ(guarded[i], '#');

    std::memset(guarded, '#', sizeof guarded);
    EXPECT_FALSE(KEL_SystemPathToKelPath("/abcdefgh/ijklmnop", guarded, 16));
    for (int i = 16; i < 24; ++i) EXPECT_EQ(guarded[i], '#');

    // Exactly fitting is fine: "/a/b" needs five bytes.
    char five[5];
    EXPECT_TRUE(KEL_KelPathToSystemPath("a:b", five, 5));
    EXPECT_STREQ(five, "/a/b");
    EXPECT_FALSE(KEL_KelPathToSystemPath("a:bc", five, 5));
    // A bare name is a file of the current folder.
    EXPECT_TRUE(KEL_KelPathToSystemPath("ab", five, 5));
    EXPECT_STREQ(five, "ab");

    // The file functions' own limit, a kel path's: longer never reaches the system.
    const std::string longPath = ":" + std::string(kKelPathMax + 1, 'a');
    char system[kKelSystemPathMax + 1];
    EXPECT_FALSE(KEL_KelPathToSystemPath(longPath.c_str(), system));
    EXPECT_FALSE(KEL_FileExists(longPath.c_str()));
    kelFileRec ref;
    EXPECT_FALSE(KEL_FileCreateAndOpen(longPath.c_str(), &ref));
}

TEST(KelNames, NameParentAndStrip)
{
    char name[kKelNameMax + 1];
    KEL_FileNameFromPath(":Library:Song:take.wav", name);
    EXPECT_STREQ(name, "take.wav");
    KEL_FileNameFromPath("take.wav", name);
    EXPECT_STREQ(name, "take.wav");
    KEL_FileNameFromPath(":Library:Song:", name);
    EXPECT_STREQ(name, "");

    EXPECT_TRUE(KEL_File_GetParentName(":Library:Song:take.wav", name));
    EXPECT_STREQ(name, "Song");
    EXPECT_TRUE(KEL_File_GetParentName(":Library:Song:", name));
    EXPECT_STREQ(name, "Song");
    EXPECT_TRUE(KEL_File_GetParentName("home:x.wav", name));
    EXPECT_STREQ(name, "home");
    EXPECT_FALSE(KEL_File_GetParentName("take.wav", name));
    EXPECT_FALSE(KEL_File_GetParentName(":Library:Song:", nullptr));

    char path[64] = ":Library:Song:take.wav";
    KEL_File_StripFileName(path);
    EXPECT_STREQ(path, ":Library:Song:");
    KEL_File_StripFileName(path);
    EXPECT_STREQ(path, ":Library:Song:");
    std::strcpy(path, "take.wav");
    KEL_File_StripFileName(path);
    EXPECT_STREQ(path, "");
}

TEST(KelNames, GoParentStopsAtEachKindOfRoot)
{
    char path[64] = ":Library:Song:";
    EXPECT_TRUE(KEL_File_GoParent(path));
    EXPECT_STREQ(path, ":Library:");
    EXPECT_TRUE(KEL_File_GoParent(path));
    EXPECT_STREQ(path, ":");
    EXPECT_FALSE(KEL_File_GoParent(path));
    EXPECT_STREQ(path, ":");

    std::strcpy(path, "home:me:");
    EXPECT_TRUE(KEL_File_GoParent(path));
    EXPECT_STREQ(path, "home:");
    EXPECT_FALSE(KEL_File_GoParent(path));

    std::strcpy(path, "::Library:");
    EXPECT_TRUE(KEL_File_GoParent(path));
    EXPECT_STREQ(path, "::");
    EXPECT_FALSE(KEL_File_GoParent(path));  // never the current folder ":"
    EXPECT_STREQ(path, "::");

    std::strcpy(path, "Library");
    EXPECT_FALSE(KEL_File_GoParent(path));
    EXPECT_STREQ(path, "Library");
}

TEST(KelNames, KindsCompareTheFilesLettersWithoutCase)
{
    EXPECT_TRUE(KEL_File_IsKind(":Library:take.WAV", "wav"));
    EXPECT_TRUE(KEL_File_IsKind("take.wav", "wav"));
    EXPECT_FALSE(KEL_File_IsKind("take.wav", "WAV"));
    EXPECT_FALSE(KEL_File_IsKind(":Library:take", "wav"));
    EXPECT_TRUE(KEL_File_IsKind("loop.01.wav", "wav"));
    EXPECT_FALSE(KEL_File_IsKind("take.wave", "wav"));
    EXPECT_FALSE(KEL_File_IsKind("take.wa", "wav"));
    EXPECT_TRUE(KEL_File_IsKind("beat.MP3", "mp3"));
    // Only letters fold: a control character is not the digit 32 above it.
    EXPECT_FALSE(KEL_File_IsKind("beat.\x10", "0"));
    EXPECT_FALSE(KEL_File_IsKind("take.wav", nullptr));
}

TEST(KelNames, OutputsAreCutAtTheirSizeWithoutSplittingCharacters)
{
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    // "é" is two bytes: five bytes of room hold two of them, not two and a half.
    EXPECT_FALSE(KEL_FileNameFromPath(":a:\xC3\xA9\xC3\xA9\xC3\xA9", buffer, 6));
    EXPECT_STREQ(buffer, "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(buffer[6], '#');

    char path[10] = ":Lib:";
    EXPECT_FALSE(KEL_File_AddToPath(path, "Song:take.wav", sizeof path));
    EXPECT_STREQ(path, ":Lib:Song");
    EXPECT_TRUE(KEL_File_CopyPath(":a:", path, sizeof path));
    EXPECT_TRUE(KEL_File_AddToPath(path, "b.wav", sizeof path));
    EXPECT_STREQ(path, ":a:b.wav");
    EXPECT_FALSE(KEL_File_CopyPath(":Library:Song:", path, sizeof path));
    EXPECT_STREQ(path, ":Library:");

    char name[kKelNameMax + 1];
    const std::string longName = ":a:" + std::string(400, 'n');
    EXPECT_FALSE(KEL_FileNameFromPath(longName.c_str(), name));
    EXPECT_EQ(std::strlen(name), static_cast<size_t>(kKelNameMax));
}

class KelFileOps : public ::testing::Test {
protected:
    std::string kel(const std::string& name) const { return kelOf(dir.file(name)); }
    TempDir dir{"kelfiles"};
};

TEST_F(KelFileOps, ClosingAfterSeekingBackCutsTheFileThere)
{
    const std::string path = kel("doc.bin");
    const std::string data(100, 'd');
    kelFileRec ref;
    ASSERT_TRUE(KEL_FileCreateAndOpen(path.c_str(), &ref));
    ASSERT_TRUE(KEL_FileWrite(&ref, 100, data.data()));
    ASSERT_TRUE(KEL_FileSetPos(&ref, 10));
    ASSERT_TRUE(KEL_FileWrite(&ref, 4, "HEAD"));
    ASSERT_TRUE(KEL_FileClose(&ref));
    EXPECT_EQ(ref.handle, 0);
    EXPECT_EQ(readFile(dir.file("doc.bin")), std::string(10, 'd') + "HEAD");

    // Seeking to the end again before closing keeps the whole file.
    ASSERT_TRUE(KEL_FileOpen(path.c_str(), &ref));
    ASSERT_TRUE(KEL_FileSetPos(&ref, 14));
    ASSERT_TRUE(KEL_FileWrite(&ref, 100, data.data()));
    ASSERT_TRUE(KEL_FileSetPos(&ref, 0));
    ASSERT_TRUE(KEL_FileWrite(&ref, 2, "AB"));
    ASSERT_TRUE(KEL_FileSeekCurPos(&ref, 112));
    long length = 0;
    ASSERT_TRUE(KEL_FileGetLength(&ref, &length));
    EXPECT_EQ(length, 114);
    ASSERT_TRUE(KEL_FileClose(&ref));
    EXPECT_EQ(fs::file_size(dir.file("doc.bin")), 114u);

    // A reader leaves the file as it is.
    ASSERT_TRUE(KEL_FileOpenReadOnly(path.c_str(), &ref));
    char head[4];
    ASSERT_TRUE(KEL_FileRead(&ref, 4, head));
    EXPECT_EQ(std::string(head, 2), "AB");
    ASSERT_TRUE(KEL_FileClose(&ref));
    EXPECT_EQ(fs::file_size(dir.file("doc.bin")), 114u);
}

TEST_F(KelFileOps, ReadsPastTheEndSucceedAndClosedReferencesRefuse)
{
    writeFile(dir.file("short.bin"), "abc");
    kelFileRec ref;
    ASSERT_TRUE(KEL_FileOpenReadOnly(kel("short.bin").c_str(), &ref));
    char buffer[16] = {};
    EXPECT_TRUE(KEL_FileRead(&ref, 16, buffer));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(KEL_FileReadSome(&ref, 16, buffer), 0);
    ASSERT_TRUE(KEL_FileClose(&ref));

    EXPECT_FALSE(KEL_FileRead(&ref, 1, buffer));
    EXPECT_FALSE(KEL_FileWrite(&ref, 1, buffer));
    EXPECT_FALSE(KEL_FileSetPos(&ref, 0));
    long length = -1;
    EXPECT_FALSE(KEL_FileGetLength(&ref, &length));
    EXPECT_FALSE(KEL_FileClose(&ref));
    EXPECT_FALSE(KEL_FileOpen(kel("missing.bin").c_str(), &ref));
}

TEST_F(KelFileOps, CopyReplacesAReadOnlyDestinationAndFailsCleanly)
{
    writeFile(dir.file("from.wav"), "new contents");
    writeFile(dir.file("to.wav"), "old");
    ASSERT_EQ(::chmod(dir.file("to.wav").c_str(), 0444), 0);

    ASSERT_TRUE(KEL_FileCopy(kel("from.wav").c_str(), kel("to.wav").c_str()));
    EXPECT_EQ(readFile(dir.file("to.wav")), "new contents");
    struct stat st;
    ASSERT_EQ(::stat(dir.file("to.wav").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);

    // A missing source leaves the destination alone, and no temporary file behind.
    EXPECT_FALSE(KEL_FileCopy(kel("missing.wav").c_str(), kel("to.wav").c_str()));
    EXPECT_EQ(readFile(dir.file("to.wav")), "new contents");
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir.path())) files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2);
    // A folder is not copied.
    fs::create_directory(dir.file("folder"));
    EXPECT_FALSE(KEL_FileCopy(kel("folder").c_str(), kel("to.wav").c_str()));
}

TEST_F(KelFileOps, CopyOntoALinkMakesAFileOfItsOwnAndLeavesTheLinkedOneAlone)
{
    // As in a user's program folder whose library links to the installed one.
    fs::create_directory(dir.file("shared"));
    writeFile(dir.file("shared/picture.gif"), "installed");
    ASSERT_EQ(::chmod(dir.file("shared/picture.gif").c_str(), 0444), 0);
    fs::create_symlink(dir.file("shared/picture.gif"), dir.file("picture.gif"));
    writeFile(dir.file("from.gif"), "the user's");

    ASSERT_TRUE(KEL_FileCopy(kel("from.gif").c_str(), kel("picture.gif").c_str()));
    EXPECT_FALSE(fs::is_symlink(dir.file("picture.gif")));
    EXPECT_EQ(readFile(dir.file("picture.gif")), "the user's");
    EXPECT_EQ(readFile(dir.file("shared/picture.gif")), "installed");
}

TEST_F(KelFileOps, FoldersAreCreatedOnceAndDeletedWhenEmpty)
{
    const std::string folder = kel("Song") + ":";
    EXPECT_TRUE(KEL_CreateDirectory(folder.c_str()));
    EXPECT_FALSE(KEL_CreateDirectory(folder.c_str()));
    EXPECT_TRUE(KEL_FileExists(folder.c_str()));

    writeFile(dir.file("Song/a.wav"), "a");
    EXPECT_FALSE(KEL_FileDelete(folder.c_str()));  // not empty
    EXPECT_TRUE(KEL_FileRename(kel("Song/a.wav").c_str(), kel("b.wav").c_str()));
    EXPECT_FALSE(fs::exists(dir.file("Song/a.wav")));
    EXPECT_EQ(readFile(dir.file("b.wav")), "a");
    EXPECT_TRUE(KEL_FileDelete(folder.c_str()));
    EXPECT_FALSE(fs::exists(dir.file("Song")));
    EXPECT_TRUE(KEL_FileDelete(kel("b.wav").c_str()));
    EXPECT_FALSE(KEL_FileDelete(kel("b.wav").c_str()));

    // A link to a folder is removed itself, not what it points to.
    fs::create_directory(dir.file("real"));
    writeFile(dir.file("real/keep.wav"), "k");
    fs::create_directory_symlink(dir.file("real"), dir.file("link"));
    EXPECT_TRUE(KEL_FileIsLink((kel("link") + ":").c_str()));
    EXPECT_FALSE(KEL_FileIsLink((kel("real") + ":").c_str()));
    EXPECT_TRUE(KEL_FileDelete((kel("link") + ":").c_str()));  // also named as a folder
    EXPECT_FALSE(fs::exists(dir.file("link")));
    EXPECT_TRUE(fs::exists(dir.file("real/keep.wav")));
}

TEST_F(KelFileOps, NothingWaitsOnAPipeOrADevice)
{
    // Each of these would hold the program until someone wrote to the pipe.
    ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0644), 0);
    kelFileRec ref;
    EXPECT_FALSE(KEL_FileOpenReadOnly(kel("pipe").c_str(), &ref));
    EXPECT_FALSE(KEL_FileOpen(kel("pipe").c_str(), &ref));
    EXPECT_FALSE(KEL_FileCreateAndOpen(kel("pipe").c_str(), &ref));
    kelOffmap picture;
    EXPECT_FALSE(kelQt_imageToOffmap(kel("pipe").c_str(), &picture));
    EXPECT_FALSE(kelQt_PlaySoundStart(kel("pipe").c_str()));
    EXPECT_FALSE(kelQt_soundInfo(kel("pipe").c_str(), nullptr));
    // A device reads for ever.
    EXPECT_FALSE(KEL_FileOpenReadOnly("dev:zero", &ref));
    EXPECT_FALSE(kelQt_soundInfo("dev:zero", nullptr));
    EXPECT_TRUE(fs::is_fifo(dir.file("pipe")));
}
