// The facade and the playback control over the running engine: what each
// call sends below, when the device opens and closes, and the life cycle.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "audio/EngineRunFixture.h"
#include "audio/LoopCache.h"
#include "audio/OVMixer.h"
#include "audio/WinApi.h"
#include "support/MixReference.h"

using namespace enginetest;

namespace {

using Facade = EngineRun;
using Playback = EngineRun;

}  // namespace

TEST_F(Facade, StartsQuietAndArmsAtTheSongTempo)
{
    EXPECT_EQ(MasterVol.load(), 63);
    EXPECT_EQ(NumVTracks, 0);
    EXPECT_EQ(SAMPFREQ.load(), 44100);
    EXPECT_EQ(BLOCKLEN.load(), 16384);
    EXPECT_EQ(engine.getMixerBeat(), -1);
    EXPECT_EQ(engine.state(), BLEngineState::stopped);

    engine.samplesBpm(119.9f);
    EXPECT_EQ(SongBPM, 119);
    EXPECT_EQ(PlayingStatus.load(), 1);
    EXPECT_EQ(engine.state(), BLEngineState::armed);
    EXPECT_EQ(BPM.load(), 2646000 / 119);
    EXPECT_EQ(engine.getMixerBeat(), -1);
    EXPECT_EQ(out->opens, 0);  // armed: the sound card stays free

    engine.stop();  // not playing: nothing is sent
    EXPECT_EQ(PlayingStatus.load(), 1);
    engine.play();
    engine.play();
    EXPECT_EQ(engine.playing, 1);
    EXPECT_EQ(PlayingStatus.load(), 1);
    engine.setMixerFrequency(22050);  // ignored unless stopped
    EXPECT_EQ(SAMPFREQ.load(), 44100);

    engine.stop();
    EXPECT_EQ(PlayingStatus.load(), 0);
    engine.samplesBpm(0.5f);  // below 1: the engine stays unarmed
    EXPECT_EQ(SongBPM, 0);
    EXPECT_EQ(PlayingStatus.load(), 0);
    engine.setMixerBpm(1e30f);  // held at the int range, then at the window's end
    EXPECT_EQ(ResampledBPM.load(),
              static_cast<int>(2646000.0L / (169000 * static_cast<long double>(0.001f))));
}

TEST_F(Facade, TrackCallsReachTheRightTrackAndLoop)
{
    loadSong(120, 8, 4);
    engine.setTrackSample(2, 5);  // not playing: nothing
    EXPECT_EQ(field(2, &TRACK::curLoop), -1);

    engine.play();
    engine.setTrackSample(2, 5);  // the first loop starts the device
    EXPECT_EQ(PlayingStatus.load(), 2);
    EXPECT_EQ(out->opens, 1);
    ASSERT_FALSE(out->sizes.empty());
    EXPECT_EQ(out->sizes[0], 32768u);
    EXPECT_EQ(field(2, &TRACK::curLoop), 5);
    EXPECT_EQ(field(2, &TRACK::prevStart), 0);  // opened and read before the output started

    engine.sync_atGrooveSet(1);
    engine.setTrackSample(2, 6);
    EXPECT_EQ(field(2, &TRACK::schedLoop), 6);
    EXPECT_EQ(field(2, &TRACK::schedTime), 705600);
    engine.setTrackSample(2, -1);
    EXPECT_EQ(field(2, &TRACK::schedLoop), -1);
    engine.setTrackVolume(4, 30);
    EXPECT_EQ(field(4, &TRACK::syncVolume), 30);
    EXPECT_EQ(field(4, &TRACK::volume), 127);
    engine.setTrackPan(4, 10);
    EXPECT_EQ(field(4, &TRACK::syncPan), 53);
    engine.sync_atGrooveSet(0);

    engine.setTrackSample(0, 1);
    EXPECT_EQ(field(0, &TRACK::curLoop), 1);
    engine.setTrackSample(0, -1);
    EXPECT_EQ(field(0, &TRACK::curLoop), -1);

    engine.setTrackPan(4, 0);
    EXPECT_EQ(field(4, &TRACK::pan), 63);
    engine.setTrackPan(4, -63);
    EXPECT_EQ(field(4, &TRACK::pan), 126);
    engine.setTrackPan(4, 63);
    EXPECT_EQ(field(4, &TRACK::pan), 0);
    engine.setTrackVolume(4, 90);
    EXPECT_EQ(field(4, &TRACK::volume), 90);

    engine.setMixerBpm(99.9999f);  // 99999 thousandths, not 100000
    EXPECT_EQ(ResampledBPM.load(), 26460);
    engine.setMixerBpm(120.0f);
    EXPECT_EQ(ResampledBPM.load(), 22049);
    engine.setMixerVolume(200);
    EXPECT_EQ(MasterVol.load(), 128);

    ttPeak* left = nullptr;
    ttPeak* right = nullptr;
    engine.getTrackPeaks(3, &left, &right);
    EXPECT_EQ(left, &ttTrackPeaks[3]);
    EXPECT_EQ(right, &ttTrackPeaks[11]);
    EXPECT_EQ(engine.copyAudioFile("a", "b"), 0);

    engine.stop();
    EXPECT_EQ(PlayingStatus.load(), 0);
    EXPECT_FALSE(out->isOpen);
    engine.setTrackVolume(5, 77);  // reaches the tracks while stopped too
    EXPECT_EQ(field(5, &TRACK::volume), 77);
}

