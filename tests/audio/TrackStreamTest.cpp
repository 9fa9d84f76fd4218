// Streaming and beat-locked looping, checked on what the mixer hands out:
// which loop, and which frame of it, sounds at each timeline frame.
#include <gtest/gtest.h>

#include "audio/EngineFixture.h"

using namespace enginetest;

namespace {

class Streaming : public LowerLayer {
protected:
    // Expects output frame `at` (counted from `from`) of a rendered span to
    // be frame f of loop `id`, or silence for id 0.
    static void expectFrame(const std::vector<int16_t>& out, int64_t from, int64_t at, int id, int f)
    {
        const size_t i = static_cast<size_t>(at - from);
        ASSERT_LT(2 * i + 1, out.size());
        const int wantL = id ? unity(loopLeft(id, f)) : 0;
        const int wantR = id ? unity(loopRight(id, f)) : 0;
        EXPECT_EQ(out[2 * i], wantL) << "timeline frame " << at;
        EXPECT_EQ(out[2 * i + 1], wantR) << "timeline frame " << at;
    }

    // Every frame p of [a, b) of a span rendered from `from` is loop `id` at
    // frame (p - origin) mod period, or silence for id 0.
    static void expectSpan(const std::vector<int16_t>& out, int64_t from, int64_t a, int64_t b, int id,
                           int64_t origin, int64_t period = kNever)
    {
        ASSERT_LE(static_cast<size_t>(2 * (b - from)), out.size());
        for (int64_t p = a; p < b; ++p) {
            const size_t i = static_cast<size_t>(p - from);
            const int f = static_cast<int>((p - origin) % period);
            const int wantL = id ? unity(loopLeft(id, f)) : 0;
            const int wantR = id ? unity(loopRight(id, f)) : 0;
            if (out[2 * i] != wantL || out[2 * i + 1] != wantR) {
                ADD_FAILURE() << "timeline frame " << p << ": " << out[2 * i] << "," << out[2 * i + 1]
                              << " instead of " << wantL << "," << wantR;
                return;
            }
        }
    }
};

}  // namespace

TEST_F(Streaming, ImmediateChangeSeeksIntoTheCurrentPeriod)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    const int b = addLoop(2, 4 * kBeat, 8);
    ASSERT_EQ(TrackPlay(1, a), 0);
    TRACK& t = track(1);
    EXPECT_EQ(t.nextStart, 0);
    ASSERT_TRUE(ReadFromFile(&t, kRing));
    TimeLine.store(36864);
    ReadFromFile(&t, 100000 - kRing);
    ASSERT_EQ(t.writePos, 100000);

    ASSERT_EQ(TrackPlay(1, b), 0);
    EXPECT_EQ(t.curLoop, b - 1);
    EXPECT_EQ(t.nextStart, 88200);  // the start of b's period that holds 100000
    EXPECT_EQ(t.prevStart, -1);

    ReadFromFile(&t, 10000);
    EXPECT_EQ(t.prevStart, 88200);
    EXPECT_EQ(t.writePos, 110000);
    // What was in the ring plays first; b comes in at 100000, 11800 frames in.
    TimeLine.store(98304);
    const std::vector<int16_t> out = mixBlock();
    expectSpan(out, 98304, 98304, 100000, 1, 88200);
    expectFrame(out, 98304, 100000, 2, 11800);
    expectSpan(out, 98304, 100000, 98304 + kMixBlock, 2, 88200);
}

TEST_F(Streaming, APeriodWhoseFileAlreadyStartedIsNotStartedAgain)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    TRACK& t = track(1);
    std::lock_guard<std::mutex> hold(t.lock);
    t.curLoop = a - 1;
    t.writePos = 2 * 88200;
    t.prevStart = -1;
    GestioneLooping(&t);
    EXPECT_EQ(t.nextStart, 2 * 88200);
    t.prevStart = 2 * 88200;  // the file that starts there is open already
    GestioneLooping(&t);
    EXPECT_EQ(t.nextStart, 3 * 88200);
}

TEST_F(Streaming, SynchronisedChangeWaitsForTheNextCycle)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    const int b = addLoop(2, 4 * kBeat, 8);
    ASSERT_EQ(TrackPlay(1, a), 0);
    service();
    ASSERT_EQ(TrackPlaySync(1, b), 0);
    EXPECT_EQ(track(1).schedTime, kCycle);  // 705600
    EXPECT_EQ(track(1).schedLoop, b - 1);

    // The old loop to the boundary, the new one from its first frame there.
    const std::vector<int16_t> out = renderTo(kCycle + 3 * kMixBlock);
    expectSpan(out, 0, 0, kCycle, 1, 0, 88200);
    expectFrame(out, 0, kCycle, 2, 0);
    expectSpan(out, 0, kCycle, kCycle + 3 * kMixBlock, 2, kCycle);
    EXPECT_EQ(track(1).schedLoop, -2);

    // Chosen right on a boundary, the change waits for the next one.
    TimeLine.store(kCycle);
    ASSERT_EQ(TrackPlaySync(1, a), 0);
    EXPECT_EQ(track(1).schedTime, 2 * kCycle);
}

