// Ableton Link's sync on a session of the test's own: a session tempo goes
// through the song's window as a local one would (at half or double time
// where only that is inside it, else refused with the program's tempo kept), the program's tempo reaches the
// session, and start and stop cross both ways, a start from the session on its next bar.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "library/BLGroove.h"
#include "library/BLprefs.h"
#include "net/BLLinkSync.h"
#include "net/BLNet.h"

namespace {

// A session whose peers the test plays: one bar of four beats at `bpm`
// from time 0.
class FakeSession : public BLLinkSession {
public:
    size_t peerCount = 1;
    double bpm = 120;
    bool isPlaying = false;
    void enable(bool, double b) override
    {
        if (peerCount == 0) bpm = b;
    }
    size_t peers() const override { return peerCount; }
    double tempo() const override { return bpm; }
    void setTempo(double b, double) override { bpm = b; }
    double phaseAt(double at, double quantum) const override
    {
        return std::fmod(at * bpm / 60000.0, quantum);
    }
    void requestBeatAt(double, double, double) override {}
    bool playing() const override { return isPlaying; }
    void setPlaying(bool on, double) override { isPlaying = on; }
};

// A player with the song's window of 50 either side of its tempo.
class WindowHost : public BLNetHost {
public:
    float songBpm = 100, bpm = 100;
    bool isPlaying = false;
    int plays = 0;
    std::string songName() override { return "Song"; }
    bool loadSong(const char*) override { return false; }
    const BLGroove& groove() override { return g; }
    bool playing() override { return isPlaying; }
    void play() override
    {
        isPlaying = true;
        ++plays;
    }
    void stop() override { isPlaying = false; }
    float tempo() override { return bpm; }
    bool setTempo(float b) override
    {
        if (b < songBpm - 50 || b > songBpm + 50) return false;
        bpm = b;
        return true;
    }
    int beat() override { return -1; }
    double position() override { return -1; }
    bool setSample(int16_t, int16_t, int16_t) override { return true; }
    void setVolume(int16_t, int16_t) override {}
    void setPan(int16_t, int16_t) override {}
    bool ask(const char*) override { return false; }

private:
    BLGroove g;
};

struct Joined {
    WindowHost host;
    FakeSession* session;
    BLLinkSync sync;
    Joined() : session(new FakeSession), sync(std::unique_ptr<BLLinkSession>(session))
    {
        sync.setHost(&host);
        sync.join(true);
        sync.idle(0);
    }
};

TEST(LinkSync, ASessionTempoPassesTheSongsWindowAndOursReachesTheSession)
{
    Joined j;
    j.session->bpm = 123;
    j.sync.idle(1);
    EXPECT_FLOAT_EQ(j.host.bpm, 123.0f);
    EXPECT_EQ(j.sync.refusedTempo(), 0.0);

    // Outside 50..150 at half time where that is inside: a beat here two of
    // the session's, and this side's change reaches it in the session's beats.
    j.session->bpm = 180;
    j.sync.idle(2);
    EXPECT_FLOAT_EQ(j.host.bpm, 90.0f);
    EXPECT_EQ(j.sync.timeFactor(), 0.5);
    EXPECT_EQ(j.sync.refusedTempo(), 0.0);
    j.host.bpm = 91;
    j.sync.idle(3);
    EXPECT_NEAR(j.session->bpm, 182, 1e-4);
    // At double time likewise.
    j.session->bpm = 30;
    j.sync.idle(4);
    EXPECT_FLOAT_EQ(j.host.bpm, 60.0f);
    EXPECT_EQ(j.sync.timeFactor(), 2.0);

    // Neither: said, not played, the program's own tempo kept (not an end
    // of the window)...
    j.session->bpm = 301;
    j.sync.idle(5);
    EXPECT_FLOAT_EQ(j.host.bpm, 60.0f);
    EXPECT_DOUBLE_EQ(j.sync.refusedTempo(), 301.0);
    EXPECT_EQ(j.sync.timeFactor(), 1.0);
    // ...and not sent back over the session's.
    j.sync.idle(6);
    EXPECT_DOUBLE_EQ(j.session->bpm, 301.0);

    // The program's own change goes to the session and ends the refusal.
    j.host.bpm = 124.2f;
    j.sync.idle(7);
    EXPECT_NEAR(j.session->bpm, 124.2, 1e-4);
    EXPECT_EQ(j.sync.refusedTempo(), 0.0);
    EXPECT_FLOAT_EQ(j.host.bpm, 124.2f);
    blPrefs.link = 0;
}

TEST(LinkSync, StartAndStopCrossBothWaysAndEveryStartWaitsForTheBar)
{
    Joined j;
    // One bar at 120 is 2000 ms: started at 500, the program waits for 2000.
    j.session->isPlaying = true;
    for (double t = 500; t < 1990; t += 10) j.sync.idle(t);
    EXPECT_FALSE(j.host.isPlaying);
    for (double t = 1990; t < 2030; t += 10) j.sync.idle(t);
    EXPECT_TRUE(j.host.isPlaying);
    EXPECT_EQ(j.host.plays, 1);
    // Not told back as a start of this side's.
    EXPECT_TRUE(j.session->isPlaying);

    j.session->isPlaying = false;
    j.sync.idle(2100);
    EXPECT_FALSE(j.host.isPlaying);

    j.host.isPlaying = true;
    j.sync.idle(2200);
    EXPECT_TRUE(j.session->isPlaying);
    j.host.isPlaying = false;
    j.sync.idle(2300);
    EXPECT_FALSE(j.session->isPlaying);

    // Started here while a peer shares the session: held for the session's
    // bar (4000), which starts the peer at once; a stop while held lets it go.
    EXPECT_TRUE(j.sync.holdStart(2500));
    EXPECT_TRUE(j.session->isPlaying);
    for (double t = 2500; t < 3990; t += 10) j.sync.idle(t);
    EXPECT_FALSE(j.host.isPlaying);
    for (double t = 3990; t < 4030; t += 10) j.sync.idle(t);
    EXPECT_TRUE(j.host.isPlaying);
    EXPECT_EQ(j.host.plays, 2);
    j.host.isPlaying = false;
    j.session->isPlaying = false;
    j.sync.idle(4100);
    EXPECT_TRUE(j.sync.holdStart(4200));
    j.sync.dropHeldStart(4300);
    EXPECT_FALSE(j.session->isPlaying);
    for (double t = 4300; t < 6100; t += 10) j.sync.idle(t);
    EXPECT_FALSE(j.host.isPlaying);

    // Left, the session's start changes nothing here.
    j.sync.join(false);
    j.session->isPlaying = true;
    for (double t = 2400; t < 6000; t += 10) j.sync.idle(t);
    EXPECT_FALSE(j.host.isPlaying);
    EXPECT_EQ(blPrefs.link, 0);
}

}  // namespace
