// The kelPath class: text operations, extensions, and the files it names.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "core/FileTestUtil.h"
#include "core/kelPath.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using filetest::kelOf;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

TEST(KelPath, SetAndAddNeverOverflowAndReportTheCut)
{
    kelPath p;
    EXPECT_STREQ(p.path, "");
    const std::string big(3000, 'a');
    EXPECT_FALSE(p.set(big.c_str()));
    EXPECT_EQ(std::strlen(p.path), static_cast<size_t>(kKelPathMax));

    EXPECT_TRUE(p.set(std::string(2040, 'b').c_str()));
    EXPECT_FALSE(p.add("12345678"));
    EXPECT_EQ(std::string(p.path), std::string(2040, 'b') + "1234567");

    // Appending a path to itself doubles it, cut at the same limit.
    kelPath q(":a:");
    EXPECT_TRUE(q.add(&q));
    EXPECT_STREQ(q.path, ":a::a:");
    EXPECT_TRUE(q.set(q.path + 3));
    EXPECT_STREQ(q.path, ":a:");

    kelPath other(":Library:");
    p.reset();
    EXPECT_STREQ(p.path, "");
    EXPECT_TRUE(p.set(other));
    EXPECT_TRUE(p.add("Song:"));
    EXPECT_STREQ(p.path, ":Library:Song:");
    EXPECT_TRUE(p.set(static_cast<const char*>(nullptr)));
    EXPECT_STREQ(p.path, "");
}

TEST(KelPath, NamesAndExtensions)
{
    kelPath p(":Library:Song:loop.01.wav");
    char out[kKelNameMax + 1];
    EXPECT_TRUE(p.getName(out));
    EXPECT_STREQ(out, "loop.01.wav");
    EXPECT_TRUE(p.getNameWithoutExtension(out));
    EXPECT_STREQ(out, "loop.01");
    EXPECT_TRUE(p.parentName(out));
    EXPECT_STREQ(out, "Song");

    p.stripExtension();
    EXPECT_STREQ(p.path, ":Library:Song:loop.01");

    // The only '.' lies in a folder name: nothing to strip.
    kelPath folderDot(":My.Songs:take");
    folderDot.stripExtension();
    EXPECT_STREQ(folderDot.path, ":My.Songs:take");
    EXPECT_TRUE(folderDot.setExtension("bld"));
    EXPECT_STREQ(folderDot.path, ":My.Songs:take.bld");
    EXPECT_TRUE(folderDot.setExtension(".wav"));
    EXPECT_STREQ(folderDot.path, ":My.Songs:take.wav");

    EXPECT_TRUE(p.setName("other.wav"));
    EXPECT_STREQ(p.path, ":Library:Song:other.wav");
    p.stripName();
    EXPECT_STREQ(p.path, ":Library:Song:");
    EXPECT_TRUE(p.parent());
    EXPECT_STREQ(p.path, ":Library:");

    kelPath untitled("Untitled");
    EXPECT_TRUE(untitled.setExtension("bld"));
    EXPECT_STREQ(untitled.path, "Untitled.bld");
}

TEST(KelPath, EqualityIgnoresTheCaseOfAsciiLettersOnly)
{
    kelPath a(":Library:Song:Take.WAV");
    kelPath b(":library:song:take.wav");
    kelPath c(":library:song:take.wa");
    EXPECT_TRUE(a.isEqual(&b));
    EXPECT_FALSE(a.isEqual(&c));
    EXPECT_FALSE(c.isEqual(&a));
    EXPECT_FALSE(a.isEqual(nullptr));
    kelPath accented(":\xC3\x89t\xC3\xA9"), lowered(":\xC3\xA9t\xC3\xA9");
    EXPECT_FALSE(accented.isEqual(&lowered));
}

TEST(KelPath, DotNamesAreHidden)
{
    EXPECT_TRUE(kelPath(":Library:.cache").isHidden());
    EXPECT_TRUE(kelPath(":Library:.git:").isHidden());
    EXPECT_FALSE(kelPath(":Library:Song:").isHidden());
    EXPECT_TRUE(kelPath(":Library:song.wav").isVisible());
}

TEST(KelPath, ConversionFailureLeavesNoStaleText)
{
    kelPath p(":old:path.bld");
    EXPECT_FALSE(p.fromSystemPath("/home/me/odd:name.bld"));
    EXPECT_STREQ(p.path, "");
    EXPECT_TRUE(p.fromSystemPath("/home/me/song.bld"));
    EXPECT_STREQ(p.path, "home:me:song.bld");
    char system[kKelSystemPathMax + 1];
    EXPECT_TRUE(p.toSystemPath(system));
    EXPECT_STREQ(system, "/home/me/song.bld");
}

TEST(KelPath, FileOperations)
{
    TempDir dir("kelpath");
    writeFile(dir.file("a.wav"), "12345");
    kelPath a(kelOf(dir.file("a.wav")).c_str());
    kelPath folder((kelOf(dir.path()) + ":").c_str());
    EXPECT_TRUE(a.exists());
    EXPECT_EQ(a.length(), 5);
    EXPECT_TRUE(a.isDocument());
    EXPECT_FALSE(a.isFolder());
    EXPECT_TRUE(folder.isFolder());
    EXPECT_EQ(folder.length(), 0);

    kelPath b(folder);
    b.add("b.wav");
    EXPECT_TRUE(a.copyTo(&b));
    EXPECT_EQ(readFile(dir.file("b.wav")), "12345");

    const std::string moved = kelOf(dir.file("c.wav"));
    EXPECT_TRUE(b.rename(moved.c_str()));
    EXPECT_STREQ(b.path, (kelOf(dir.path()) + ":b.wav").c_str());  // keeps its old text
    EXPECT_FALSE(b.exists());
    EXPECT_TRUE(fs::exists(dir.file("c.wav")));

    kelPath sub(folder);
    sub.add("Sub:");
    EXPECT_TRUE(sub.create());
    EXPECT_FALSE(sub.create());
    EXPECT_TRUE(sub.remove());
    EXPECT_FALSE(sub.exists());

    // Kinds by code or text are not kept on this system.
    EXPECT_FALSE(a.isKind("wav"));
    EXPECT_FALSE(a.moveTo(moved.c_str()));
    EXPECT_TRUE(a.exists());
}

TEST(KelPath, DialogTypesDefaultToEveryFile)
{
    kelPath p;
    p.userDialogTypes(0, 0, 0, 0, "*.bld");
    EXPECT_EQ(KEL_FileDialogOpenTypes(), "*.bld");
    p.userDialogTypes(0, 0, 0, 0, nullptr);
    EXPECT_EQ(KEL_FileDialogOpenTypes(), "*.*");
}
