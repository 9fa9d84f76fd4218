// Virtual mixes made from styles and from groups, their lengths and texts,
// and the user's choices of them kept in the preferences.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <set>
#include <string>

#include "core/kelBytes.h"
#include "core/kelRes.h"
#include "library/BLVMix.h"
#include "library/BLprefs.h"
#include "library/SongTestFiles.h"

namespace {

// Draws answered from a script, counted.
std::deque<int> gDraws;
int gDrawsTaken = 0;
int scripted(uint16_t n)
{
    ++gDrawsTaken;
    if (gDraws.empty()) return 0;
    const int v = gDraws.front();
    gDraws.pop_front();
    return v % n;
}

// Groups "Drums", "Bass", "Keys" ... each of `loops` loops with its own volume and pan.
BLSongLibrary song(int groups, int loops)
{
    BLSongLibrary lib;
    const char* names[] = {"Drums", "Bass", "Keys", "Pad", "Lead", "Perc", "FX", "Vox", "Arp", "Hats"};
    lib.groupCount = static_cast<int16_t>(groups);
    for (int g = 0; g < groups; ++g) {
        BLSongGroup& group = lib.groups[g];
        std::snprintf(group.name, sizeof group.name, "%s", names[g % 10]);
        group.count = static_cast<int16_t>(loops);
        for (int s = 0; s < loops; ++s) {
            group.id[s] = static_cast<uint16_t>(g * 10 + s);
            group.volume[s] = static_cast<int16_t>(90 + s);
            group.pan[s] = static_cast<int16_t>(60 + g);
        }
    }
    return lib;
}

BLStyle style(std::initializer_list<int16_t> columns, std::initializer_list<std::initializer_list<int>> rows)
{
    BLStyle s{};
    s.columnCount = static_cast<int16_t>(columns.size());
    int c = 0;
    for (int16_t g : columns) s.columns[c++] = g;
    int r = 0;
    for (const auto& row : rows) {
        int t = 0;
        for (int cell : row) s.rows[r][t++] = static_cast<int16_t>(cell);
        for (; t < kBLStyleTracks; ++t) s.rows[r][t] = -1;
        ++r;
    }
    s.rowCount = static_cast<int16_t>(r);
    return s;
}

TEST(VMix, ColumnsOfOneGroupDrawAgainRatherThanRepeatALoopUpToTenDraws)
{
    const BLSongLibrary lib = song(2, 3);
    // Columns 0 and 1 both name group 0; column 2 group 1.
    const BLStyle s = style({0, 0, 1}, {{0, 1, 2}, {0, -1, -1}, {-1, -1, -1}, {1, 2}});
    BLSequence out;
    gDraws = {2, 2, 2, 1, 0};
    gDrawsTaken = 0;
    ASSERT_TRUE(BLVMix_build(lib, s, out, nullptr, scripted));
    EXPECT_EQ(gDrawsTaken, 5) << "the second column drew three times";
    EXPECT_EQ(out.grooves[0].tracks[0].slot, 2);
    EXPECT_EQ(out.grooves[0].tracks[1].slot, 1);
    EXPECT_EQ(out.grooves[0].tracks[2].group, 1);

    // Ten draws that all collide: the tenth stands; the next draw is column 2's.
    gDraws = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2};
    gDrawsTaken = 0;
    ASSERT_TRUE(BLVMix_build(lib, s, out, nullptr, scripted));
    EXPECT_EQ(gDrawsTaken, 12);
    EXPECT_EQ(out.grooves[0].tracks[1].slot, 1);
    EXPECT_EQ(out.grooves[0].tracks[2].slot, 2);

    // The grooves: one a row that sounds (the silent row left out), the
    // loops' own volume and pan, ids and list in order, tracks 8 on empty.
    EXPECT_EQ(out.count, 3);
    EXPECT_EQ(out.length, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out.grooves[i].id, i + 1);
        EXPECT_EQ(out.entries[i], i + 1);
        for (int t = 8; t < kBLGrooveTracks; ++t) EXPECT_EQ(out.grooves[i].tracks[t].group, -1);
    }
    EXPECT_EQ(out.grooves[0].tracks[0].volume, 90 + 1);
    EXPECT_EQ(out.grooves[0].tracks[2].pan, 61 - 63);
    EXPECT_EQ(out.grooves[2].tracks[0].slot, 1) << "the fourth row: column 1's loop on track 0";

    // Over many real draws two columns of a three-loop group never share a loop.
    std::srand(7);
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(BLVMix_build(lib, s, out));
        ASSERT_NE(out.grooves[0].tracks[0].slot, out.grooves[0].tracks[1].slot) << i;
    }
}

