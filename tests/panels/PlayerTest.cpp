// The transport: play and stop, the beat display, the tempo window, tap tempo
// and the main volume, seen through a recording display, groove panel and engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "control/BLPlayCommon.h"
#include "control/BLPlayer.h"
#include "core/kelCore.h"
#include "platform/PlatHeadless.h"
#include "platform/Platform.h"

namespace {

// Every call the player makes on its display, as one line each.
class RecordingDisplay : public BLPlayCommon {
public:
    std::vector<std::string> calls;
    std::string lastPlaybarLabel;
    std::string lastBpmLabel;
    short lastScroll = -999;
    short leds[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int grooveStarts = 0;
    int grooveSyncs = 0;

    void common_setPlayDisplay(bool on) override { add("playDisplay", on); }
    void common_setSeqPlayLed(bool on) override { add("seqPlayLed", on); }
    void common_setPlaybarLed(short led, short state) override
    {
        if (led >= 0 && led < 8) leds[led] = state;
    }
    void common_setSyncingLed(bool on) override { add("syncingLed", on); }
    void common_setPlaybarLabel(const char* text) override { lastPlaybarLabel = text; }
    void common_setMainVolLabel(short volume) override { add("mainVol", volume); }
    void common_setSynthLed(bool on) override { add("synthLed", on); }
    void common_eventGrooveStart() override
    {
        ++grooveStarts;
        calls.push_back("grooveStart");
    }
    void common_eventGrooveSync() override
    {
        ++grooveSyncs;
        calls.push_back("grooveSync");
    }
    void common_eventSeqPlayStart() override { calls.push_back("seqPlayStart"); }
    void common_eventSeqPlayStop() override { calls.push_back("seqPlayStop"); }
    void common_setBpmLabel(const char* text) override
    {
        lastBpmLabel = text;
        calls.push_back(std::string("bpmLabel ") + text);
    }
    void common_setBpmScroll(short position) override
    {
        lastScroll = position;
        add("bpmScroll", position);
    }
    void common_setLabel(short label, const char* text) override
    {
        calls.push_back("label " + std::to_string(label) + " " + text);
    }
    void common_doInterfaceReset() override { calls.push_back("reset"); }
    void common_setHelpModeDisplay(short mode) override { add("helpMode", mode); }
    void common_setBpmRange(short low, short high) override { range = {low, high}; }
    void common_tempoAtEnd(float slowest, float fastest) override { endsSaid.emplace_back(slowest, fastest); }
    void common_outputLost() override { calls.push_back("outputLost"); }
    std::pair<short, short> range;
    std::vector<std::pair<float, float>> endsSaid;

    std::string ledRow() const
    {
        std::string row;
        for (short s : leds) row += static_cast<char>('0' + s);
        return row;
    }

private:
    void add(const char* what, int value)
    {
        calls.push_back(std::string(what) + " " + std::to_string(value));
    }
};

class RecordingGroove : public BLPlayerGroove {
public:
    std::vector<std::string> calls;
    void setPlayMode(bool on) override { calls.push_back(on ? "playMode 1" : "playMode 0"); }
    void onItem_seq_Play() override { calls.push_back("seqPlay"); }
};

class ScriptedEngine : public BLEngineCalls {
public:
    std::vector<float> tempos;
    std::vector<short> volumes;
    short beat = -1;
    bool alive = true;
    void setMixerBpm(float bpm) override { tempos.push_back(bpm); }
    bool outputAlive() override { return alive; }
    void setMixerVolume(short volume) override { volumes.push_back(volume); }
    short getMixerBeat() override { return beat; }
};

class CountingSynth : public BLPlayerSynth {
public:
    int plays = 0;
    void playerSaidPlay() override { ++plays; }
};

uint32_t gNow = 0;
uint32_t testTicks()
{
    return gNow;
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gNow = 100000;
        player.setGroovePanel(&grooveDisplay, &groove);
        player.setVMixPanel(&vmixDisplay);
        player.setSynth(&synth);
        player.setEngine(&engine);
        player.setTicks(testTicks);
        player.userGroove();
    }

    // Taps at the test clock, `gap` ticks apart; the tempo the engine heard after each.
    std::vector<float> tap(int taps, uint32_t gap)
    {
        std::vector<float> heard;
        for (int i = 0; i < taps; ++i) {
            gNow += gap;
            engine.tempos.clear();
            player.hitBpmTap();
            heard.push_back(engine.tempos.empty() ? -1.0f : engine.tempos.back());
        }
        return heard;
    }