TEST_F(Facade, LoopPathsAreKeptAbsolute)
{
    engine.samplesBpm(120);
    engine.samplesListAdd(":sub:..:b.wav", 8);
    const std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(std::string(VTracks[0].path), kelPath(cwd + "/b.wav"));
    engine.samplesListAdd("home:me:x.wav", 8);
    EXPECT_STREQ(VTracks[1].path, "home:me:x.wav");
    engine.samplesListAdd(("home:" + std::string(300, 'z') + ".wav").c_str(), 8);
    engine.samplesListAdd(nullptr, 8);
    engine.samplesListAdd("home:me:y.wav", 2);
    EXPECT_EQ(NumVTracks, 5);
    EXPECT_STREQ(VTracks[2].path, "");
    EXPECT_STREQ(VTracks[3].path, "");
    EXPECT_STREQ(VTracks[4].path, "home:me:y.wav");
    EXPECT_EQ(VTracks[4].beats, 16);
}

TEST_F(Facade, ExitAndInitRestartTheEngine)
{
    loadSong(120, 2, 4);
    engine.play();
    engine.setTrackSample(0, 0);
    ASSERT_EQ(PlayingStatus.load(), 2);
    EXPECT_EQ(engine.state(), BLEngineState::running);
    engine.sync_atGrooveSet(1);
    engine.exit();
    EXPECT_EQ(PlayingStatus.load(), 0);
    EXPECT_EQ(engine.state(), BLEngineState::stopped);
    EXPECT_EQ(mmAud, nullptr);
    EXPECT_EQ(Tracks[0].file, F_NOFILE);  // no loop file stays open
    EXPECT_FALSE(LoopCache_Resident()) << "nor the song's loops in memory";
    EXPECT_EQ(LoopCache_Bytes(), 0);
    EXPECT_EQ(engine.playing, 1);
    EXPECT_EQ(engine.syncAtGrooveSet, 1);

    engine.init();
    EXPECT_EQ(NumVTracks, 0);
    EXPECT_EQ(MasterVol.load(), 63);
    loadSong(120, 2, 4);
    engine.stop();
    engine.play();
    engine.sync_atGrooveSet(0);
    engine.setTrackSample(0, 1);
    EXPECT_EQ(PlayingStatus.load(), 2);
    for (int i = 0; i < 40; ++i) tick();
    EXPECT_EQ(engine.getMixerBeat(), (TimeLine.load() - 16384) / 22050 % 32);
    EXPECT_GT(TimeLine.load(), 16384 + 22050);
}

