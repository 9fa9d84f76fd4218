// Following a MIDI clock: its tempo through the jitter of a MIDI system's
// periods, its start, continue and stop, and the song's tempo window.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "control/BLMidiClock.h"
#include "control/BLPlayer.h"

namespace {

class TempoEngine : public BLEngineCalls {
public:
    std::vector<float> tempos;
    void setMixerBpm(float bpm) override { tempos.push_back(bpm); }
    void setMixerVolume(short) override {}
    short getMixerBeat() override { return -1; }
    double heardBeats() override { return -1; }
    bool outputAlive() override { return true; }
    void changesBegin() override {}
    void changesEnd() override {}
};

// A JACK period of 512 frames: what comes in is stamped when its period is read.
double stamped(double seconds)
{
    const double period = 512.0 / 44100.0;
    return std::ceil(seconds / period) * period;
}

class MidiClockInTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        player.setEngine(&engine);
        player.gotSongBpm(120);
        engine.tempos.clear();
    }
    // `beats` beats of pulses at `bpm` from the clock's time `now`, taken by the player.
    void pulses(double bpm, double beats)
    {
        for (int i = 0; i < beats * 24; ++i) {
            clock.receive(0xF8, stamped(now));
            now += 60.0 / bpm / 24;
            if (i % 4 == 0) clock.follow(player);
        }
        clock.follow(player);
    }
    void say(uint8_t status)
    {
        clock.receive(status, now);
        clock.follow(player);
    }

    TempoEngine engine;
    BLPlayer player;
    BLClockIn clock;
    double now = 1000.0;
};

}  // namespace

TEST(MidiClockTempo, FitsThroughThePeriodsJitterAndStartsAfreshAfterAPause)
{
    BLClockTempo tempo;
    double t = 50.0;
    for (int i = 0; i < 24; ++i, t += 60.0 / 97.3 / 24) tempo.pulse(stamped(t));
    EXPECT_EQ(tempo.bpm(), 0) << "a beat of pulses is needed";
    for (int i = 0; i < 300; ++i, t += 60.0 / 97.3 / 24) {
        tempo.pulse(stamped(t));
        if (i >= BLClockTempo::kPulses) {
            ASSERT_NEAR(tempo.bpm(), 97.3, BLClockIn::kDeadBand) << "pulse " << i;
        }
    }
    t += 1.0;
    for (int i = 0; i < 24; ++i, t += 60.0 / 140 / 24) tempo.pulse(stamped(t));
    EXPECT_EQ(tempo.bpm(), 0) << "the pulses before the pause are forgotten";
    tempo.pulse(stamped(t));
    EXPECT_NEAR(tempo.bpm(), 140, 1.0);
}

TEST_F(MidiClockInTest, FollowsTheClocksStartTempoAndStopWithinTheSongsWindow)
{
    say(0xFA);
    EXPECT_TRUE(player.playing);
    pulses(126, 2);
    EXPECT_NEAR(player.bpm, 126, 0.25);
    ASSERT_FALSE(engine.tempos.empty());
    // Steady at the same tempo (and a hair off it): the tempo holds still.
    const size_t sent = engine.tempos.size();
    pulses(126, 4);
    pulses(126.1, 4);
    EXPECT_EQ(engine.tempos.size(), sent);
    EXPECT_NEAR(player.bpm, 126, 0.25);

    // Past the window of 70 .. 170 the tempo is not played, nor its ends:
    // the player's own is kept...
    pulses(400, 4);
    EXPECT_EQ(engine.tempos.size(), sent);
    EXPECT_NEAR(player.bpm, 126, 0.25);
    // ...but half of it is, one beat for two of the clock's, and double another.
    pulses(190, 4);
    EXPECT_NEAR(player.bpm, 95, 0.25);
    pulses(40, 4);
    EXPECT_NEAR(player.bpm, 80, 0.25);
    pulses(101.5, 4);
    EXPECT_NEAR(player.bpm, 101.5, 0.25);

    say(0xFC);
    EXPECT_FALSE(player.playing);
    say(0xFB);
    EXPECT_TRUE(player.playing);
    // A start while playing starts from the top: the player stopped and played.
    const size_t before = engine.tempos.size();
    say(0xFA);
    EXPECT_TRUE(player.playing);
    EXPECT_GT(engine.tempos.size(), before);
}