    void beatIs(short beat)
    {
        engine.beat = beat;
        player.idle();
    }

    // Runs one whole 32-beat cycle from beat 0.
    void cycle()
    {
        for (short b = 0; b < 32; ++b) beatIs(b);
    }

    RecordingDisplay grooveDisplay;
    RecordingDisplay vmixDisplay;
    RecordingGroove groove;
    ScriptedEngine engine;
    CountingSynth synth;
    BLPlayer player;
};

TEST_F(PlayerTest, ConstructedStoppedAtVolume63)
{
    BLPlayer fresh;
    EXPECT_FALSE(fresh.playing);
    EXPECT_FALSE(fresh.sequenceMode);
    EXPECT_EQ(fresh.display, nullptr);
    EXPECT_EQ(fresh.mainVolume, 63);
    EXPECT_EQ(fresh.tapCount, 0);
    EXPECT_EQ(fresh.lastTap, 0u);
    // Without any panel or engine the transport must still be safe to work.
    fresh.play();
    fresh.idle();
    fresh.stop();
    EXPECT_FALSE(fresh.playing);
    // Before a song the tempo shows as none, not as 0.0.
    fresh.setGroovePanel(&grooveDisplay, nullptr);
    fresh.userGroove();
    fresh.setBpmLabel();
    EXPECT_EQ(grooveDisplay.lastBpmLabel, "--");
}

TEST_F(PlayerTest, TheTempoStaysInTheWindowAndNeverUnderTen)
{
    // The slider's ends are the tempos played: 50 either side; never under 10.
    player.gotSongBpm(40);
    EXPECT_EQ(grooveDisplay.range, (std::pair<short, short>{-30, 50}));
    player.hitBpmScroll(-40);
    EXPECT_FLOAT_EQ(player.bpm, 10.0f);
    player.gotSongBpm(100);
    EXPECT_EQ(grooveDisplay.range, (std::pair<short, short>{-50, 50}));
    EXPECT_FLOAT_EQ(player.bpm, 100.0f);
    EXPECT_EQ(grooveDisplay.lastScroll, 0);
    EXPECT_EQ(grooveDisplay.lastBpmLabel, "100.0");
    ASSERT_FALSE(engine.tempos.empty());
    EXPECT_FLOAT_EQ(engine.tempos.back(), 100.0f);

    // Steps stop at the window's end, which the engine plays.
    for (int i = 0; i < 400; ++i) {
        player.hitBpmUp(0.2f);
        ASSERT_LE(player.bpm, 150.0f) << "after step " << i;
    }
    EXPECT_NEAR(player.bpm, 150.0f, 0.2f);
    EXPECT_EQ(grooveDisplay.lastScroll, 49);
    for (float sent : engine.tempos) EXPECT_LE(sent, 150.0f);
    ASSERT_FALSE(grooveDisplay.endsSaid.empty()) << "a step past the end says so";
    EXPECT_EQ(grooveDisplay.endsSaid.back(), (std::pair<float, float>{50.0f, 150.0f}));
    for (int i = 0; i < 600; ++i) player.hitBpmUp(-0.2f);
    EXPECT_GE(player.bpm, 50.0f);
    EXPECT_LE(player.bpm, 50.2f);

    // The slider: outside the window nothing changes; its right end is the
    // fastest tempo, and the slider comes back to it.
    engine.tempos.clear();
    player.hitBpmScroll(-60);
    EXPECT_TRUE(engine.tempos.empty());
    player.hitBpmScroll(-50);
    EXPECT_FLOAT_EQ(player.bpm, 50.0f);
    ASSERT_EQ(engine.tempos.size(), 1u);
    EXPECT_FLOAT_EQ(engine.tempos[0], 50.0f);
    EXPECT_EQ(grooveDisplay.lastBpmLabel, "50.0");
    player.hitBpmScroll(51);
    EXPECT_FLOAT_EQ(player.bpm, 50.0f);
    EXPECT_EQ(grooveDisplay.lastBpmLabel, "50.0");
    EXPECT_EQ(grooveDisplay.lastScroll, -50) << "the slider comes back to the tempo";
    player.hitBpmScroll(50);
    EXPECT_FLOAT_EQ(player.bpm, 150.0f);
    EXPECT_FLOAT_EQ(engine.tempos.back(), 150.0f);
    EXPECT_EQ(grooveDisplay.lastScroll, 50);
}

TEST_F(PlayerTest, RestoredTemposOutsideTheWindowOrNoNumbersNeverReachTheEngine)
{
    player.gotSongBpm(100);
    engine.tempos.clear();
    player.adjustBpm(std::numeric_limits<float>::quiet_NaN());
    player.setBpm(std::numeric_limits<float>::quiet_NaN());
    player.setBpm(std::numeric_limits<float>::infinity());
    EXPECT_FLOAT_EQ(player.bpm, 100.0f);
    EXPECT_TRUE(engine.tempos.empty());

    // Outside the window it is shown, but not sent; a huge one still gives a
    // scroll position that fits.
    player.setBpm(171.5f);
    EXPECT_FLOAT_EQ(player.bpm, 171.5f);
    EXPECT_EQ(grooveDisplay.lastBpmLabel, "171.5");
    EXPECT_EQ(grooveDisplay.lastScroll, 71);
    player.setBpm(1e30f);
    EXPECT_EQ(grooveDisplay.lastScroll, 32767);
    EXPECT_TRUE(engine.tempos.empty());

    player.setBpm(120.25f);
    ASSERT_EQ(engine.tempos.size(), 1u);
    EXPECT_FLOAT_EQ(engine.tempos[0], 120.25f);
}

TEST_F(PlayerTest, TapsEvery30TicksGive120FromTheFourthTap)
{
    player.gotSongBpm(110);
    const std::vector<float> heard = tap(8, 30);
    EXPECT_EQ(heard[0], -1.0f);
    EXPECT_EQ(heard[1], -1.0f);
    EXPECT_EQ(heard[2], -1.0f);
    for (size_t i = 3; i < heard.size(); ++i) EXPECT_FLOAT_EQ(heard[i], 120.0f) << "tap " << i + 1;
    EXPECT_EQ(grooveDisplay.lastBpmLabel, "120.0");
    EXPECT_EQ(grooveDisplay.lastScroll, 10);
}

TEST_F(PlayerTest, PauseOverTwoSecondsStartsANewSeries)
{
    player.gotSongBpm(120);
    tap(4, 30);
    ASSERT_FLOAT_EQ(player.bpm, 120.0f);
    // 121 ticks: a new series; the next two taps have too few intervals.
    std::vector<float> heard = tap(1, 121);
    EXPECT_EQ(player.tapCount, 0);
    heard = tap(2, 24);
    EXPECT_EQ(heard[0], -1.0f);
    EXPECT_EQ(heard[1], -1.0f);
    heard = tap(1, 24);
    EXPECT_FLOAT_EQ(heard[0], 150.0f) << "only the new series' intervals count";

    // Exactly 120 ticks still belongs to the series.
    heard = tap(1, 120);
    EXPECT_NE(heard[0], -1.0f);
    EXPECT_EQ(player.tapCount, 4);
}

TEST_F(PlayerTest, AtMostTenIntervalsEnterTheMean)
{
    player.gotSongBpm(100);
    tap(1, 500);  // starts the series
    tap(10, 40);  // ten intervals of 40 ticks: 90 bpm
    EXPECT_FLOAT_EQ(player.bpm, 90.0f);
    EXPECT_EQ(player.tapCount, 9);
    // Ten intervals of 30 ticks push every 40 out: exactly 120, not a blend.
    const std::vector<float> heard = tap(10, 30);
    EXPECT_LT(heard[8], 120.0f) << "one 40-tick interval still counts on the ninth tap";
    EXPECT_FLOAT_EQ(heard[9], 120.0f);
    for (int i = 0; i < 50; ++i) tap(1, 30);
    EXPECT_EQ(player.tapCount, 9);
    EXPECT_FLOAT_EQ(player.bpm, 120.0f);
}

TEST_F(PlayerTest, TappedTemposOutsideTheWindowAreIgnoredAndTheWholeWindowIsPlayed)
{
    player.gotSongBpm(100);
    engine.tempos.clear();
    tap(6, 15);  // 240 bpm
    EXPECT_FLOAT_EQ(player.bpm, 100.0f);
    EXPECT_TRUE(engine.tempos.empty());
    tap(1, 500);  // a new series
    tap(3, 26);   // 138.5 bpm, past 1.3 times the song's tempo
    EXPECT_NEAR(player.bpm, 138.46f, 0.01f);
    ASSERT_FALSE(engine.tempos.empty());
    EXPECT_FLOAT_EQ(engine.tempos.back(), player.bpm);
}

TEST_F(PlayerTest, GroovePlayShowsBeatsAsBarAndBeat)
{
    player.play();
    beatIs(13);
    EXPECT_EQ(grooveDisplay.lastPlaybarLabel, "04:02");
    EXPECT_EQ(player.lastBeat, 13);
    // Light 13 mod 8 = 5 is current; lights up to 13 / 4 = 3 are on.
    EXPECT_EQ(grooveDisplay.ledRow(), "11110200");
    beatIs(0);
    EXPECT_EQ(grooveDisplay.lastPlaybarLabel, "01:01");
    EXPECT_EQ(grooveDisplay.ledRow(), "20000000");
    beatIs(8);
    EXPECT_EQ(grooveDisplay.ledRow(), "21100000") << "the current light wins over the bar lights";
    beatIs(31);
    EXPECT_EQ(grooveDisplay.lastPlaybarLabel, "08:04");
    EXPECT_EQ(grooveDisplay.ledRow(), "11111112");
}

TEST_F(PlayerTest, NoBeatLeavesTheLightsAndTextAlone)
{
    player.play();
    beatIs(9);
    const std::string leds = grooveDisplay.ledRow();
    beatIs(-1);
    EXPECT_EQ(grooveDisplay.ledRow(), leds);
    EXPECT_EQ(grooveDisplay.lastPlaybarLabel, "03:02");
    EXPECT_EQ(player.lastBeat, -1);
}

TEST_F(PlayerTest, SequencePlayOnTheVMixCountsCycles)
{
    player.userVMix();
    player.playSequence();
    cycle();
    cycle();
    for (short b = 0; b <= 13; ++b) beatIs(b);
    EXPECT_EQ(player.sequenceCount, 2);
    EXPECT_EQ(vmixDisplay.lastPlaybarLabel, "03:04:02");
    EXPECT_TRUE(grooveDisplay.lastPlaybarLabel.empty()) << "only the display is drawn on";
}

TEST_F(PlayerTest, SequencePlayOnTheGroovePanelShowsNoCycle)
{
    player.playSequence();
    cycle();
    for (short b = 0; b <= 13; ++b) beatIs(b);
    EXPECT_EQ(grooveDisplay.lastPlaybarLabel, "04:02");
}

TEST_F(PlayerTest, GrooveSyncAtBeat23AndStartOnTheNextCycle)
{
    player.playSequence();
    for (short b = 0; b < 23; ++b) beatIs(b);
    EXPECT_EQ(grooveDisplay.grooveSyncs, 0);
    EXPECT_FALSE(player.syncPending);
    beatIs(23);
    EXPECT_EQ(grooveDisplay.grooveSyncs, 1);
    EXPECT_TRUE(player.syncPending);
    for (short b = 24; b < 32; ++b) beatIs(b);
    EXPECT_EQ(grooveDisplay.grooveSyncs, 1) << "once per cycle";
    EXPECT_EQ(grooveDisplay.grooveStarts, 0);
    beatIs(0);
    EXPECT_EQ(grooveDisplay.grooveStarts, 1);
    EXPECT_FALSE(player.syncPending);
    EXPECT_EQ(player.sequenceCount, 1);
    // The same beat polled again is no new event.
    beatIs(0);
    EXPECT_EQ(grooveDisplay.grooveStarts, 1);
}

TEST_F(PlayerTest, GroovePlayHasNoSyncEvents)
{
    player.play();
    cycle();
    cycle();
    EXPECT_EQ(grooveDisplay.grooveSyncs, 0);
    EXPECT_EQ(grooveDisplay.grooveStarts, 0);
    EXPECT_EQ(player.sequenceCount, 0);
}

TEST_F(PlayerTest, SyncingLightBlinksWhileASyncIsPending)
{
    player.playSequence();
    for (short b = 0; b <= 23; ++b) beatIs(b);
    ASSERT_TRUE(player.syncPending);
    int litTicks = 0;
    int changes = 0;
    for (int t = 0; t <= 150; ++t) {
        gNow = 150000 + static_cast<uint32_t>(t);
        const size_t before = grooveDisplay.calls.size();
        player.idle();
        if (grooveDisplay.calls.size() != before) ++changes;
        if (player.syncingLight) {
            ++litTicks;
            EXPECT_GT(gNow % 15, 10u);
        }
    }
    EXPECT_EQ(litTicks, 40) << "4 of every 15 ticks";
    EXPECT_EQ(changes, 20) << "shown only when it changes";
    player.stop();
    player.idle();
    EXPECT_FALSE(player.syncingLight);
}

TEST_F(PlayerTest, PlayStartsGroovePlayOnce)
{
    player.gotSongBpm(105);
    player.addMainVolume(10);
    engine.tempos.clear();
    engine.volumes.clear();
    grooveDisplay.calls.clear();
    player.play();
    EXPECT_TRUE(player.playing);
    EXPECT_FALSE(player.sequenceMode);
    EXPECT_EQ(groove.calls, std::vector<std::string>{"playMode 1"});
    EXPECT_EQ(engine.tempos, std::vector<float>{105.0f});
    EXPECT_EQ(engine.volumes, std::vector<short>{73});
    EXPECT_EQ(grooveDisplay.calls, (std::vector<std::string>{"playDisplay 1", "label 0 Groove play"}));
    EXPECT_EQ(synth.plays, 1);

    player.play();
    player.playSequence();
    EXPECT_EQ(groove.calls.size(), 1u);
    EXPECT_EQ(engine.tempos.size(), 1u);
    EXPECT_EQ(grooveDisplay.calls.size(), 2u);
    EXPECT_EQ(synth.plays, 1);
    EXPECT_FALSE(player.sequenceMode);
}

TEST_F(PlayerTest, StopWhileStoppedDoesNothing)
{
    player.stop();
    EXPECT_TRUE(groove.calls.empty());
    EXPECT_TRUE(grooveDisplay.calls.empty());
    player.play();
    player.stop();
    player.stop();
    EXPECT_EQ(groove.calls, (std::vector<std::string>{"playMode 1", "playMode 0"}));
    EXPECT_EQ(grooveDisplay.calls.back(), "label 0 Stop");
    EXPECT_FALSE(player.playing);
}

TEST_F(PlayerTest, ACardThatGoesAwayStopsTheMusicAndIsSaidOnce)
{
    player.playSequence();
    beatIs(3);
    EXPECT_TRUE(player.playing);
    grooveDisplay.calls.clear();
    engine.alive = false;
    beatIs(4);
    EXPECT_FALSE(player.playing);
    EXPECT_FALSE(player.sequenceMode);
    EXPECT_EQ(groove.calls.back(), "playMode 0");
    EXPECT_EQ(grooveDisplay.calls, (std::vector<std::string>{"playDisplay 0", "seqPlayStop", "seqPlayLed 0",
                                                             "label 0 Stop", "outputLost"}));
    // Stopped, nothing more is said; the next Play plays again.
    beatIs(5);
    EXPECT_EQ(grooveDisplay.calls.back(), "outputLost");
    EXPECT_EQ(std::count(grooveDisplay.calls.begin(), grooveDisplay.calls.end(), "outputLost"), 1);
    engine.alive = true;
    player.play();
    beatIs(6);
    EXPECT_TRUE(player.playing);
}

TEST_F(PlayerTest, SequencePlayStartsAndStopsInOrder)
{
    player.gotSongBpm(120);
    grooveDisplay.calls.clear();
    player.setSync(true);
    player.playSequence();
    EXPECT_TRUE(player.sequenceMode);
    EXPECT_FALSE(player.syncPending);
    EXPECT_EQ(groove.calls, std::vector<std::string>{"seqPlay"});
    EXPECT_EQ(grooveDisplay.calls, (std::vector<std::string>{"playDisplay 1", "seqPlayLed 1", "seqPlayStart",
                                                             "label 0 Sequence play"}));
    grooveDisplay.calls.clear();
    player.stop();
    EXPECT_EQ(groove.calls.back(), "playMode 0");
    EXPECT_EQ(grooveDisplay.calls,
              (std::vector<std::string>{"playDisplay 0", "seqPlayStop", "seqPlayLed 0", "label 0 Stop"}));
    EXPECT_FALSE(player.sequenceMode);
}

TEST_F(PlayerTest, ToggleSequenceMovesThroughStop)
{
    player.play();
    player.togglePlaySequence();
    EXPECT_TRUE(player.playing);
    EXPECT_TRUE(player.sequenceMode);
    EXPECT_EQ(groove.calls, (std::vector<std::string>{"playMode 1", "playMode 0", "seqPlay"}));
    player.togglePlaySequence();
    EXPECT_FALSE(player.playing);
    EXPECT_FALSE(player.sequenceMode);
    player.togglePlaySequence();
    EXPECT_TRUE(player.sequenceMode);
}

TEST_F(PlayerTest, MainVolumeStepsAreClamped)
{
    player.addMainVolume(62);
    EXPECT_EQ(player.mainVolume, 125);
    player.addMainVolume(5);
    EXPECT_EQ(player.mainVolume, 127);
    EXPECT_EQ(engine.volumes.back(), 127);
    EXPECT_EQ(grooveDisplay.calls.back(), "mainVol 127");
    player.addMainVolume(-300);
    EXPECT_EQ(player.mainVolume, 0);
    EXPECT_EQ(engine.volumes.back(), 0);
}

TEST_F(PlayerTest, RefreshShowsTheWholeStateInOrder)
{
    player.gotSongBpm(100);
    player.setBpm(112.5f);
    player.addMainVolume(20);
    player.setSynthLed(true);
    player.playSequence();
    grooveDisplay.calls.clear();
    player.refreshCommon();
    EXPECT_EQ(grooveDisplay.calls,
              (std::vector<std::string>{"playDisplay 1", "seqPlayLed 1", "bpmScroll 12", "mainVol 83",
                                        "synthLed 1", "label 0 Sequence play", "bpmLabel 112.5"}));
    player.stop();
    player.play();
    grooveDisplay.calls.clear();
    player.refreshCommon();
    EXPECT_EQ(grooveDisplay.calls[1], "seqPlayLed 0") << "groove play has no sequence light";
}

TEST_F(PlayerTest, TheDisplayFollowsTheUser)
{
    player.userVMix();
    player.play();
    EXPECT_EQ(vmixDisplay.calls.front(), "playDisplay 1");
    EXPECT_TRUE(grooveDisplay.calls.empty());
    player.userGroove();
    player.setLabel(3, "x");
    EXPECT_EQ(grooveDisplay.calls.back(), "label 3 x");

    // Resets and help modes go to both panels, whichever displays.
    player.resetCommon();
    player.setHelpModeDisplay(1);
    EXPECT_EQ(grooveDisplay.calls.back(), "helpMode 1");
    EXPECT_EQ(vmixDisplay.calls.back(), "helpMode 1");
    EXPECT_EQ(vmixDisplay.calls[vmixDisplay.calls.size() - 2], "reset");
}

TEST(PlayCommonTest, NumberLabelGoesThroughTheTextLabel)
{
    RecordingDisplay display;
    BLPlayCommon& common = display;
    common.common_setPlaybarLabel(static_cast<short>(-42));
    EXPECT_EQ(display.lastPlaybarLabel, "-42");
}

// The drag on the volume control follows the mouse while the button stays down.
class MainVolumeDragTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<plat::HeadlessBackend>();
        backend = b.get();
        plat::setBackend(std::move(b));
        player.setGroovePanel(&display, nullptr);
        player.setEngine(&engine);
        player.userGroove();
    }
    void TearDown() override
    {
        plat::clearBackend();
        kelGlo.buttonDown = 0;
    }
    plat::Event at(plat::Event::Type type, int y)
    {
        plat::Event e;
        e.type = type;
        e.x = 10;
        e.y = y;
        return e;
    }

    plat::HeadlessBackend* backend = nullptr;
    RecordingDisplay display;
    ScriptedEngine engine;
    BLPlayer player;
};

TEST_F(MainVolumeDragTest, UpRaisesDownLowersClamped)
{
    kelGlo.mouseY = 200;
    kelGlo.buttonDown = 1;
    backend->push(at(plat::Event::Type::MouseMove, 190));
    backend->push(at(plat::Event::Type::MouseMove, 100));
    backend->push(at(plat::Event::Type::MouseMove, 400));
    backend->push(at(plat::Event::Type::MouseUp, 400));
    player.hitMainVolume();
    EXPECT_EQ(engine.volumes, (std::vector<short>{73, 127, 0}));
    EXPECT_EQ(player.mainVolume, 0);
    EXPECT_EQ(display.calls.back(), "mainVol 0");
}

}  // namespace