TEST_F(Streaming, FiveBeatLoopUnderASwitchAtBeat32)
{
    const int five = addLoop(5, 5 * kBeat, 6);  // 32 / 6 = 5 beats
    const int four = addLoop(4, 4 * kBeat, 8);
    ASSERT_EQ(VTracks[five - 1].beats, 5);
    ASSERT_EQ(TrackPlay(1, five), 0);
    const std::vector<int16_t> early = renderTo(20 * kBeat);
    expectSpan(early, 0, 0, 20 * kBeat, 5, 0, 5 * kBeat);
    ASSERT_EQ(TrackPlaySync(1, four), 0);

    const int64_t from = TimeLine.load();
    const std::vector<int16_t> out = renderTo(kCycle + 4 * kBeat);
    expectSpan(out, from, from, 25 * kBeat, 5, 20 * kBeat);
    expectSpan(out, from, 25 * kBeat, 30 * kBeat, 5, 25 * kBeat);  // the last pass, in full
    expectSpan(out, from, 30 * kBeat, kCycle, 0, 0);               // the pass at 30 never starts
    expectSpan(out, from, kCycle, kCycle + 4 * kBeat, 4, kCycle);
}

TEST_F(Streaming, AFileShorterThanItsPeriodLeavesSilenceToTheNextStart)
{
    const int shortLoop = addLoop(6, 3 * kBeat, 8);  // a 4-beat period
    ASSERT_EQ(TrackPlay(1, shortLoop), 0);
    const std::vector<int16_t> out = renderTo(9 * kBeat);
    expectSpan(out, 0, 0, 3 * kBeat, 6, 0);
    expectSpan(out, 0, 3 * kBeat, 4 * kBeat, 0, 0);
    expectSpan(out, 0, 4 * kBeat, 7 * kBeat, 6, 4 * kBeat);
    expectSpan(out, 0, 7 * kBeat, 8 * kBeat, 0, 0);
    expectSpan(out, 0, 8 * kBeat, 9 * kBeat, 6, 8 * kBeat);
}

TEST_F(Streaming, ScheduledStopFallsOnTheBoundaryFrame)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    ASSERT_EQ(TrackPlay(1, a), 0);
    service();
    ASSERT_EQ(TrackPlay2(1, 0, 1), 0);  // no loop, at the next cycle
    EXPECT_EQ(track(1).schedLoop, -1);
    EXPECT_EQ(track(1).schedTime, kCycle);

    // Inside the block that holds the boundary: the loop to it, silence after.
    const std::vector<int16_t> out = renderTo(706560 + 2 * kMixBlock);
    expectSpan(out, 0, 704512, 705600, 1, 0, 88200);
    expectSpan(out, 0, 705600, 706560 + 2 * kMixBlock, 0, 0);
    EXPECT_EQ(track(1).curLoop, -1);
    EXPECT_EQ(track(1).nextStart, kNever);
    service();
    EXPECT_EQ(track(1).file, F_NOFILE);  // the loader closed it
}

TEST_F(Streaming, TrackNumbersAndSilencingLoopNumbers)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    EXPECT_EQ(TrackPlay(9, a), 1);
    EXPECT_EQ(TrackPlay(0, a), 1);
    for (int none : {0, 513, -1}) {
        ASSERT_EQ(TrackPlay(1, a), 0);
        renderTo(TimeLine.load() + kMixBlock);
        ASSERT_EQ(TrackPlay(1, none), 0);
        EXPECT_EQ(track(1).curLoop, -1) << none;
        EXPECT_EQ(mixBlock()[0], 0) << none;  // silent at once
    }

    // The loop the track already plays: nothing changes.
    ASSERT_EQ(TrackPlay(1, a), 0);
    renderTo(TimeLine.load() + 4 * kMixBlock);
    const int64_t next = track(1).nextStart;
    const int64_t prev = track(1).prevStart;
    EXPECT_EQ(TrackPlay(1, a), 0);
    EXPECT_EQ(TrackPlaySync(1, a), 0);
    EXPECT_EQ(track(1).nextStart, next);
    EXPECT_EQ(track(1).prevStart, prev);
    EXPECT_EQ(track(1).schedLoop, -2);

    // An entry with no loop silences too.
    AddSongVTrack("", 8, 0);
    ASSERT_EQ(TrackPlay(1, NumVTracks), 0);
    EXPECT_EQ(track(1).curLoop, -1);
}