TEST(VMix, GroupsLeftOutAreSilentAndAStyleOfThemAloneGivesNothing)
{
    const BLSongLibrary lib = song(3, 2);
    const BLStyle s = style({0, 1, 2}, {{0, 1}, {1}, {2}});
    BLVMixGroups off;
    off.off[1] = true;
    BLSequence out;
    ASSERT_TRUE(BLVMix_build(lib, s, out, &off));
    EXPECT_EQ(out.count, 2) << "the row of the bass alone is gone";
    EXPECT_EQ(out.grooves[0].tracks[1].group, -1);
    EXPECT_EQ(out.grooves[1].tracks[0].group, 2);
    off.off[0] = off.off[2] = true;
    EXPECT_FALSE(BLVMix_build(lib, s, out, &off));
    EXPECT_EQ(out.count, 0);
}

TEST(VMix, ASongsGroupsMakeAnArrangementThatComesInPlaysBreaksAndLeaves)
{
    std::srand(3);
    for (int groups : {1, 2, 5, 10}) {
        const BLSongLibrary lib = song(groups, 2);
        BLStyle s;
        BLVMix_groupStyle(lib, s);
        BLSequence out;
        ASSERT_TRUE(BLVMix_build(lib, s, out)) << groups;
        const int tracks = std::min(groups, 8);
        std::set<int16_t> heard;
        int fullest = 0;
        for (int i = 0; i < out.count; ++i) {
            int playing = 0;
            for (int t = 0; t < 8; ++t) {
                const BLTrack& k = out.grooves[i].tracks[t];
                if (k.group < 0) continue;
                ++playing;
                heard.insert(k.group);
                EXPECT_LT(t, tracks);
            }
            EXPECT_GT(playing, 0) << "no silent groove";
            fullest = std::max(fullest, playing);
        }
        EXPECT_EQ(fullest, tracks) << "every track plays together at least once";
        EXPECT_EQ(static_cast<int>(heard.size()), tracks);
        EXPECT_TRUE(heard.count(0)) << "the song's first group always plays";
        if (tracks > 2) {
            int first = 0, last = 0;
            for (int t = 0; t < 8; ++t) {
                first += out.grooves[0].tracks[t].group >= 0;
                last += out.grooves[out.count - 1].tracks[t].group >= 0;
            }
            EXPECT_LT(first, tracks) << "it starts with fewer tracks";
            EXPECT_LT(last, tracks) << "and ends with fewer";
        }
    }
    // Left out groups take no part; with all of them left out, all play.
    const BLSongLibrary lib = song(4, 2);
    BLVMixGroups off;
    off.off[2] = true;
    BLStyle s;
    BLVMix_groupStyle(lib, s, &off);
    for (int c = 0; c < s.columnCount; ++c) EXPECT_NE(s.columns[c], 2);
    for (bool& o : off.off) o = true;
    BLVMix_groupStyle(lib, s, &off);
    EXPECT_EQ(s.columnCount, 8);
}

TEST(VMix, DurationZeroGivesTheListAsGeneratedAndOthersRepeatTheGrooves)
{
    BLSequence s;
    s.count = 3;
    for (int i = 0; i < 3; ++i) s.grooves[i].id = static_cast<uint16_t>(i + 1);
    s.length = 3;
    for (int i = 0; i < 3; ++i) s.entries[i] = static_cast<uint16_t>(i + 1);
    BLVMix_setDuration(s, 5);
    EXPECT_EQ(s.length, 5);
    EXPECT_EQ(s.userLength, 5);
    const uint16_t five[] = {1, 2, 3, 1, 2};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(s.entries[i], five[i]);
    BLVMix_setDuration(s, 2);
    EXPECT_EQ(s.length, 2);
    BLVMix_setDuration(s, 0);
    EXPECT_EQ(s.length, 3);
    EXPECT_EQ(s.userLength, 3) << "the duration becomes the list's length";
    EXPECT_EQ(s.entries[2], 3);
    BLVMix_setDuration(s, 500);
    EXPECT_EQ(s.length, kBLVMixMaxDuration);
}

