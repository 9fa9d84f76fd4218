// The groove panel's rules: modes, relative volume, keeping, emptying, the
// random grooves, the lights and colours, the meters.
#include <memory>

#include "panels/groove/BLGrooveItems.h"
#include "platform/PlatHeadless.h"
#include "platform/Platform.h"
#include "tests/panels/GroovePanelFixture.h"

namespace groovepanel {
namespace {

TEST_F(GroovePanelTest, GroupModeMovesEveryMemberRelativelyAndBack)
{
    fillGroove();
    panel.controller().model.current.tracks[1].volume = 100;
    panel.controller().model.current.tracks[3].volume = 20;
    panel.controller().model.current.tracks[0].volume = 50;
    panel.controller().setGroupMode(true);
    EXPECT_EQ(panel.volumeControl(), 64);
    panel.onItem_trackButton(1);
    panel.onItem_trackButton(3);
    EXPECT_TRUE(panel.controller().affected(1));
    EXPECT_FALSE(panel.controller().affected(0));

    auto moveTo = [&](int16_t v) {
        panel.setVolumeControl(v);
        panel.onItem_volume();
    };
    moveTo(74);
    EXPECT_EQ(panel.controller().model.current.tracks[1].volume, 120);
    EXPECT_EQ(panel.controller().model.current.tracks[3].volume, 40);
    moveTo(100);
    EXPECT_EQ(panel.controller().model.current.tracks[1].volume, 127);
    EXPECT_EQ(panel.controller().model.current.tracks[3].volume, 92);
    EXPECT_EQ(engine.volumes[1], 127);
    EXPECT_EQ(engine.volumes[3], 92);
    moveTo(64);
    EXPECT_EQ(panel.controller().model.current.tracks[1].volume, 100);
    EXPECT_EQ(panel.controller().model.current.tracks[3].volume, 20);
    EXPECT_EQ(panel.controller().model.current.tracks[0].volume, 50) << "a track outside the group stays";
    char label[16];
    panel.labelValue(grooveitem::volumeLabel, label, sizeof label);
    EXPECT_STREQ(label, "0");

    // Back out of group mode, the controls show the selected track again.
    panel.controller().setGroupMode(false);
    EXPECT_EQ(panel.volumeControl(), 50);
}

TEST_F(GroovePanelTest, GroupAndAllModesNeverHoldTogether)
{
    panel.onItem_group();
    EXPECT_TRUE(panel.controller().groupMode);
    panel.onItem_all();
    EXPECT_TRUE(panel.controller().allMode);
    EXPECT_FALSE(panel.controller().groupMode);
    panel.onItem_group();
    EXPECT_FALSE(panel.controller().allMode);
    EXPECT_TRUE(panel.controller().groupMode);
    // Selecting a track switches all mode off.
    panel.onItem_group();
    panel.onItem_all();
    panel.onItem_trackButton(4);
    EXPECT_FALSE(panel.controller().allMode);
    EXPECT_EQ(panel.controller().model.selectedTrack, 4);
}

TEST_F(GroovePanelTest, RandomSetLevelLeavesTheTracksBeyondItEmpty)
{
    blPrefs.randomLevels[0] = 4;
    BLSongLibrary& lib = panel.controller().model.library();
    lib.randomSetCount = 1;
    BLRandomSet& set = lib.randomSets[0];
    set.count = 6;
    const int16_t groups[6] = {5, 4, 3, 2, 1, 0};
    std::copy(groups, groups + 6, set.groups);
    std::snprintf(set.name, sizeof set.name, "House");
    fillGroove();
    panel.onItem_keep(6);  // kept: untouched
    const BLTrack kept = panel.controller().model.current.tracks[6];

    panel.randomize(0);
    for (int16_t t = 0; t < 4; ++t) {
        EXPECT_EQ(panel.controller().model.current.tracks[t].group, groups[t]) << "track " << t;
        EXPECT_GE(panel.controller().model.current.tracks[t].slot, 0);
        EXPECT_LT(panel.controller().model.current.tracks[t].slot, kSlots);
        const int16_t slot = panel.controller().model.current.tracks[t].slot;
        EXPECT_EQ(panel.controller().model.current.tracks[t].volume, 80 + slot);
        EXPECT_EQ(panel.controller().model.current.tracks[t].pan, slot);
    }
    for (int16_t t : {4, 5, 7})
        EXPECT_EQ(panel.controller().model.current.tracks[t].group, -1) << "track " << t;
    EXPECT_EQ(panel.controller().model.current.tracks[6], kept);
    EXPECT_STREQ(panel.randomNameText, "House");
    EXPECT_EQ(panel.controller().randomSet(), 0);
    EXPECT_TRUE(player.playing) << "a random groove plays";
}

TEST_F(GroovePanelTest, RandomSetEntryMinusOnePicksAGroupAtRandom)
{
    blPrefs.randomLevels[1] = 7;
    BLSongLibrary& lib = panel.controller().model.library();
    lib.randomSetCount = 2;
    lib.randomSets[1].count = 2;
    lib.randomSets[1].groups[0] = 2;
    lib.randomSets[1].groups[1] = -1;
    bool seen[kGroups] = {};
    for (int round = 0; round < 40; ++round) {
        panel.randomize(1);
        const int16_t g = panel.controller().model.current.tracks[1].group;
        ASSERT_GE(g, 0);
        ASSERT_LT(g, kGroups);
        seen[g] = true;
        EXPECT_EQ(panel.controller().model.current.tracks[0].group, 2);
    }
    EXPECT_GT(std::count(std::begin(seen), std::end(seen), true), 1) << "the group is drawn, not fixed";
}

TEST_F(GroovePanelTest, RandomSetTheSongDoesNotDefineGivesEachTrackItsOwnGroup)
{
    panel.controller().model.library().randomSetCount = 2;
    panel.randomize(2);
    for (int16_t t = 0; t < 8; ++t) {
        const BLTrack& k = panel.controller().model.current.tracks[t];
        if (t < kGroups) {
            EXPECT_EQ(k.group, t);
            EXPECT_GE(k.slot, 0);
        } else {
            EXPECT_EQ(k.group, -1);
        }
    }
    EXPECT_STREQ(panel.randomNameText, "Unkn");
    panel.setRndStyleName(-1);
    EXPECT_STREQ(panel.randomNameText, "-");
}

TEST_F(GroovePanelTest, AGroupWithoutLoopsLeavesItsTrackEmpty)
{
    panel.controller().model.library().groups[3].count = 0;
    panel.randomize(3);
    EXPECT_EQ(panel.controller().model.current.tracks[3].group, -1);
    EXPECT_EQ(panel.controller().model.current.tracks[2].group, 2);
}

TEST_F(GroovePanelTest, KeepingInAllModeKeepsEveryTrackThroughARandomGroove)
{
    fillGroove();
    const BLGroove before = panel.controller().model.current;
    panel.controller().setAllMode(true);
    panel.onItem_keep(-1);
    EXPECT_EQ(panel.controller().keptCount, 8);
    panel.randomize(0);
    for (int t = 0; t < 8; ++t) EXPECT_EQ(panel.controller().model.current.tracks[t], before.tracks[t]);
    panel.onItem_keep(-1);
    EXPECT_EQ(panel.controller().keptCount, 0);
}

TEST_F(GroovePanelTest, EmptyingInAllModeSilencesEveryTrackAtOnce)
{
    fillGroove();
    panel.controller().setAllMode(true);
    engine.calls.clear();
    panel.onItem_empty();
    ASSERT_FALSE(engine.calls.empty());
    EXPECT_EQ(engine.calls.front(), "begin");
    EXPECT_EQ(engine.calls.back(), "end");
    for (int16_t t = 0; t < 8; ++t) {
        EXPECT_EQ(engine.samples[t], -1);
        EXPECT_EQ(panel.controller().model.current.tracks[t].group, -1);
        EXPECT_EQ(panel.controller().model.current.tracks[t].slot, 0) << "an emptied track keeps its slot";
        EXPECT_EQ(panel.trackLedImage(t), 1);
    }
    EXPECT_TRUE(panel.controller().model.modified);
}

TEST_F(GroovePanelTest, EmptyingOutsideTheModesTouchesTheSelectedTrackOnly)
{
    fillGroove();
    panel.onItem_trackButton(2);
    panel.controller().model.sync_SetMode(true);
    engine.calls.clear();
    panel.onItem_empty();
    EXPECT_EQ(engine.samples[2], -1);
    EXPECT_EQ(panel.controller().model.current.tracks[1].group, 1);
    ASSERT_GE(engine.calls.size(), 2u);
    EXPECT_EQ(engine.calls.front(), "sync 0") << "sync at groove set is off around the change";
    EXPECT_EQ(engine.calls.back(), "sync 1");
}

TEST_F(GroovePanelTest, SoloFollowsTheSelectionAndOffRestoresEachTrack)
{
    fillGroove();
    panel.onItem_trackLed(4);  // track 4 switched off by the user
    EXPECT_FALSE(panel.controller().model.audible[4]);
    panel.onItem_trackButton(5);
    panel.controller().setSoloMode(true);
    for (int16_t t = 0; t < 8; ++t) EXPECT_EQ(panel.controller().model.audible[t], t == 5) << "track " << t;
    EXPECT_EQ(engine.samples[0], -1);
    EXPECT_NE(engine.samples[5], -1);
    EXPECT_EQ(panel.trackLedImage(5), 4);
    EXPECT_EQ(panel.trackLedImage(0), 3);

    panel.onItem_trackButton(2);
    for (int16_t t = 0; t < 8; ++t) EXPECT_EQ(panel.controller().model.audible[t], t == 2) << "track " << t;

    panel.controller().setSoloMode(false);
    for (int16_t t = 0; t < 8; ++t) EXPECT_EQ(panel.controller().model.audible[t], t != 4) << "track " << t;
    EXPECT_EQ(panel.trackLedImage(4), 3);
    EXPECT_EQ(panel.trackLedImage(0), 2);
}

TEST_F(GroovePanelTest, SwitchingATrackInGroupModeSwitchesTheWholeGroup)
{
    fillGroove();
    panel.controller().setGroupMode(true);
    panel.onItem_trackButton(0);
    panel.onItem_trackButton(6);
    panel.onItem_trackLed(6);
    EXPECT_FALSE(panel.controller().model.audible[0]);
    EXPECT_FALSE(panel.controller().model.audible[6]);
    EXPECT_TRUE(panel.controller().model.audible[3]);
    // The groove stored now holds the silenced tracks empty.
    panel.controller().model.grooves_add();
    EXPECT_EQ(panel.controller().model.stored.grooves[0].tracks[0].group, -1);
    EXPECT_EQ(panel.controller().model.stored.grooves[0].tracks[3].group, 3);
}

TEST_F(GroovePanelTest, TrackLightAndLoopColours)
{
    fillGroove();
    panel.controller().model.current.tracks[7].group = -1;
    panel.controller().model.sampleIds[7] = kBLNoSample;
    EXPECT_EQ(panel.trackLedImage(7), 1);
    EXPECT_EQ(panel.trackLedImage(0), 2);
    panel.onItem_trackButton(1);
    panel.onItem_trackLed(3);
    EXPECT_EQ(panel.trackLedImage(3), 3);

    // Not blinking: selected and heard, heard, selected and silent, silent.
    EXPECT_EQ(panel.sampColor(1), 0x00EF);
    EXPECT_EQ(panel.sampColor(0), 0x0421);
    EXPECT_EQ(panel.sampColor(3), 0x1C00);
    panel.onItem_trackLed(1);
    EXPECT_EQ(panel.sampColor(1), 0x3C00);
    EXPECT_EQ(panel.trackLedLevel(1), 255);

    // A kept track in the blink phase.
    panel.onItem_keep(1);
    panel.onItem_keep(0);
    panel.onItem_keep(3);
    panel.blinkPhase = true;
    EXPECT_EQ(panel.sampColor(1), 0x7C00);
    EXPECT_EQ(panel.sampColor(3), 0x2C00);
    EXPECT_EQ(panel.sampColor(0), 0x0C63);
    panel.onItem_trackLed(1);
    EXPECT_EQ(panel.sampColor(1), 0x016F);
    EXPECT_EQ(panel.trackLedLevel(1), 127);
    EXPECT_EQ(panel.trackLedLevel(2), 255);
}

TEST_F(GroovePanelTest, BlinkingFollowsTheTicksWhileATrackIsKept)
{
    fillGroove();
    panel.onItem_keep(2);
    kelGlo.ticks = 15;
    panel.onIdle();
    EXPECT_TRUE(panel.blinkPhase);
    kelGlo.ticks = 30;
    panel.onIdle();
    EXPECT_FALSE(panel.blinkPhase);
    kelGlo.ticks = 45;
    panel.onIdle();
    EXPECT_TRUE(panel.blinkPhase);
    panel.onItem_keep(2);
    panel.onIdle();
    EXPECT_FALSE(panel.blinkPhase) << "no kept track: the phase goes off";
}

TEST_F(GroovePanelTest, MetersRiseAtOnceAndFallByFour)
{
    fillGroove();
    panel.visible = 1;
    panel.controller().model.current.tracks[2].volume = 100;
    engine.peakLeft[2] = 15000;
    engine.peakRight[2] = 3000;
    kelGlo.ticks = 1000;
    panel.onIdle();
    EXPECT_EQ(panel.meterShown[2], (15000 / 150 * 100) / 255);
    kelGlo.ticks = 1001;
    panel.onIdle();
    EXPECT_EQ(panel.meterShown[2], (15000 / 150 * 100) / 255 - 4);
    panel.onIdle();  // the same tick: nothing
    EXPECT_EQ(panel.meterShown[2], (15000 / 150 * 100) / 255 - 4);
    engine.peakLeft[2] = 32767;
    engine.peakRight[2] = 32767;
    panel.controller().model.current.tracks[2].volume = 127;
    kelGlo.ticks = 1002;
    panel.onIdle();
    EXPECT_EQ(panel.meterShown[2], 108);
}

TEST_F(GroovePanelTest, TheChaseLightsTheMetersInTurn)
{
    panel.lightGame_Start(5);
    kelGlo.ticks = 2000;
    panel.onIdle();
    int lit = 0;
    for (int16_t t = 0; t < 8; ++t) lit += panel.meterShown[t] > 0;
    EXPECT_EQ(lit, 1);
    kelGlo.ticks = 2006;
    panel.onIdle();
    lit = 0;
    for (int16_t t = 0; t < 8; ++t) lit += panel.meterShown[t] > 0;
    EXPECT_EQ(lit, 2) << "the last lamp fades while the next one lights";
    panel.lightGame_End();
    for (int16_t t = 0; t < 8; ++t) EXPECT_EQ(panel.meterShown[t], 0);
}

TEST_F(GroovePanelTest, PlayGivesOnlyAudibleTracksTheirLoops)
{
    fillGroove();
    panel.onItem_trackLed(3);
    engine.calls.clear();
    player.play();
    EXPECT_EQ(engine.calls.front(), "play");
    EXPECT_EQ(engine.samples[3], -1);
    EXPECT_EQ(engine.samples[0], 0);
    EXPECT_EQ(engine.samples[1], kSlots);
    player.stop();
    EXPECT_EQ(engine.calls.back(), "stop");
}

TEST_F(GroovePanelTest, ChoosingAGroupPlaysItsFirstLoopAsTheMenuShows)
{
    panel.controller().chooseGroup(0, 2);
    EXPECT_EQ(panel.controller().model.current.tracks[0].group, 2);
    EXPECT_EQ(panel.controller().model.current.tracks[0].slot, 0);
    EXPECT_EQ(engine.samples[0], 2 * kSlots);  // what the loop menu's first entry names
    EXPECT_EQ(panel.trackLedImage(0), 2);      // lit: the track has a loop
    panel.controller().chooseGroup(0, -1);     // " -": silent, and the lamp says so
    EXPECT_EQ(engine.samples[0], -1);
    EXPECT_EQ(panel.trackLedImage(0), 1);
    panel.controller().chooseGroup(0, 2);
    panel.controller().chooseLoop(0, 3);
    EXPECT_EQ(panel.controller().model.current.tracks[0].slot, 3);
    EXPECT_EQ(panel.controller().model.current.tracks[0].volume, 83);
    EXPECT_EQ(panel.controller().model.current.tracks[0].pan, 3);
    EXPECT_EQ(engine.samples[0], 2 * kSlots + 3);
    EXPECT_STREQ(panel.net().message, "1 0 2 3");
    panel.controller().chooseLoop(0, kSlots);  // beyond the group: nothing
    EXPECT_EQ(panel.controller().model.current.tracks[0].slot, 3);
}

TEST_F(GroovePanelTest, SequencePlayStartsAtTheSelectedEntryAndStepsAtTheSyncPoint)
{
    fillGroove();
    for (int16_t slot : {1, 2, 3}) {
        panel.controller().chooseLoop(0, slot);
        panel.controller().model.grooves_add();
    }
    ASSERT_EQ(panel.controller().model.stored.count, 3);
    panel.controller().model.sequencer_addAll();
    panel.controller().model.sequencer_hit(1);
    player.playSequence();
    EXPECT_TRUE(player.sequenceMode);
    EXPECT_EQ(panel.controller().model.current.id, 2) << "the selected entry plays first";
    EXPECT_EQ(engine.samples[0], 2);

    engine.calls.clear();
    beats.beat = 22;
    player.idle();
    EXPECT_EQ(panel.controller().model.current.id, 2);
    beats.beat = 23;
    player.idle();
    EXPECT_EQ(panel.controller().model.current.id, 3) << "the next entry is prepared at beat 23";
    EXPECT_EQ(engine.samples[0], 3);
    ASSERT_GE(engine.calls.size(), 2u);
    EXPECT_EQ(engine.calls.front(), "sync 1") << "set to change at the cycle's end";
    EXPECT_EQ(engine.calls.back(), "sync 0");
    beats.beat = 0;
    player.idle();
    beats.beat = 23;
    player.idle();
    EXPECT_EQ(panel.controller().model.current.id, 1) << "after the last entry, the first";
    player.stop();
    EXPECT_FALSE(player.sequenceMode);
}

TEST_F(GroovePanelTest, SequencePlayWithAnEmptySequenceStillPlaysTheGroove)
{
    fillGroove();
    player.playSequence();
    EXPECT_TRUE(player.playing);
    EXPECT_EQ(count("play"), 1);
    EXPECT_EQ(engine.samples[3], 3 * kSlots);
}

TEST_F(GroovePanelTest, TheSelectedStoredGrooveStaysInView)
{
    fillGroove();
    for (int i = 0; i < 10; ++i) {
        panel.controller().chooseLoop(0, static_cast<int16_t>(i % kSlots));
        panel.controller().model.modified = true;
        panel.controller().model.grooves_add();
    }
    ASSERT_EQ(panel.controller().model.stored.count, 10);
    // The tenth is selected; the strip shows entries 2 .. 9.
    panel.grooveEntryHit(7);
    EXPECT_EQ(panel.controller().model.current.id, 10);
    panel.grooveEntryHit(0);
    EXPECT_EQ(panel.controller().model.current.id, 3);
    EXPECT_EQ(panel.controller().model.stored.count, 10) << "clicks remove nothing";
}

}  // namespace
}  // namespace groovepanel