TEST_F(Playback, ArmStopAndRearm)
{
    loadSong(120, 2, 4);
    MMSysAudio* armed = mmAud;
    ASSERT_NE(armed, nullptr);
    EXPECT_EQ(BeginPlay(), 1);  // armed already: nothing changes
    EXPECT_EQ(mmAud, armed);

    EXPECT_EQ(StopPlay(), 0);  // armed: never opened the device
    EXPECT_EQ(mmAud, nullptr);
    EXPECT_EQ(Tracks[0].ring, nullptr);
    EXPECT_EQ(out->opens, 0);
    EXPECT_EQ(StopPlay(), 1);

    ASSERT_EQ(BeginPlay(), 0);
    ASSERT_EQ(TrackPlay(1, 1), 0);
    ASSERT_EQ(PlayingStatus.load(), 2);
    EXPECT_EQ(dowldproc.load(), 1);
    // The card unplugged while playing is told; the stop closes it whatever.
    EXPECT_TRUE(engine.outputAlive());
    out->gone = true;
    EXPECT_FALSE(engine.outputAlive());
    EXPECT_EQ(StopPlay(), 0);
    EXPECT_TRUE(engine.outputAlive());
    EXPECT_EQ(ExitBackThread.load(), 0);  // the loader acknowledged the pause
    EXPECT_EQ(dowldproc.load(), 0);
    EXPECT_EQ(Tracks[0].ring, nullptr);
    EXPECT_EQ(resBuf, nullptr);
    EXPECT_EQ(out->closes, 1);
    ASSERT_EQ(BeginPlay(), 0);
    EXPECT_NE(mmAud, nullptr);
    EXPECT_EQ(PlayingStatus.load(), 1);
}

TEST_F(Playback, AnOutputThatWillNotOpenLeavesTheEngineArmed)
{
    loadSong(120, 3, 4);
    engine.play();
    out->refuseOpen = true;
    EXPECT_EQ(TrackPlay(1, 1), 1);
    EXPECT_EQ(PlayingStatus.load(), 1);
    EXPECT_EQ(Tracks[0].file, F_NOFILE);
    EXPECT_EQ(timerID, 0u);

    // The next choice tries again and starts what was chosen before too.
    out->refuseOpen = false;
    EXPECT_EQ(TrackPlay(2, 2), 0);
    EXPECT_EQ(PlayingStatus.load(), 2);
    EXPECT_EQ(field(0, &TRACK::curLoop), 0);
    EXPECT_EQ(field(0, &TRACK::prevStart), 0);
    // Rings sized for the window's end, 170 BPM, paced 12.5 % faster still:
    // 4 x 16384 x 191.25 / 156, in whole mixer blocks.
    EXPECT_EQ(field(0, &TRACK::writePos), MixRingFrames(16384));
    EXPECT_EQ(field(1, &TRACK::writePos), MixRingFrames(16384));
    EXPECT_EQ(MixRingFrames(16384), 81920);
}

TEST_F(Facade, ASongLoadedWhileArmedPlaysAtItsOwnTempoWithAllItsTracksAtOnce)
{
    loadSong(120, 2, 4);
    loadSong(90, 2, 4);  // no play between: the engine was armed at 120
    EXPECT_EQ(SongBPM, 90);
    EXPECT_EQ(BPM.load(), 29400);

    // One play command, in the player's order.
    engine.changesBegin();
    engine.play();
    engine.setTrackSample(0, 0);
    engine.setTrackSample(5, 1);
    engine.setTrackVolume(5, 64);
    engine.setTrackPan(5, -30);
    engine.setMixerBpm(90);
    engine.setMixerVolume(128);
    EXPECT_EQ(PlayingStatus.load(), 1) << "nothing is heard before the command is complete";
    engine.changesEnd();
    ASSERT_EQ(PlayingStatus.load(), 2);
    for (int i = 0; i < 7; ++i) {
        ASSERT_TRUE(LoaderWaitIdle(10000));
        tick(9);
    }
    engine.stop();

    // Both loops from the first frame, each restarting every 4 beats of 90 BPM.
    mixref::Chain ref;
    ref.songBpm = 90;
    ref.mixBpm = 90;
    ref.master = 128;
    ref.tracks = {mixref::track(testLoopAt(1, 117600), 127, 0),
                  mixref::track(testLoopAt(2, 117600), 64, -30)};
    const std::vector<int16_t> heard = played();
    ASSERT_GT(heard.size() / 2, 117600u + 4096);
    EXPECT_EQ(mixref::firstDifference(heard, ref.render(static_cast<int64_t>(heard.size() / 2))), -1);
}

