// The mixer and the resampler: gains, pans and saturation to the sample,
// synchronised volume and pan, the level meters' delay, the tempo model.
#include <gtest/gtest.h>

#include <cmath>

#include "audio/EngineFixture.h"

using namespace enginetest;

namespace {

class Mixer : public LowerLayer {
protected:
    // A track playing a loop that holds one value on each side.
    void playConstant(int trackNo, int16_t left, int16_t right)
    {
        const std::string name = testsupport::join("c", trackNo, ".wav");
        ASSERT_TRUE(writeConstantLoop(dir.file(name), 4 * kBeat, left, right));
        AddSongVTrack(kelPath(dir.file(name)).c_str(), 8, 0);
        ASSERT_EQ(TrackPlay(trackNo, NumVTracks), 0);
        service();
    }
};

}  // namespace

TEST_F(Mixer, FullScaleTrackAndSaturationOfTwo)
{
    playConstant(1, 32767, -32768);
    std::vector<int16_t> out = mixBlock();
    EXPECT_EQ(out[0], 32511);  // 32767 x 127/128, truncated
    EXPECT_EQ(out[1], -32512);
    EXPECT_EQ(out[2 * 2047], 32511);

    playConstant(2, 32767, -32768);
    out = mixBlock();
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32767);  // the negative limit is -32767
    EXPECT_EQ(TimeLine.load(), 2 * kMixBlock);
}

TEST_F(Mixer, PanLawAndVolume)
{
    playConstant(1, 20000, 20000);
    TrackPan(1, 0);
    std::vector<int16_t> out = mixBlock();
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], unity(20000));

    TrackPan(1, 127);
    out = mixBlock();
    EXPECT_EQ(out[0], unity(20000));
    EXPECT_EQ(out[1], 0);

    // Between, the quiet side falls linearly over 63 steps.
    TrackPan(1, 32);
    out = mixBlock();
    EXPECT_EQ(out[0], static_cast<int>(20000 * static_cast<float>(127.0 / 128 * 32 / 63)));
    EXPECT_EQ(out[1], unity(20000));
    TrackPan(1, 95);
    out = mixBlock();
    EXPECT_EQ(out[0], unity(20000));
    EXPECT_EQ(out[1], static_cast<int>(20000 * static_cast<float>(32.0 / 63 * 127 / 128)));

    TrackPan(1, 63);
    TrackVolume(1, 64);
    MasterVolume(100);
    out = mixBlock();
    EXPECT_EQ(out[0], static_cast<int>(20000 * static_cast<float>(64.0 / 128 * 100 / 128)));
}

TEST_F(Mixer, SilentVolumeSkipsTrackAndMetersTrailByDistance)
{
    playConstant(1, 9000, 7000);
    playConstant(2, 12000, 11000);
    TrackVolume(1, 0);
    ttPeak* left1 = nullptr;
    ttPeak* left2 = nullptr;
    ttPeak* right2 = nullptr;
    LGetTrackPeaks(0, &left1, nullptr);
    LGetTrackPeaks(1, &left2, &right2);
    ASSERT_EQ(left2, &ttTrackPeaks[1]);
    ASSERT_EQ(right2, &ttTrackPeaks[9]);

    // ttDistance 8: a block's peaks reach the held values 8 blocks later.
    for (int b = 0; b < 8; ++b) mixBlock();
    EXPECT_EQ(left2->load(), 0);
    mixBlock();
    EXPECT_EQ(left2->load(), 12000);  // before volume and pan
    EXPECT_EQ(right2->load(), 11000);
    EXPECT_EQ(left1->load(), -1);  // volume 0: not mixed, no peak
    EXPECT_EQ(mixBlock()[0], unity(12000));

    // The held peak only rises; the reader resets it.
    left2->store(-1);
    mixBlock();
    EXPECT_EQ(left2->load(), 12000);

    // Playing slower, the meters come sooner (ttDistance 15: one block).
    EXPECT_EQ(SetMixBPM(60000), 44099);
    TrackVolume(1, 127);
    left1->store(-1);
    mixBlock();
    EXPECT_EQ(left1->load(), 0);  // the row due holds no peak of track 1 yet
    mixBlock();
    EXPECT_EQ(left1->load(), 9000);
}

TEST_F(Mixer, MixTempoFramesPerBeatAndMeterDistance)
{
    EXPECT_EQ(SetMixBPM(120000), 22049);
    EXPECT_EQ(ttDistance.load(), 7);
    EXPECT_EQ(SetMixBPM(240000), 15564);  // at most the window's end, 170
    EXPECT_EQ(ttDistance.load(), 5);
    EXPECT_EQ(SetMixBPM(170000), 15564);
    // A link pacing the mix to keep its beat on another's may go 12.5 % past it.
    EXPECT_EQ(SetMixBPM(240000, true), 13834);
    EXPECT_EQ(SetMixBPM(180000, true), 14699);  // 180 as it is, the frames as 120 has them (22049)
    EXPECT_EQ(SetMixBPM(60000), 44099);
    EXPECT_EQ(ttDistance.load(), 15);
    EXPECT_EQ(ResampledBPM.load(), 44099);
    // No tempo, or no song armed: nothing changes.
    EXPECT_EQ(SetMixBPM(0), 44099);
    EXPECT_EQ(SetMixBPM(-5), 44099);
    BPM.store(0);
    EXPECT_EQ(SetMixBPM(120000), 44099);
}

