#include <gtest/gtest.h>

#include <string>

#include "KelTestPaths.h"
#include "core/kelBytes.h"
#include "core/kelRes.h"
#include "core/kelText.h"
#include "core/kelTextCodec.h"
#include "core/kelTextFile.h"
#include "support/TestSupport.h"

using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::string str(const kelText& t)
{
    return t.c_str();
}

TEST(TextItems, RunsOfSeparatorsCountOnceButIndexEveryGap)
{
    const kelText t("a,,b");
    EXPECT_EQ(t.itemsCount(','), 2);
    EXPECT_EQ(str(t.item(0, ',')), "a");
    EXPECT_EQ(str(t.item(1, ',')), "");
    EXPECT_EQ(str(t.item(2, ',')), "b");
    EXPECT_EQ(str(t.item(3, ',')), "");
    EXPECT_EQ(str(t.items(0, 2, ',')), "a,,b");  // the run between taken items is kept

    EXPECT_EQ(kelText("a\r\rb\r").itemsCount('\r'), 2);
    EXPECT_EQ(kelText("a,b,,").itemsCount(','), 2);
    EXPECT_EQ(kelText("").itemsCount(','), 0);
    EXPECT_EQ(kelText(",").itemsCount(','), 1);
    EXPECT_EQ(kelText("abc").itemsCount(','), 1);
}

TEST(TextItems, ALeadingSeparatorGivesAnEmptyFirstItem)
{
    const kelText t(",a,b");
    EXPECT_EQ(t.itemsCount(','), 3);
    EXPECT_EQ(str(t.item(0, ',')), "");
    EXPECT_EQ(str(t.item(1, ',')), "a");
    EXPECT_EQ(str(t.item(2, ',')), "b");
    EXPECT_EQ(str(kelText(",,a").item(2, ',')), "a");
}

TEST(TextItems, ItemsTakesSeveralAndStopsAtTheEnd)
{
    const kelText t("a,b,,c,d");
    EXPECT_EQ(str(t.items(1, 2, ',')), "b,,c");
    EXPECT_EQ(str(t.items(3, 5, ',')), "c,d");
    EXPECT_EQ(str(t.item(5, ',')), "");
    EXPECT_EQ(str(kelText("x,y").item(5, ',')), "");
    EXPECT_EQ(str(t.items(0, 0, ',')), "");
    EXPECT_EQ(str(t.item(-1, ',')), "");
    // A table: lines by carriage return, fields by comma.
    const kelText table(
        "English,en,9,0\rFran\xe7"
        "ais,fr,12,1\r");
    EXPECT_EQ(table.item(1, '\r').item(2, ',').toLong(), 12);
    EXPECT_TRUE(table.item(2, '\r').isEmpty());
}

TEST(Text, MiddleEqualityAndSimilar)
{
    const kelText t("abcd");
    EXPECT_EQ(str(t.middle(10, 3)), "");
    EXPECT_EQ(str(t.middle(4, 1)), "");
    EXPECT_EQ(str(t.middle(1, 2)), "bc");
    EXPECT_EQ(str(t.middle(2, 10)), "cd");
    EXPECT_EQ(str(t.middle(-1, 2)), "");

    EXPECT_TRUE(kelText("abc").similar("ABC"));
    EXPECT_FALSE(kelText("abc").similar("ABD"));
    EXPECT_FALSE(kelText("abc").similar("ab"));
    EXPECT_FALSE(kelText("\xe9").similar("\xc9"));  // only A to Z fold
    EXPECT_TRUE(t == "abcd");
    EXPECT_FALSE(t == "ABCD");
    EXPECT_TRUE(t.isEqual(kelText("abcd")));
    EXPECT_TRUE(kelText("").isEmpty());
    EXPECT_FALSE(t.isEmpty());
}

TEST(Text, NumbersFormatAndParseLikeTheCLibrary)
{
    kelText t;
    t.set(static_cast<short>(-5));
    EXPECT_EQ(str(t), "-5");
    t.set(123456789L);
    EXPECT_EQ(str(t), "123456789");
    t.set(1.5f);
    EXPECT_EQ(str(t), "1.500000");
    t.addS(7);
    t.addL(-8);
    EXPECT_EQ(str(t), "1.5000007-8");

    EXPECT_EQ(kelText("  -42xyz").toLong(), -42);
    EXPECT_EQ(kelText("+17").toLong(), 17);
    EXPECT_EQ(kelText("abc").toLong(), 0);
    EXPECT_EQ(kelText("").toShort(), 0);
    EXPECT_EQ(kelText("70000").toShort(), 32767);
    EXPECT_EQ(kelText("99999999999999999999").toLong(), 2147483647L);
}

