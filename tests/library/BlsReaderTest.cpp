// The BLS reader: the record format, the line rules of next and every token rule.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "library/BLBlsParser.h"
#include "library/BLCrypt.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

namespace {

std::string kel(const std::string& system)
{
    char out[kKelPathMax + 1];
    EXPECT_TRUE(KEL_SystemPathToKelPath(system.c_str(), out));
    return out;
}

// A record written by this test's own scrambler, independent of the writer.
std::string record(const std::string& line, uint32_t seed = 4242, int64_t maskedLength = -1)
{
    if (maskedLength < 0) maskedLength = static_cast<int64_t>(line.size()) * 37 + 52817;
    std::string r;
    for (uint32_t v : {seed, static_cast<uint32_t>(maskedLength)})
        for (int i = 0; i < 4; ++i) r += static_cast<char>(v >> (8 * i));
    uint32_t state = seed;
    for (char c : line) {
        state = state * 871346917u + 907633u;
        r += static_cast<char>(static_cast<uint8_t>(c) + (state & 0xFF));
    }
    return r;
}

class BlsReader : public ::testing::Test {
protected:
    TempDir dir{"blsread"};
    std::string path = dir.file("song.bls");
    BLBlsParser p;

    // Writes the records and opens them; the parser stands before the first line.
    void openRecords(const std::string& bytes)
    {
        ASSERT_TRUE(testsupport::writeFile(path, bytes));
        ASSERT_TRUE(p.open(kel(path).c_str()));
    }
    void openLine(const std::string& line)
    {
        openRecords(record(line));
        ASSERT_TRUE(p.next());
    }
    std::vector<std::string> words()
    {
        std::vector<std::string> out;
        char w[64];
        for (int i = 0; i < 20; ++i) {
            if (p.getStr(w)) out.push_back(w);
        }
        return out;
    }
};

TEST(BlsRecord, TheFormatIsFixedToTheByte)
{
    // Descriptions written once must stay readable: the constants are part of the format.
    uint8_t out[20];
    BLCrypt_EncodeRecord("SONGBPM: 120", 12, 12345, out);
    const uint8_t want[20] = {0x39, 0x30, 0x00, 0x00, 0x0D, 0xD0, 0x00, 0x00, 0xC1, 0x26,
                              0x12, 0x0C, 0xEC, 0xD3, 0xED, 0xCB, 0x46, 0xA0, 0xEE, 0xCD};
    EXPECT_EQ(std::memcmp(out, want, 20), 0);
    EXPECT_EQ(record("SONGBPM: 120", 12345), std::string(reinterpret_cast<const char*>(want), 20));

    BLCrypt_MyRandomize(0);
    EXPECT_EQ(BLCrypt_MyRand(), 907633);
    EXPECT_EQ(static_cast<uint32_t>(BLCrypt_MyRand()), 907633u * 871346917u + 907633u);
    int32_t field = 0x01020304;
    BLCrypt_Swap4bytes(&field);
    EXPECT_EQ(field, 0x01020304);  // file order is host order here
}

TEST_F(BlsReader, RecordsComeBackAsLinesUntilTheEnd)
{
    openRecords(record("first line", 1) + record("second", 0xFFFFFFFFu) + record("x", 0));
    ASSERT_TRUE(p.next());
    EXPECT_STREQ(p.currentLine(), "first line");
    ASSERT_TRUE(p.next());
    EXPECT_STREQ(p.currentLine(), "second");
    ASSERT_TRUE(p.next());
    EXPECT_STREQ(p.currentLine(), "x");
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(p.next());
    EXPECT_EQ(p.lastRecord(), BLCryptRecord::end);
}

TEST_F(BlsReader, DamagedAndEmptyRecordsEndTheReadingWithAnEmptyLine)
{
    struct Case {
        const char* what;
        std::string tail;
        BLCryptRecord ends;
        bool lastInFile;
    } cases[] = {
        {"record of length 0", record(""), BLCryptRecord::empty, false},
        {"negative length", record("abc", 1, 52817 - 37), BLCryptRecord::damaged, false},
        {"most negative length", record("abc", 1, 0x80000000u), BLCryptRecord::damaged, false},
        {"length past the file", record("abc", 1, 1000000 * 37 + 52817), BLCryptRecord::damaged, false},
        {"cut in the seed", record("abc").substr(0, 3), BLCryptRecord::damaged, true},
        {"cut in the length", record("abc").substr(0, 6), BLCryptRecord::damaged, true},
        {"cut in the bytes", record("abc").substr(0, 10), BLCryptRecord::damaged, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        p.close();
        openRecords(record("kept") + c.tail + (c.lastInFile ? "" : record("never read")));
        ASSERT_TRUE(p.next());
        EXPECT_STREQ(p.currentLine(), "kept");
        EXPECT_FALSE(p.next());
        EXPECT_EQ(p.lastRecord(), c.ends);
        EXPECT_STREQ(p.currentLine(), "");
        char w[8] = "x";
        EXPECT_FALSE(p.getStr(w));
    }
}

TEST_F(BlsReader, ALeadingLineFeedIsDroppedAndOthersAreSkippedByTokens)
{
    openRecords(record("\nSONG\nTITLE: A\nB ;c") + record("\n\nx") + record("\n"));
    ASSERT_TRUE(p.next());
    EXPECT_STREQ(p.currentLine(), "SONG\nTITLE: A\nB ;c");
    char w[32];
    ASSERT_TRUE(p.getStr(w));
    EXPECT_STREQ(w, "SONGTITLE:");
    ASSERT_TRUE(p.getText(w));
    EXPECT_STREQ(w, "AB ");
    ASSERT_TRUE(p.next());
    EXPECT_STREQ(p.currentLine(), "\nx");  // only the first byte is dropped
    ASSERT_TRUE(p.next());                 // a lone line feed is an empty line, not the end
    EXPECT_STREQ(p.currentLine(), "");
    EXPECT_FALSE(p.next());
}

TEST_F(BlsReader, OnlyTheSpaceSeparatesWords)
{
    openLine("one  two\tthree\rfour  ");
    EXPECT_EQ(words(), (std::vector<std::string>{"one", "two\tthree\rfour"}));

    p.close();
    openLine(" lead word");
    char w[16] = "junk";
    EXPECT_FALSE(p.getStr(w));  // standing on a space: an empty word ...
    EXPECT_STREQ(w, "");
    ASSERT_TRUE(p.getStr(w));  // ... but the spaces are passed
    EXPECT_STREQ(w, "lead");
}

TEST_F(BlsReader, ASemicolonStartsAComment)
{
    openLine("LONGCOMMAND: SONGVMIX: 16 32 name ; the first style");
    EXPECT_EQ(words(), (std::vector<std::string>{"LONGCOMMAND:", "SONGVMIX:", "16", "32", "name"}));
    char w[64] = "junk";
    EXPECT_FALSE(p.getStr(w));
    EXPECT_STREQ(w, "");
    EXPECT_FALSE(p.getText(w));
    EXPECT_STREQ(w, "");

    p.restart();
    ASSERT_TRUE(p.getStr(w));
    EXPECT_STREQ(w, "LONGCOMMAND:");

    p.close();
    openLine("word;comment");
    ASSERT_TRUE(p.getStr(w));
    EXPECT_STREQ(w, "word");
    EXPECT_FALSE(p.getStr(w));
}

TEST_F(BlsReader, TextRunsToTheCommentKeepingSpaces)
{
    openLine("SONGTITLE:  Night  Drive  ; by us");
    char w[64];
    ASSERT_TRUE(p.getStr(w));
    ASSERT_TRUE(p.getText(w));
    EXPECT_STREQ(w, "Night  Drive  ");
    EXPECT_FALSE(p.getText(w));  // the cursor stays on the ';'

    p.close();
    openLine("KEY:");
    ASSERT_TRUE(p.getStr(w));
    EXPECT_FALSE(p.getText(w));
}

TEST_F(BlsReader, StarsAndNumbers)
{
    int16_t s = 99;
    int32_t l = 99;
    openLine("*120");
    EXPECT_TRUE(p.getStar());
    ASSERT_TRUE(p.getShort(&s));
    EXPECT_EQ(s, 120);

    p.close();
    openLine("* 120");
    EXPECT_TRUE(p.getStar());
    s = 99;
    EXPECT_FALSE(p.getShort(&s));  // the star does not pass the space
    EXPECT_EQ(s, 99);
    ASSERT_TRUE(p.getShort(&s));
    EXPECT_EQ(s, 120);
    EXPECT_FALSE(p.getStar());

    p.close();
    openLine("**3 12ab abc -7 +8 2147483647 99999999999 -99999999999 40000 -40000");
    EXPECT_TRUE(p.getStar());
    EXPECT_TRUE(p.getStar());
    EXPECT_FALSE(p.getStar());
    ASSERT_TRUE(p.getLong(&l));
    EXPECT_EQ(l, 3);
    ASSERT_TRUE(p.getShort(&s));
    EXPECT_EQ(s, 12);
    ASSERT_TRUE(p.getShort(&s));
    EXPECT_EQ(s, 0);  // no digits: 0, and still a word
    ASSERT_TRUE(p.getShort(&s));
    EXPECT_EQ(s, -7);
    ASSERT_TRUE(p.getLong(&l));
    EXPECT_EQ(l, 8);
    ASSERT_TRUE(p.getLong(&l));
    EXPECT_EQ(l, 2147483647);
    ASSERT_TRUE(p.getLong(&l));
    EXPECT_EQ(l, INT32_MAX);  // past the range: its limit
    ASSERT_TRUE(p.getLong(&l));
    EXPECT_EQ(l, INT32_MIN);
    ASSERT_TRUE(p.getShort(&s));
    EXPECT_EQ(s, INT16_MAX);
    ASSERT_TRUE(p.getShort(&s));
    EXPECT_EQ(s, INT16_MIN);
    l = 5;
    EXPECT_FALSE(p.getLong(&l));
    EXPECT_EQ(l, 5);
}

TEST_F(BlsReader, LongRecordsAreCutAndTheNextRecordStillReads)
{
    std::string huge(5000, 'a');
    huge[2046] = 'Z';
    huge[2047] = 'Q';
    openRecords(record(std::string(2047, 'b')) + record(huge) + record("after"));
    ASSERT_TRUE(p.next());
    EXPECT_EQ(std::string(p.currentLine()), std::string(2047, 'b'));
    ASSERT_TRUE(p.next());
    EXPECT_EQ(std::strlen(p.currentLine()), 2047u);
    EXPECT_EQ(p.currentLine()[2046], 'Z');
    EXPECT_EQ(p.recordLength(), 5000);
    ASSERT_TRUE(p.next());
    EXPECT_STREQ(p.currentLine(), "after");

    // The record reader cuts to whatever buffer it is given.
    ASSERT_TRUE(testsupport::writeFile(path, record("abcdefgh") + record("xyz")));
    kelFileRec f;
    ASSERT_TRUE(KEL_FileOpenReadOnly(kel(path).c_str(), &f));
    char small[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(BLCrypt_Gets(&f, small, 4), 3);
    EXPECT_STREQ(small, "abc");
    char rest[16];
    EXPECT_EQ(BLCrypt_Gets(&f, rest, sizeof rest), 3);
    EXPECT_STREQ(rest, "xyz");
    EXPECT_EQ(BLCrypt_Gets(&f, rest, sizeof rest), 0);
    KEL_FileClose(&f);
}

TEST_F(BlsReader, WordsLongerThanTheirDestinationAreCut)
{
    const std::string longWord(1500, '7');
    openLine("drums01abcdefghijklmnopqrstuvwxyz0123456789 100 " + longWord + " end");
    char w[32];
    ASSERT_TRUE(p.getStr(w));
    EXPECT_EQ(std::string(w), "drums01abcdefghijklmnopqrstuvwx");  // 31 characters and the terminator
    int16_t v = 0;
    ASSERT_TRUE(p.getShort(&v));
    EXPECT_EQ(v, 100);
    int32_t l = 0;
    ASSERT_TRUE(p.getLong(&l));  // 1023 sevens: past the range
    EXPECT_EQ(l, INT32_MAX);
    ASSERT_TRUE(p.getStr(w));
    EXPECT_STREQ(w, "end");

    p.restart();
    char t[8];
    ASSERT_TRUE(p.getText(t));
    EXPECT_STREQ(t, "drums01");
}

class BlsFolder : public ::testing::Test {
protected:
    TempDir dir{"blsfolder"};
    std::string folder() const { return kel(dir.path()) + ":"; }
    void put(const std::string& name, const std::string& line)
    {
        ASSERT_TRUE(testsupport::writeFile(dir.file(name), record(line)));
    }
    std::string openedLine()
    {
        BLBlsParser p;
        if (!p.openInFolder(folder().c_str())) return "(none)";
        return p.next() ? p.currentLine() : "(empty)";
    }
};

TEST_F(BlsFolder, TheFirstDescriptionOtherThanInfoIsOpened)
{
    put("info.bls", "info");
    EXPECT_EQ(openedLine(), "(none)");
    put("loop.wav", "wave");
    put("notes.txt", "text");
    std::filesystem::create_directory(dir.file("a.bls"));  // a folder is no description
    EXPECT_EQ(openedLine(), "(none)");
    put("SONG.BLS", "capitals");
    EXPECT_EQ(openedLine(), "capitals");
    put("Info.bls", "other info");  // only the exact name is skipped
    EXPECT_EQ(openedLine(), "other info");
}

TEST_F(BlsFolder, AMissingFolderOpensNothing)
{
    BLBlsParser p;
    EXPECT_FALSE(p.openInFolder((folder() + "missing:").c_str()));
    EXPECT_FALSE(p.open(kel(dir.file("none.bls")).c_str()));
    EXPECT_FALSE(p.next());
}

}  // namespace