TEST(VMix, DurationTexts)
{
    char text[32];
    BLVMix_durationText(12, true, 120.0f, text, sizeof text);
    EXPECT_STREQ(text, "96 Bars");
    BLVMix_durationText(12, false, 120.0f, text, sizeof text);
    EXPECT_STREQ(text, "Time 03:12");
    BLVMix_durationText(12, false, 126.0f, text, sizeof text);
    EXPECT_STREQ(text, "Time 03:02") << "182.9 s, truncated";
    BLVMix_durationText(100, false, 70.0f, text, sizeof text);
    EXPECT_STREQ(text, "Time 45:42");
    BLVMix_durationText(3, false, 0.0f, text, sizeof text);
    EXPECT_STREQ(text, "Time --:--");
}

TEST(VMix, ChoicesOfStylesAndGroups)
{
    BLSongLibrary lib = song(3, 1);
    lib.styleCount = 3;
    BLVMixSettings v;
    EXPECT_EQ(v.styleOfSlot(lib, 3), 0) << "three styles: the fourth mix takes the first again";
    v.setStyle(1, false);
    const int16_t expected[] = {0, 2, 0, 2};
    for (int16_t n = 0; n < 4; ++n) EXPECT_EQ(v.styleOfSlot(lib, n), expected[n]);
    v.setStyle(0, false);
    v.setStyle(2, false);
    EXPECT_EQ(v.styleOfSlot(lib, 0), -1) << "no style: the groups";
    lib.styleCount = 0;
    v.styles = 0xF;
    EXPECT_EQ(v.styleOfSlot(lib, 0), -1);

    v.setGroup("BASS", false);
    v.setGroup("bass", false);
    EXPECT_EQ(v.leftOutCount, 1);
    EXPECT_FALSE(v.groupTakesPart("Bass"));
    EXPECT_TRUE(v.groupsOf(lib).off[1]);
    EXPECT_FALSE(v.groupsOf(lib).off[0]);
    v.setGroup("Bass", true);
    EXPECT_EQ(v.leftOutCount, 0);
}

class VMixPrefs : public songtest::ProgramFolder {};

TEST_F(VMixPrefs, TheChoicesAreKeptAndADamagedItemIsNotTaken)
{
    {
        blPrefsClass prefs;
        prefs.vmix.setStyle(2, false);
        prefs.vmix.duration = 6;
        prefs.vmix.setGroup("Vox", false);
        prefs.vmix.setGroup("FX", false);
        ASSERT_TRUE(prefs.save());
    }
    blPrefsClass back;
    back.load();
    EXPECT_EQ(back.vmix.styles, 0xB);
    EXPECT_EQ(back.vmix.duration, 6);
    ASSERT_EQ(back.vmix.leftOutCount, 2);
    EXPECT_FALSE(back.vmix.groupTakesPart("vox"));
    EXPECT_FALSE(back.vmix.groupTakesPart("FX"));

    // A count beyond the names that are there: none of the item is taken.
    KelResFile file;
    ASSERT_TRUE(file.SetWorkName(kBLPrefsFileName));
    ASSERT_TRUE(file.Open());
    uint8_t bytes[6];
    kelPutLE16(bytes, 1);
    kelPutLE16(bytes + 2, 4);
    kelPutLE16(bytes + 4, 3);
    ASSERT_TRUE(file.SaveData(reinterpret_cast<char*>(bytes), 6, kelFourCC("vmxo"), 0));
    ASSERT_TRUE(file.Close());
    blPrefsClass damaged;
    damaged.load();
    EXPECT_EQ(damaged.vmix.styles, 0xF);
    EXPECT_EQ(damaged.vmix.leftOutCount, 0);
    EXPECT_EQ(damaged.interfaceColor, 0);
}

}  // namespace