TEST(Text, BuildingGrowsExactlyAndNeverOverruns)
{
    kelText t;
    EXPECT_EQ(t.capacity(), 256u);
    EXPECT_TRUE(t.grow(100));
    EXPECT_EQ(t.capacity(), 256u);
    t.set(std::string(1000, 'x').c_str());
    EXPECT_EQ(t.capacity(), 1001u);
    EXPECT_EQ(t.len(), 1000);

    // Appending a text to itself moves its buffer while copying from it.
    t.add(t);
    EXPECT_EQ(t.len(), 2000);
    EXPECT_EQ(str(t), std::string(2000, 'x'));
    t.setRaw(3, t.c_str() + 1990);
    EXPECT_EQ(str(t), "xxx");

    kelText f;
    f.addfmt("<%s>", static_cast<const char*>(nullptr));
    EXPECT_EQ(str(f), "");
    f.addfmt("<%s>", "hi");
    f.addfmtL(" %05ld", 42L);
    f.addfmtS(" %d", 3);
    EXPECT_EQ(str(f), "<hi> 00042 3");
    const std::string longValue(5000, 'v');
    f.set("");
    f.addfmt("[%s]", longValue.c_str());
    EXPECT_EQ(str(f), "[" + longValue + "]");

    kelText raw;
    raw.setRaw(3, "abcdef");
    raw.addRaw(2, "xyz");
    raw.addChar('!');
    EXPECT_EQ(str(raw), "abcxy!");
    kelText copy(raw);
    raw.set("changed");
    EXPECT_EQ(str(copy), "abcxy!");
}

class TextFileTest : public ::testing::Test {
protected:
    TempDir dir{"textfile"};
};

TEST_F(TextFileTest, LoadsWholeFilesAsTheyStand)
{
    const std::string path = dir.file("t.txt");
    kelTextFile t;
    ASSERT_TRUE(writeFile(path, ""));
    t.set("old");
    EXPECT_TRUE(t.load(kelPathOf(path).c_str()));
    EXPECT_TRUE(t.isEmpty());

    ASSERT_TRUE(writeFile(path, "line 1\r\nline 2\n"));
    EXPECT_TRUE(t.load(kelPathOf(path).c_str()));
    EXPECT_EQ(str(t), "line 1\r\nline 2\n");

    t.set("kept");
    EXPECT_FALSE(t.load(kelPathOf(dir.file("missing.txt")).c_str()));
    EXPECT_EQ(str(t), "kept");
}

TEST_F(TextFileTest, SaveReplacesTheFileWhole)
{
    const std::string path = dir.file("out.txt");
    ASSERT_TRUE(writeFile(path, "a much longer old content"));
    kelTextFile t("new\rtext");
    ASSERT_TRUE(t.save(kelPathOf(path).c_str()));
    EXPECT_EQ(readFile(path), "new\rtext");
    EXPECT_FALSE(KEL_FileExists(kelPathOf(path + ".part").c_str()));
    EXPECT_FALSE(t.save(kelPathOf(dir.file("no-folder/out.txt")).c_str()));
}

TEST_F(TextFileTest, LoadsAndSavesResourceItems)
{
    KelResFile res;
    ASSERT_TRUE(res.SetWorkName(kelPathOf(dir.file("r.xrs")).c_str()));
    ASSERT_TRUE(res.Create());
    kelTextFile t("one\rtwo\r");
    ASSERT_TRUE(t.saveResource(&res, kelFourCC("TEXT"), 5));
    kelTextFile back;
    ASSERT_TRUE(back.loadResource(&res, kelFourCC("TEXT"), 5));
    EXPECT_EQ(str(back), "one\rtwo\r");
    back.set("kept");
    EXPECT_FALSE(back.loadResource(&res, kelFourCC("TEXT"), 6));
    EXPECT_EQ(str(back), "kept");
    kelTextFile empty("");
    ASSERT_TRUE(empty.saveResource(&res, kelFourCC("TEXT"), 7));
    EXPECT_TRUE(back.loadResource(&res, kelFourCC("TEXT"), 7));
    EXPECT_TRUE(back.isEmpty());
}

TEST(TextCodec, LatinOneAndUtf8MeetInOnePlace)
{
    EXPECT_EQ(KEL_Latin1ToUtf8("Fran\xe7"
                               "ais \xab"
                               "x\xbb"),
              "Français «x»");
    EXPECT_EQ(KEL_Latin1ToUtf8("Song\xc9"), "Song…");  // the skin font's ellipsis
    std::string out, error;
    ASSERT_TRUE(KEL_Utf8ToLatin1("Français…", out, &error));
    EXPECT_EQ(out,
              "Fran\xe7"
              "ais\xc9");

    EXPECT_FALSE(KEL_Utf8ToLatin1("ok\nÉcran", out, &error));
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_FALSE(KEL_Utf8ToLatin1("\xe2\x82\xac", out, &error));  // the euro sign has no code
    EXPECT_NE(error.find("U+20AC"), std::string::npos) << error;
    for (const char* bad : {"\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xff", "a\x80"}) {
        EXPECT_FALSE(KEL_Utf8ToLatin1(bad, out, &error)) << bad;
        EXPECT_NE(error.find("not valid UTF-8"), std::string::npos);
    }

    std::string table;
    ASSERT_TRUE(
        KEL_TextSourceToTable("\xEF\xBB\xBF"
                              "one\r\ntwo\nthr\xc3\xa9"
                              "e\n",
                              table, &error));
    EXPECT_EQ(table,
              "one\rtwo\rthr\xe9"
              "e\r");
    EXPECT_EQ(KEL_TableToTextSource(table), "one\ntwo\nthrée\n");
    EXPECT_FALSE(KEL_TextSourceToTable(std::string("a\0b", 3), table, &error));
}

}  // namespace