// A song loads armed; its first Play with every track silent starts the
// clock all the same, as every later one does.
TEST_F(Facade, TheFirstPlayAfterASongLoadsRunsTheClockOverSilentTracks)
{
    for (int round = 0; round < 2; ++round) {
        loadSong(120, 2, 4);
        ASSERT_EQ(PlayingStatus.load(), 1) << round;
        engine.changesBegin();
        engine.play();
        for (short t = 0; t < 8; ++t) engine.setTrackSample(t, -1);
        engine.setMixerBpm(120);
        engine.changesEnd();
        EXPECT_EQ(PlayingStatus.load(), 2) << "play number " << round + 1;
        const int64_t from = TimeLine.load();
        for (int i = 0; i < 4; ++i) tick();
        EXPECT_GT(TimeLine.load(), from) << "play number " << round + 1;
        engine.stop();
    }
}

namespace {

// A disk that stops answering: reads on threads other than the test's wait
// while the gate is closed.
struct DiskGate {
    std::mutex m;
    std::condition_variable cv;
    bool closed = false;
    int waiting = 0;
    std::thread::id free;
} gate;

void gatedRead(void*)
{
    std::unique_lock<std::mutex> hold(gate.m);
    if (!gate.closed || std::this_thread::get_id() == gate.free) return;
    ++gate.waiting;
    gate.cv.notify_all();
    gate.cv.wait(hold, [] { return !gate.closed; });
    --gate.waiting;
}

void setGate(bool closed)
{
    {
        std::lock_guard<std::mutex> hold(gate.m);
        gate.closed = closed;
    }
    gate.cv.notify_all();
}

// A stop that does not come back is this test's failure: end the run
// rather than hang it.
void stopWithinAMinute(BLEngine& engine)
{
    auto stopped = std::async(std::launch::async, [&] { engine.stop(); });
    if (stopped.wait_for(std::chrono::minutes(1)) == std::future_status::ready) return;
    std::fputs("the stop did not return\n", stderr);
    std::_Exit(1);
}

}  // namespace

TEST_F(Playback, AStopGivesUpOnADiskThatDoesNotAnswerAndPlayingGoesOn)
{
    // A song too big for memory: it streams, and the disk can hang.
    struct Streamed {
        Streamed() { LoopCache_SetBudget(0); }
        ~Streamed() { LoopCache_SetBudget(int64_t{200} << 20); }
    } streamed;
    loadSong(120, 2, 4);
    gate.free = std::this_thread::get_id();
    F_readObserver.store(gatedRead);
    engine.play();
    engine.setTrackSample(0, 0);
    ASSERT_EQ(PlayingStatus.load(), 2);

    // The loader's next read hangs.
    setGate(true);
    for (int i = 0; i < 3; ++i) tick(9);
    {
        std::unique_lock<std::mutex> hold(gate.m);
        ASSERT_TRUE(gate.cv.wait_for(hold, std::chrono::seconds(30), [] { return gate.waiting > 0; }));
    }
    stopWithinAMinute(engine);
    EXPECT_EQ(PlayingStatus.load(), 0);
    EXPECT_FALSE(out->isOpen);
    EXPECT_TRUE(engine.loaderStalled()) << "the user is told";
    EXPECT_FALSE(engine.loaderStalled()) << "once";

    // The program stays usable: another playback starts while the disk
    // still hangs, and plays on when it answers again.
    const size_t before = out->stream.size();
    engine.play();
    engine.setTrackSample(1, 1);
    ASSERT_EQ(PlayingStatus.load(), 2);
    tick(9);
    setGate(false);
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(LoaderWaitIdle(10000));
        tick(9);
    }
    stopWithinAMinute(engine);
    EXPECT_FALSE(engine.loaderStalled());
    F_readObserver.store(nullptr);

    mixref::Chain ref;
    ref.tracks = {mixref::track(testLoopAt(2, 88200), 127, 0)};
    const std::vector<int16_t> heard = played(before);
    ASSERT_GT(heard.size() / 2, 65536u + 8192) << "past what the first fill held";
    EXPECT_EQ(mixref::firstDifference(heard, ref.render(static_cast<int64_t>(heard.size() / 2))), -1);
}