TEST_F(Streaming, ASilenceUndoneWithinTheCycleKeepsTheLoopPlaying)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    ASSERT_EQ(TrackPlay(1, a), 0);
    service();
    ASSERT_EQ(TrackPlay2(1, 0, 1), 0);  // switched off at the next cycle...
    ASSERT_EQ(track(1).schedLoop, -1);
    ASSERT_EQ(TrackPlaySync(1, a), 0);  // ...and on again before it came
    EXPECT_EQ(track(1).schedLoop, -2);
    const std::vector<int16_t> out = renderTo(kCycle + 4 * kMixBlock);
    expectSpan(out, 0, 0, kCycle + 4 * kMixBlock, 1, 0, 88200);
}

TEST_F(Streaming, ImmediateSilenceForgetsAScheduledSwitch)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    const int b = addLoop(2, 4 * kBeat, 8);
    ASSERT_EQ(TrackPlay(1, a), 0);
    service();
    ASSERT_EQ(TrackPlaySync(1, b), 0);
    renderTo(200704);
    ASSERT_EQ(TrackPlay(1, -1), 0);
    EXPECT_EQ(track(1).schedLoop, -2);
    EXPECT_EQ(track(1).curLoop, -1);
    const std::vector<int16_t> out = renderTo(kCycle + 4 * kMixBlock);
    expectSpan(out, 200704, 200704, kCycle + 4 * kMixBlock, 0, 0);
}

TEST_F(Streaming, CurrentBeatTrailsTheMixerByABlockLength)
{
    PlayingStatus.store(1);
    EXPECT_EQ(GetCurrentBeat(), -1);
    PlayingStatus.store(2);
    TimeLine.store(0);
    EXPECT_EQ(GetCurrentBeat(), 0);  // (-16384 / 22050) truncates to 0
    TimeLine.store(16384 + 3 * kBeat + 5);
    EXPECT_EQ(GetCurrentBeat(), 3);
    TimeLine.store(16384 + 33 * kBeat);
    EXPECT_EQ(GetCurrentBeat(), 1);
    // Where a 32-bit timeline ended, the beats go on.
    const int64_t far = (int64_t{1} << 31) + 16384;
    TimeLine.store(far);
    EXPECT_EQ(GetCurrentBeat(), (int64_t{1} << 31) / kBeat % 32);
    TimeLine.store(far + kBeat);
    EXPECT_EQ(GetCurrentBeat(), ((int64_t{1} << 31) / kBeat + 1) % 32);
    // Above about 161 BPM a beat is shorter than the block length.
    BPM.store(14700);  // 180 BPM
    TimeLine.store(0);
    EXPECT_EQ(GetCurrentBeat(), -1);
    TimeLine.store(2048);
    EXPECT_EQ(GetCurrentBeat(), 0);
}

TEST_F(Streaming, ALaggingTrackIsTakenUpAtThePlayPosition)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    ASSERT_EQ(TrackPlay(1, a), 0);
    renderTo(10 * kMixBlock);
    // The loader stalls: the mixer runs 40000 frames past the ring's end.
    const int64_t dryFrom = track(1).writePos;
    while (TimeLine.load() < dryFrom + 40000) mixBlock();
    const int64_t now = TimeLine.load();
    // At once, not at the next period start, and at the matching point.
    const std::vector<int16_t> out = renderTo(now + 2 * kMixBlock);
    EXPECT_EQ(track(1).writePos, now + kRing);
    expectSpan(out, now, now, now + 2 * kMixBlock, 1, now / 88200 * 88200);
}

TEST_F(Streaming, AFileWhollyBeforeItsStartWaitsForTheNextPass)
{
    const int a = addLoop(1, 4 * kBeat, 8);
    const int beatLong = addLoop(7, kBeat, 8);  // one beat of a 4-beat period
    ASSERT_EQ(TrackPlay(1, a), 0);
    renderTo(30 * kMixBlock);  // 61440: beat 2 of the first period
    ASSERT_EQ(TrackPlay(2, beatLong), 0);
    service();
    // Its pass began at 0 and ended at 22050: silence up to the pass at
    // 88200, which the same fill opens and reads.
    EXPECT_EQ(track(2).writePos, 88200 + kBeat);
    EXPECT_EQ(track(2).prevStart, 88200);
    const int64_t from = TimeLine.load();
    const std::vector<int16_t> out = renderTo(88200 + kBeat + 2 * kMixBlock);
    for (int64_t p = from; p < 88200 + kBeat + 2 * kMixBlock; p += 1000) {
        const size_t i = static_cast<size_t>(p - from);
        const int second = p >= 88200 && p < 88200 + kBeat ? loopLeft(7, p - 88200) : 0;
        ASSERT_EQ(out[2 * i], unity(loopLeft(1, p % 88200) + second)) << p;
    }
}