namespace groovepanel {
namespace {

// Beats that move on at each reading, from 21 to 23.
class MovingBeats : public BLEngineCalls {
public:
    void setMixerBpm(float) override {}
    void setMixerVolume(short v) override { volumes.push_back(v); }
    short getMixerBeat() override { return next < 23 ? next++ : 23; }
    short next = 21;
    std::vector<short> volumes;
};

class MainVolumeDrag : public GroovePanelTest {
protected:
    void SetUp() override
    {
        GroovePanelTest::SetUp();
        auto b = std::make_unique<plat::HeadlessBackend>();
        backend = b.get();
        plat::setBackend(std::move(b));
    }
    void TearDown() override
    {
        plat::clearBackend();
        kelGlo.buttonDown = 0;
        GroovePanelTest::TearDown();
    }
    void moveTo(int y, plat::Event::Type type = plat::Event::Type::MouseMove)
    {
        plat::Event e;
        e.type = type;
        e.x = 10;
        e.y = y;
        backend->push(e);
    }
    plat::HeadlessBackend* backend = nullptr;
};

}  // namespace

TEST_F(MainVolumeDrag, TheSequenceStepsAndTheMetersMoveWhileTheKnobIsHeld)
{
    fillGroove();
    for (int16_t slot : {1, 2}) {
        panel.controller().chooseLoop(0, slot);
        panel.controller().model.grooves_add();
    }
    panel.controller().model.sequencer_addAll();
    panel.controller().model.sequencer_hit(0);
    player.playSequence();
    ASSERT_EQ(panel.controller().model.current.id, 1);
    MovingBeats moving;
    player.setEngine(&moving);
    panel.visible = 1;
    engine.peakLeft[2] = 15000;
    engine.peakRight[2] = 3000;

    kelGlo.mouseY = 200;
    kelGlo.buttonDown = 1;
    for (int y : {195, 190, 185, 180}) moveTo(y);
    moveTo(180, plat::Event::Type::MouseUp);
    panel.hitItem = grooveitem::mainVolume;
    panel.onItem();

    EXPECT_EQ(player.mainVolume, 63 + 20);
    EXPECT_EQ(moving.volumes.back(), 83);
    EXPECT_EQ(panel.controller().model.current.id, 2)
        << "the next entry was prepared at beat 23, during the drag";
    EXPECT_GT(panel.meterShown[2], 0) << "the meters went on";
    EXPECT_STREQ(player.positionLabel, "06:04") << "and the position";
    EXPECT_EQ(panel.liveChange, 0);
}

}  // namespace groovepanel