namespace {
std::atomic<int> readsSeen{0};
void countRead(void*)
{
    readsSeen.fetch_add(1);
}
}  // namespace

TEST_F(Facade, ASongPlaysFromMemoryWithoutTheDiskAndStreamsWhenOverTheBudget)
{
    for (const bool fits : {true, false}) {
        SCOPED_TRACE(fits ? "in memory" : "streamed");
        LoopCache_SetBudget(fits ? int64_t{200} << 20 : 100000);
        loadSong(120, 3, 4);
        EXPECT_EQ(LoopCache_Resident(), fits);
        EXPECT_EQ(LoopCache_Bytes() > 0, fits);
        engine.play();
        engine.setTrackSample(0, 0);
        readsSeen.store(0);
        F_readObserver.store(countRead);
        engine.setTrackSample(1, 2);  // heard at once, from memory
        tick(12);
        EXPECT_TRUE(LoaderWaitIdle(10000));
        EXPECT_EQ(field(1, &TRACK::curLoop), 2);
        F_readObserver.store(nullptr);
        if (fits) {
            EXPECT_EQ(readsSeen.load(), 0);
        } else {
            EXPECT_GT(readsSeen.load(), 0);
        }
        engine.stop();
    }
    LoopCache_SetBudget(int64_t{200} << 20);
}

TEST_F(Playback, TheWholeTempoWindowPlaysSampleExactStreamedAndFromMemory)
{
    // A 90 BPM song at 140, 50 over its tempo and past 1.3 times it; a
    // faster tempo asked for is held at the window's end.
    for (const bool fits : {true, false}) {
        SCOPED_TRACE(fits ? "in memory" : "streamed");
        LoopCache_SetBudget(fits ? int64_t{200} << 20 : 0);
        loadSong(90, 2, 4);
        EXPECT_EQ(LoopCache_Resident(), fits);
        const size_t before = out->stream.size();
        engine.play();
        engine.setMixerBpm(150.0f);
        EXPECT_EQ(ResampledBPM.load(),
                  static_cast<int>(2646000.0L / (140000 * static_cast<long double>(0.001f))));
        engine.setMixerBpm(140.0f);
        engine.setTrackSample(0, 1);
        ASSERT_EQ(PlayingStatus.load(), 2);
        // More song frames than a ring holds, several times over.
        for (int i = 0; i < 40; ++i) {
            ASSERT_TRUE(LoaderWaitIdle(10000));
            tick(9);
        }
        engine.stop();

        mixref::Chain ref;
        ref.songBpm = 90;
        ref.mixBpm = 140.0f;
        ref.tracks = {mixref::track(testLoopAt(2, 4 * 29400), 127, 0)};
        const std::vector<int16_t> heard = played(before);
        ASSERT_GT(heard.size() / 2, 40u * 9 * 2048 * 9 / 10);
        EXPECT_EQ(mixref::firstDifference(heard, ref.render(static_cast<int64_t>(heard.size() / 2))), -1);
    }
    LoopCache_SetBudget(int64_t{200} << 20);
}
