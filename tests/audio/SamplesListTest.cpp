// The samples list: periods given and measured, and the numbering that must
// hold whatever is added.
#include <gtest/gtest.h>

#include <string>

#include "audio/EngineFixture.h"

using namespace enginetest;

namespace {

using SamplesList = LowerLayer;

// Adds a loop of `frames` frames to be measured; the beats it got.
int measuredBeats(testsupport::TempDir& dir, int frames, int channels = 2)
{
    const std::string path = dir.file("m" + std::to_string(frames) + "c" + std::to_string(channels) + ".wav");
    WaveHeader h;
    h.channels = static_cast<int16_t>(channels);
    EXPECT_TRUE(
        writeBytes(path, waveBytes(std::vector<int16_t>(static_cast<size_t>(frames) * channels, 7), h)));
    AddSongVTrack(kelPath(path).c_str(), 0, 0);
    return VTracks[NumVTracks - 1].beats;
}

}  // namespace

TEST_F(SamplesList, MeasuredLoopsRoundToTheNearestBeat)
{
    ASSERT_EQ(SongBPM, 120);
    EXPECT_EQ(measuredBeats(dir, 88200), 4);
    EXPECT_EQ(measuredBeats(dir, 99225), 4);  // 4.5 beats: an exact half rounds down
    EXPECT_EQ(measuredBeats(dir, 99226), 5);  // repeats 6, so 5 beats
    EXPECT_EQ(measuredBeats(dir, 3 * kBeat), 3);
    EXPECT_EQ(measuredBeats(dir, 7 * kBeat), 8);     // repeats 4
    EXPECT_EQ(measuredBeats(dir, 12 * kBeat), 16);   // repeats 2
    EXPECT_EQ(measuredBeats(dir, 20 * kBeat), 32);   // repeats 1
    EXPECT_EQ(measuredBeats(dir, 100), 1);           // under a beat counts as one
    EXPECT_EQ(measuredBeats(dir, 2 * 88200, 1), 8);  // mono: frames, not bytes
    // Longer than the cycle (repeats 0), or not measurable: the longest period.
    EXPECT_EQ(measuredBeats(dir, 40 * kBeat), 32);
    AddSongVTrack(kelPath(dir.file("missing.wav")).c_str(), 0, 0);
    EXPECT_EQ(VTracks[NumVTracks - 1].beats, 32);
    SetSongBPM(0);
    EXPECT_EQ(measuredBeats(dir, 88200), 32);
    EXPECT_EQ(NumVTracks, 12);
}

TEST_F(SamplesList, GivenRepeatsFollowTheTable)
{
    const int beats[33] = {32, 32, 16, 10, 8, 6, 5, 4, 4, 3, 3, 2, 2, 2, 2, 2, 2,
                           1,  1,  1,  1,  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    for (int repeats = 1; repeats <= 32; ++repeats) {
        AddSongVTrack("home:x.wav", repeats, 0);
        EXPECT_EQ(VTracks[repeats - 1].beats, beats[repeats]) << repeats;
        EXPECT_EQ(VTracks[repeats - 1].extraBeats, 0);
    }
    AddSongVTrack("home:x.wav", 40, 0);  // would be 0 beats
    EXPECT_EQ(VTracks[32].beats, 1);
    AddSongVTrack("home:x.wav", 4, 1);
    EXPECT_EQ(VTracks[33].extraBeats, 4);
}

TEST_F(SamplesList, NumberingHoldsPastTheTableAndForOverlongPaths)
{
    const int first = addLoop(1, 4 * kBeat, 8);
    const std::string longName(260, 'x');
    AddSongVTrack(("home:" + longName + ".wav").c_str(), 8, 0);
    EXPECT_EQ(NumVTracks, 2);
    EXPECT_STREQ(VTracks[1].path, "");  // too long to keep: no loop, never a cut name
    const std::string at247 = "home:" + std::string(247 - 9, 'y') + ".wav";
    ASSERT_EQ(at247.size(), 247u);
    AddSongVTrack(at247.c_str(), 8, 0);
    EXPECT_EQ(std::string(VTracks[2].path), at247);

    for (int i = NumVTracks; i < 512; ++i) AddSongVTrack("home:filler.wav", 8, 0);
    const int last = addLoop(2, 4 * kBeat, 8);
    EXPECT_EQ(last, 513);
    EXPECT_EQ(NumVTracks, 513);

    // Loop 513 has no entry: silence. The numbers below still play.
    ASSERT_EQ(TrackPlay(1, last), 0);
    EXPECT_EQ(track(1).curLoop, -1);
    ASSERT_EQ(TrackPlay(2, first), 0);
    ASSERT_EQ(TrackPlay(3, 2), 0);
    const std::vector<int16_t> out = renderTo(kMixBlock);
    EXPECT_EQ(out[0], unity(loopLeft(1, 0)));
    EXPECT_EQ(out[1], unity(loopRight(1, 0)));

    ResetSongVTracks();
    EXPECT_EQ(NumVTracks, 0);
    EXPECT_STREQ(VTracks[0].path, "");
    EXPECT_EQ(VTracks[0].beats, 0);
}