TEST_F(Mixer, ResampledOutputConsumesSongFramesByTempo)
{
    const int loop = addLoop(3, 4 * kBeat, 8);
    ASSERT_EQ(TrackPlay(1, loop), 0);
    service();
    std::vector<int16_t> out(2 * kMixBlock);

    // At the song's own tempo (22049 after the float tempo) frames pass unchanged.
    SetMixBPM(120000);
    GetResampled(out.data(), kMixBlock);
    EXPECT_EQ(TimeLine.load(), 2048);
    EXPECT_EQ(resBufPtr, 0);
    for (int f = 0; f < kMixBlock; f += 97) {
        EXPECT_EQ(out[2 * f], unity(loopLeft(3, f))) << f;
        EXPECT_EQ(out[2 * f + 1], unity(loopRight(3, f))) << f;
    }

    // Faster and slower, each chunk of 2048 output frames consumes the song
    // frames its tempo gives it, mixed as they are needed, not a block ahead.
    SetMixBPM(240000);  // held at 170: 2901 song frames for 2048
    GetResampled(out.data(), kMixBlock);
    EXPECT_EQ(TimeLine.load() - resBufPtr, 2048 + 2901);
    GetResampled(out.data(), kMixBlock);
    EXPECT_EQ(TimeLine.load() - resBufPtr, 2048 + 2 * 2901);
    EXPECT_LT(resBufPtr, 256);
    SetMixBPM(60000);  // 1024 song frames for 2048
    for (int piece : {512, 1000, 536}) GetResampled(out.data(), piece);
    EXPECT_EQ(TimeLine.load() - resBufPtr, 2048 + 2 * 2901 + 1024);
    EXPECT_LT(resBufPtr, 256);
}

TEST(Resampler, ThreeFramesIntoTwoAndTheLastFrameCopied)
{
    const int16_t in[6] = {100, -100, 200, -200, 301, -301};
    int16_t out[6] = {};
    EXPECT_EQ(Resample(out, in, 2, 3), 2);
    EXPECT_EQ(out[0], 100);
    EXPECT_EQ(out[1], -100);
    EXPECT_EQ(out[2], 250);   // halfway from 200 to 301, truncated
    EXPECT_EQ(out[3], -250);  // toward zero

    // Two into three: the step is 2/3; the last output frame lands on the
    // last input frame, which is copied.
    EXPECT_EQ(Resample(out, in, 3, 2), 3);
    EXPECT_EQ(out[0], 100);
    EXPECT_EQ(out[2], 100 + static_cast<int>(100 * static_cast<float>(66 * 0.01)));  // p = 66
    EXPECT_EQ(out[4], 200);
    EXPECT_EQ(out[5], -200);

    // Equal lengths copy.
    EXPECT_EQ(Resample(out, in, 3, 3), 3);
    EXPECT_EQ(out[4], 301);
}

TEST_F(Mixer, SynchronisedVolumeAndPanLandOnTheCycle)
{
    playConstant(1, 10000, 10000);
    TimeLine.store(1000);
    VolumeSync2(1, 50);
    EXPECT_EQ(track(1).syncTime, kCycle);  // 705600
    PanSync2(1, 0);

    // 704512 is the last block start before 705600.
    TimeLine.store(704512);
    track(1).writePos = 704512 + kRing;  // the ring's content does not matter here
    EXPECT_EQ(mixBlock()[0], unity(10000));
    std::vector<int16_t> out = mixBlock();                                                    // 706560
    EXPECT_EQ(out[0], 0);                                                                     // pan 0
    EXPECT_EQ(out[1], static_cast<int>(10000 * static_cast<float>(50.0 / 128 * 128 / 128)));  // volume 50
    EXPECT_EQ(track(1).syncTime, kNever);

    // An immediate volume cancels one still pending.
    VolumeSync2(1, 20);
    TrackVolume(1, 90);
    TimeLine.store(2 * kCycle);
    track(1).writePos = 2 * kCycle + kRing;
    mixBlock();
    EXPECT_EQ(track(1).volume, 90);
}

TEST_F(Mixer, OutOfRangeTracksVolumesAndPansAreClamped)
{
    EXPECT_EQ(MasterVolume(200), 128);
    EXPECT_EQ(MasterVolume(-5), 0);
    EXPECT_EQ(MasterVol.load(), 0);
    EXPECT_EQ(TrackVolume(0, 50), 50);
    EXPECT_EQ(track(1).volume, 50);
    EXPECT_EQ(TrackVolume(12, 50), 50);
    EXPECT_EQ(track(8).volume, 50);
    EXPECT_EQ(TrackVolume(3, 300), 127);
    EXPECT_EQ(TrackPan(3, -4), 0);
    EXPECT_EQ(TrackPan(-7, 200), 127);
    EXPECT_EQ(track(1).pan, 127);
}
