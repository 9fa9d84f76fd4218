// The virtual mix panel over a groove panel without layouts: mixes chained
// at the end of their lists in each order without the engine stopping, their
// lengths, the track lights, the hand-over to the groove panel, and the
// random-mix options.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "GroovePanelFixture.h"
#include "library/BLprefs.h"
#include "panels/vmix/BLRandMixPanel.h"
#include "panels/vmix/BLVMixPanel.h"

namespace {

using groovepanel::QuietEngine;
using groovepanel::RecordingEngine;

class VMixPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = blPrefs.vmix;
        savedFile = blPrefs.fileName;
        blPrefs.fileName = prefsFile.c_str();
        blPrefs.vmix = BLVMixSettings{};
        blPrefs.vmix.duration = 1;  // one list entry a mix: a chain at every cycle
        std::srand(11);
        player.setEngine(&beats);
        grooves.connected();
        grooves.onPanelOpened();
        BLSongLibrary& lib = grooves.controller().model.library();
        lib.groupCount = 4;
        for (int g = 0; g < 4; ++g) {
            BLSongGroup& group = lib.groups[g];
            std::snprintf(group.name, sizeof group.name, "Group%d", g);
            group.count = 6;
            for (int s = 0; s < 6; ++s) {
                group.id[s] = static_cast<uint16_t>(g * 6 + s);
                group.volume[s] = 100;
                group.pan[s] = 63;
            }
        }
        lib.styleCount = 2;
        for (int16_t s = 0; s < 2; ++s) {
            BLStyle& style = lib.styles[s];
            std::snprintf(style.name, sizeof style.name, "Style%d", s);
            style.columnCount = 4;
            for (int16_t c = 0; c < 4; ++c) style.columns[c] = c;
            style.rowCount = 3;
            for (int r = 0; r < 3; ++r)
                for (int t = 0; t < 8; ++t) style.rows[r][t] = static_cast<int16_t>(t <= r + s ? t % 4 : -1);
        }
        grooves.controller().model.songFolder.set(":Library:Song:Test:");
        player.gotSongBpm(120);
        vmix.connected();
        vmix.onPanelOpened();
    }
    void TearDown() override
    {
        blPrefs.vmix = saved;
        blPrefs.fileName = savedFile;
    }

    // One groove cycle of sequence play: the sync point, then the next start.
    void cycle()
    {
        beats.beat = 23;
        player.idle();
        beats.beat = 0;
        player.idle();
    }
    int stops() const
    {
        int n = 0;
        for (const std::string& c : engine.calls) n += c == "stop";
        return n;
    }

    BLVMixSettings saved;
    const char* savedFile = nullptr;
    testsupport::TempDir folder{"vmix"};
    std::string prefsFile = folder.file("Beatloom.prf");
    QuietEngine beats;
    BLPlayer player;
    RecordingEngine engine;
    BLGrooveController groove{&player, &engine};
    BLGroovePanel grooves{groove};
    BLVMixPanel vmix{&player, &grooves};
};

TEST_F(VMixPanelTest, MixesChainAtTheEndOfTheirListsInEachOrderWhileTheEngineGoesOn)
{
    vmix.beforeShow();
    ASSERT_EQ(player.display, &vmix);
    EXPECT_STREQ(vmix.slotName[2], "Style0 2") << "two styles make four mixes";
    vmix.onItem_vmix(0);
    ASSERT_TRUE(player.playing && player.sequenceMode);
    engine.calls.clear();

    // Neither order: the same mix again.
    for (int i = 0; i < 3; ++i) cycle();
    EXPECT_EQ(vmix.currentSlot, 0);
    EXPECT_EQ(vmix.chains, 3);
    EXPECT_EQ(grooves.controller().model.current, vmix.slots[0].grooves[0]);

    vmix.setListOrder(true);
    for (int16_t expected : {1, 2, 3, 0, 1}) {
        cycle();
        EXPECT_EQ(vmix.currentSlot, expected);
        EXPECT_EQ(grooves.controller().model.current, vmix.slots[expected].grooves[0])
            << "its first groove comes next";
        EXPECT_EQ(vmix.playingEntry, 0);
    }

    vmix.setRandomOrder(true);
    EXPECT_FALSE(vmix.listOrder);
    bool seen[4] = {};
    for (int i = 0; i < 20; ++i) {
        const int16_t before = vmix.currentSlot;
        cycle();
        EXPECT_NE(vmix.currentSlot, before);
        seen[vmix.currentSlot] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1] && seen[2] && seen[3]);

    // Radio: the same mix made anew each time round.
    vmix.setRandomOrder(false);
    vmix.setRegenerate(true);
    const BLSequence first = vmix.slots[vmix.currentSlot];
    bool changed = false;
    for (int i = 0; i < 6; ++i) {
        cycle();
        for (int g = 0; g < first.count; ++g)
            changed = changed || !(vmix.slots[vmix.currentSlot].grooves[g] == first.grooves[g]);
    }
    EXPECT_TRUE(changed);

    EXPECT_EQ(stops(), 0) << "nothing stops the engine between mixes";
    EXPECT_TRUE(player.playing);
    beats.beat = 13;
    player.idle();
    EXPECT_STREQ(vmix.positionText, "35:04:02") << "34 cycles done";
}

