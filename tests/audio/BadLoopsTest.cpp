// Loop files that are missing or damaged: silence where nothing can be
// played, what is there where something can, never a crash, and the loops
// added after them keep their numbers.
#include <gtest/gtest.h>

#include <random>

#include "audio/EngineFixture.h"

using namespace enginetest;

namespace {

using BadLoops = LowerLayer;

std::vector<int16_t> ramp(int samples)
{
    std::vector<int16_t> s(static_cast<size_t>(samples));
    for (int i = 0; i < samples; ++i) s[static_cast<size_t>(i)] = static_cast<int16_t>(i % 20000 - 10000);
    return s;
}

bool silent(const std::vector<int16_t>& out)
{
    for (int16_t v : out)
        if (v != 0) return false;
    return true;
}

}  // namespace

TEST_F(BadLoops, UnplayableFilesAreSilentAndKeepTheNumbering)
{
    WaveHeader floatFormat;
    floatFormat.tag = 3;
    floatFormat.bits = 32;
    WaveHeader eightBit;
    eightBit.bits = 8;
    std::string garbage(5000, '\0');
    std::mt19937 random(7);
    for (char& c : garbage) c = static_cast<char>(random());

    AddSongVTrack(kelPath(dir.file("missing.wav")).c_str(), 8, 0);
    addFile("empty.wav", "", 8);
    addFile("float.wav", waveBytes(ramp(4 * kBeat * 2), floatFormat), 8);
    addFile("eight.wav", waveBytes(ramp(4 * kBeat), eightBit), 8);
    addFile("garbage.wav", garbage, 8);
    addFile("nodata.wav", waveBytes({}), 8);  // a header and no frames
    const int good = addLoop(9, 4 * kBeat, 8);
    ASSERT_EQ(good, 7);

    for (int loop = 1; loop <= 6; ++loop) ASSERT_EQ(TrackPlay(loop, loop), 0);
    ASSERT_EQ(TrackPlay(8, good), 0);
    // Whole periods pass, so every bad file comes up again.
    std::vector<int16_t> out = renderTo(3 * 88200);
    for (size_t f = 0; f < out.size() / 2; f += 173) {
        ASSERT_EQ(out[2 * f], unity(loopLeft(9, static_cast<int>(f % 88200)))) << f;
        ASSERT_EQ(out[2 * f + 1], unity(loopRight(9, static_cast<int>(f % 88200)))) << f;
    }
    EXPECT_EQ(track(1).nextStart, kNever);  // a file that cannot be opened is not tried again
    EXPECT_EQ(track(1).file, F_NOFILE);

    TrackPlay(8, -1);
    EXPECT_TRUE(silent(renderTo(TimeLine.load() + 4 * kMixBlock)));
}

TEST_F(BadLoops, TruncatedFilesPlayWhatTheyHoldThenSilence)
{
    // The header claims a whole 4-beat loop; the file holds 30000 frames.
    std::vector<int16_t> s(30000 * 2);
    for (int f = 0; f < 30000; ++f) {
        s[2 * f] = loopLeft(3, f);
        s[2 * f + 1] = loopRight(3, f);
    }
    WaveHeader claims;
    claims.dataBytes = 4 * kBeat * 4;
    const int cut = addFile("cut.wav", waveBytes(s, claims), 8);
    // And one cut in the middle of a frame.
    std::string odd = waveBytes(s);
    odd.resize(odd.size() - 3);
    const int oddCut = addFile("odd.wav", odd, 8);

    ASSERT_EQ(TrackPlay(1, cut), 0);
    std::vector<int16_t> out = renderTo(88200 + 30000 + kMixBlock);
    for (int f = 0; f < 88200 + 30000; f += 7) {
        const int inLoop = f % 88200;
        const bool sounds = inLoop < 30000;
        ASSERT_EQ(out[2 * f], sounds ? unity(loopLeft(3, inLoop)) : 0) << f;
        ASSERT_EQ(out[2 * f + 1], sounds ? unity(loopRight(3, inLoop)) : 0) << f;
    }

    TrackPlay(1, oddCut);
    const int64_t from = TimeLine.load();
    out = renderTo(2 * 88200 + 30000);
    const int last = 2 * 88200 + 29998 - from;  // the last whole frame, counted in the span
    EXPECT_EQ(out[2 * last], unity(loopLeft(3, 29998)));
    EXPECT_EQ(out[2 * (last + 1)], 0);
}

TEST_F(BadLoops, MonoLoopsSoundOnBothSides)
{
    const std::vector<int16_t> mono = ramp(4 * kBeat);
    WaveHeader h;
    h.channels = 1;
    const int loop = addFile("mono.wav", waveBytes(mono, h), 8);
    ASSERT_EQ(TrackPlay(1, loop), 0);
    const std::vector<int16_t> out = renderTo(88200 + 3 * kMixBlock);
    for (int f = 0; f < 88200 + 3 * kMixBlock; f += 11) {
        const int v = unity(mono[static_cast<size_t>(f % 88200)]);
        ASSERT_EQ(out[2 * f], v) << f;
        ASSERT_EQ(out[2 * f + 1], v) << f;
    }
}
