// Descriptions beyond the model's limits load safely: excess dropped, texts
// cut, numbers brought into range, and the reading stays in step.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "library/BLSongLibrary.h"
#include "library/SongTestFiles.h"

using namespace songtest;
using testsupport::join;

namespace {

class SongLimits : public ProgramFolder {
protected:
    std::vector<std::string> header(const std::string& title = "T", const std::string& description = "D")
    {
        return {std::string(kBLSFormatKeyword) + " BLS 1.2",
                "SONGLIBRARY: L",
                "SONGTITLE: " + title,
                "SONGDESCRIPTION: " + description,
                "SONGBPM: 100",
                "SONGMIX: 0",
                "ARPNOTE: C"};
    }
    void load(const std::vector<std::string>& lines)
    {
        writeDescription(songFolder("S") + "/s.bls", lines);
        ASSERT_TRUE(lib->load(songKel("S").c_str()));
    }
    std::unique_ptr<BLSongLibrary> lib = std::make_unique<BLSongLibrary>();
};

TEST_F(SongLimits, GroupsAndSlotsBeyondTheModel)
{
    auto lines = header();
    lines.push_back("LONGCOMMAND: CATEGORYLIST: 40");
    for (int g = 0; g < 40; ++g) lines.push_back(join("g", g));
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: SONGTRACKS: 9");
    lines.push_back("g0 100 63 1 first");
    lines.push_back("g39 01 100 63 1 beyond");  // group "g": no free record
    lines.push_back("extra01 100 63 1 new");    // no free group record
    lines.push_back("g165 100 63 1 slot65");    // g1 slot 65
    lines.push_back("g100 100 63 1 slot0");     // g1 slot "00"
    lines.push_back("g1x1 100 63 1 letters");
    lines.push_back("07 100 63 1 short");
    lines.push_back(std::string(40, 'w') + "01 100 63 1 long");
    lines.push_back("g164 100 63 1 slot64");
    lines.push_back("ENDCOMMAND:");
    load(lines);

    EXPECT_EQ(lib->groupCount, 32);
    EXPECT_STREQ(lib->groups[31].name, "g31");
    EXPECT_EQ(lib->getGroupIndex("g32"), -1);
    EXPECT_EQ(lib->getGroupIndex("extra"), -1);
    EXPECT_EQ(lib->sampleCount, 9);      // every line keeps its id, filed or not
    EXPECT_EQ(lib->groups[0].count, 0);  // "g0" is too short to hold a name and a number
    const BLSongGroup& g1 = lib->groups[1];
    ASSERT_EQ(g1.count, 64);
    EXPECT_EQ(g1.id[63], 8);
    EXPECT_STREQ(g1.label[63], "slot64");
    for (int s = 0; s < 63; ++s) EXPECT_EQ(g1.id[s], kBLNoSample) << s;
    int16_t group = -5, slot = -5;
    for (uint16_t id : {0, 1, 2, 3, 4, 5, 6, 7})
        EXPECT_EQ(lib->getGroupAndIndex(id, &group, &slot), nullptr) << id;
    EXPECT_EQ(group, -5);
}

TEST_F(SongLimits, TextsAndNumbersOutOfRange)
{
    const std::string longText(300, 'x');
    std::vector<std::string> lines = {std::string(kBLSFormatKeyword) + " BLS 1.2", "SONGLIBRARY: " + longText,
                                      "SONGTITLE: " + longText, "SONGDESCRIPTION: " + longText};
    for (int i = 0; i < 10; ++i) lines.push_back(std::string(2000, 'd'));  // past the field
    lines.push_back("SONGBPM: 99999999");
    lines.push_back("SONGMIX: 0");
    lines.push_back("ARPNOTE: " + longText);
    lines.push_back("LONGCOMMAND: CATEGORYLIST: 1");
    lines.push_back(std::string(50, 'n'));
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: RANDOMSET: 1");
    lines.push_back(std::string(100, 'r') + " 3 a b c");
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: SONGTRACKS: 2");
    lines.push_back("bass01 -5 300 99 " + longText);
    lines.push_back("bass02 1000 -300 -4");
    lines.push_back("ENDCOMMAND:");
    load(lines);

    EXPECT_EQ(std::strlen(lib->title), 63u);
    EXPECT_EQ(std::strlen(lib->libraryName), 63u);
    EXPECT_EQ(std::strlen(lib->arpNotes), 63u);
    EXPECT_EQ(std::strlen(lib->description), 2047u);
    EXPECT_EQ(lib->bpm, 32767);
    EXPECT_EQ(std::strlen(lib->groups[0].name), 31u);
    EXPECT_EQ(std::strlen(lib->randomSets[0].name), 63u);
    const int16_t bass = lib->getGroupIndex("bass");
    ASSERT_GE(bass, 0);
    const BLSongGroup& g = lib->groups[bass];
    EXPECT_EQ(g.volume[0], 0);
    EXPECT_EQ(g.pan[0], 126);
    EXPECT_EQ(g.repeats[0], 32);
    EXPECT_EQ(std::strlen(g.label[0]), 31u);
    EXPECT_EQ(g.volume[1], 127);
    EXPECT_EQ(g.pan[1], 0);
    EXPECT_EQ(g.repeats[1], 1);
}

TEST_F(SongLimits, RandomSetsAndStylesBeyondTheModel)
{
    auto lines = header();
    lines.push_back("LONGCOMMAND: CATEGORYLIST: 2");
    lines.push_back("a");
    lines.push_back("b");
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: RANDOMSET: 12");
    for (int r = 0; r < 12; ++r) lines.push_back(join("set", r, " 12 a b a b a b a b a b a b"));
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: SONGTRACKS: 1");
    lines.push_back("a01 100 63 1 x");
    lines.push_back("ENDCOMMAND:");
    for (int s = 0; s < 6; ++s) {
        lines.push_back(join("LONGCOMMAND: SONGVMIX: 40 70 style", s));
        for (int c = 0; c < 40; ++c) lines.push_back(c % 2 ? "b" : "a");
        for (int r = 0; r < 70; ++r) lines.push_back(join(r % 45 - 2, " 35 31 0 -7 1 2 3"));
        lines.push_back("ENDCOMMAND:");
    }
    load(lines);

    EXPECT_EQ(lib->randomSetCount, 8);
    EXPECT_STREQ(lib->randomSets[7].name, "Set7");
    EXPECT_EQ(lib->randomSets[7].count, 8);
    EXPECT_EQ(lib->randomSets[7].groups[7], 1);
    EXPECT_EQ(lib->sampleCount, 1);  // the reading stayed in step past the extra sets
    ASSERT_EQ(lib->styleCount, 4);
    const BLStyle& style = lib->styles[3];
    EXPECT_STREQ(style.name, "Style3");
    EXPECT_EQ(style.columnCount, 32);
    EXPECT_EQ(style.rowCount, 64);
    EXPECT_EQ(style.columns[31], 1);
    EXPECT_EQ(style.rows[0][0], -1);  // -2: no column
    EXPECT_EQ(style.rows[1][0], -1);  // -1: silent
    EXPECT_EQ(style.rows[2][0], 0);
    EXPECT_EQ(style.rows[0][1], -1);  // column 35 of 32 kept
    EXPECT_EQ(style.rows[0][2], 31);
    EXPECT_EQ(style.rows[0][4], -1);
    EXPECT_EQ(style.rows[63][0], 16);
}

TEST_F(SongLimits, AStyleBlockNotClosedIsNotCounted)
{
    auto lines = header();
    lines.push_back("LONGCOMMAND: CATEGORYLIST: 1");
    lines.push_back("a");
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: RANDOMSET: 0");
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: SONGTRACKS: 0");
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: SONGVMIX: 1 1 good");
    lines.push_back("a");
    lines.push_back("0 0 0 0 0 0 0 0");
    lines.push_back("ENDCOMMAND:");
    lines.push_back("LONGCOMMAND: SONGVMIX: 1 30000 huge");
    lines.push_back("a");
    lines.push_back("0 0 0 0 0 0 0 0");
    load(lines);
    EXPECT_EQ(lib->styleCount, 1);
    EXPECT_STREQ(lib->styles[1].name, "");
    EXPECT_EQ(lib->styles[1].rowCount, 0);
}

}  // namespace