TEST_F(VMixPanelTest, LengthsOfAMixAndTheirTexts)
{
    vmix.beforeShow();
    BLSequence& mix = vmix.slots[0];
    ASSERT_EQ(mix.count, 3);
    EXPECT_EQ(mix.length, 1);
    vmix.onItem_duration(0);
    EXPECT_EQ(mix.length, 3) << "as generated";
    EXPECT_EQ(mix.userLength, 3);
    EXPECT_EQ(grooves.controller().model.stored.length, 3);
    vmix.setBars(true);
    EXPECT_STREQ(vmix.durationText, "24 Bars");
    vmix.onItem_duration(7);
    EXPECT_EQ(grooves.controller().model.stored.entries[6], 1);
    vmix.setBars(false);
    player.hitBpmUp(0.2f);
    EXPECT_STREQ(vmix.durationText, "Time 01:51") << "the time follows the tempo";

    // A mix shortened while it plays ends at its new end.
    vmix.onItem_vmix(0);
    cycle();
    cycle();
    vmix.onItem_duration(2);
    cycle();
    EXPECT_EQ(vmix.chains, 1);
}

TEST_F(VMixPanelTest, TrackLightsAndTheHandOverToTheGroovePanel)
{
    grooves.controller().model.stored.count = 1;
    grooves.controller().model.stored.grooves[0].id = 9;
    grooves.controller().model.stored.length = 1;
    grooves.controller().model.stored.entries[0] = 9;
    grooves.controller().model.current.tracks[5] = BLTrack{50, 0, 1, 1};
    const BLSequence mine = grooves.controller().model.stored;
    const BLGroove myGroove = grooves.controller().model.current;

    vmix.beforeShow();
    vmix.onItem_duration(2);
    vmix.onItem_vmix(0);
    // Row 0 of style 0 plays track 0 only.
    EXPECT_EQ(vmix.lights[0], 1);
    for (int t = 1; t < 8; ++t) EXPECT_EQ(vmix.lights[t], -(t + 1));
    cycle();
    EXPECT_EQ(vmix.lights[1], 2) << "the second groove plays tracks 0 and 1";

    vmix.onItem_switchToGroove(false);
    EXPECT_FALSE(player.playing);
    EXPECT_EQ(vmix.lights[0], -1);
    EXPECT_EQ(player.display, static_cast<BLPlayCommon*>(&grooves));
    EXPECT_EQ(grooves.controller().model.stored.length, 2);
    EXPECT_EQ(grooves.controller().model.stored.count, 2) << "cut to the grooves the list plays";
    EXPECT_EQ(grooves.controller().model.stored.grooves[1], vmix.slots[0].grooves[1]);

    // Back again, and this time the user's own sequence and groove return.
    grooves.controller().model.stored = mine;
    grooves.controller().model.current = myGroove;
    vmix.beforeShow();
    vmix.onItem_vmix(1);
    vmix.onItem_switchToGroove(true);
    EXPECT_EQ(grooves.controller().model.stored.count, 1);
    EXPECT_EQ(grooves.controller().model.stored.entries[0], 9);
    EXPECT_EQ(grooves.controller().model.current, myGroove);
    EXPECT_EQ(grooves.controller().sequencePosition(), -1);

    // A document opened while the mix shows (it takes the place of the work
    // held aside) is what comes back.
    vmix.beforeShow();
    grooves.controller().model.releaseWork(false);
    grooves.controller().model.lastDocument.set("other.bld");
    grooves.controller().model.stored.entries[0] = 7;
    grooves.controller().model.stored.grooves[0].id = 7;
    vmix.onIdle();
    EXPECT_EQ(grooves.controller().model.stored.count, vmix.slots[0].count) << "the mix shows again";
    vmix.onItem_switchToGroove(true);
    EXPECT_EQ(grooves.controller().model.stored.entries[0], 7);
}

TEST_F(VMixPanelTest, ASongWithoutStylesAndTheRandomMixOptions)
{
    BLSongLibrary& lib = grooves.controller().model.library();
    lib.styleCount = 0;
    vmix.beforeShow();
    for (const BLSequence& s : vmix.slots) EXPECT_GT(s.count, 0) << "mixes of the groups";

    // The options: a group left out (never the last), a style left out; on
    // closing, the mixes are made anew without it.
    lib.styleCount = 2;
    BLRandMixPanel options(&lib);
    options.beforeShow();
    options.toggleGroup(2);
    options.toggleStyle(1);
    for (int16_t g : {0, 1, 3}) options.toggleGroup(g);
    EXPECT_TRUE(blPrefs.vmix.groupTakesPart("Group3")) << "the last group taking part stays";
    options.setLength(0);
    options.close();
    for (const BLSequence& s : vmix.slots) {
        EXPECT_EQ(s.length, s.count) << "as written";
        for (int g = 0; g < s.count; ++g)
            for (int t = 0; t < 8; ++t) {
                const int16_t group = s.grooves[g].tracks[t].group;
                EXPECT_TRUE(group == -1 || group == 3) << group;
            }
    }
    EXPECT_STREQ(vmix.slotName[1], "Style0 2") << "style 1 takes no part";
    options.allGroups();
    EXPECT_EQ(blPrefs.vmix.leftOutCount, 0);

    // Another song opened while the mix shows: mixes of its own.
    grooves.controller().model.songFolder.set(":Library:Song:Other:");
    vmix.onIdle();
    EXPECT_STREQ(vmix.songFolder, ":Library:Song:Other:");
}

}  // namespace
