// Key lock heard through enginebounce: steady tones keep their pitch and
// level and clicks stay on the mix tempo's beats at tempo ratios 0.75, 1.0
// and 1.3; turning it on and off and moving the tempo while playing leaves
// no gap and no click.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio/EngineTestLoops.h"
#include "support/TestSupport.h"

using namespace enginetest;
using testsupport::TempDir;

namespace {

constexpr int kLoop = 88200;  // 4 beats at 120 BPM
constexpr int kBeat = 22050;
// Whole periods in the loop, so it is seamless: a tone and a bass tone.
constexpr double kTone = 440.0;
constexpr double kBass = 55.0;
constexpr double kAmp = 16000.0;

std::vector<int16_t> stereo(const std::vector<double>& mono)
{
    std::vector<int16_t> s(mono.size() * 2);
    for (size_t i = 0; i < mono.size(); ++i)
        s[2 * i] = s[2 * i + 1] = static_cast<int16_t>(std::lround(mono[i]));
    return s;
}

std::vector<double> toneLoop(double f)
{
    std::vector<double> m(kLoop);
    for (int i = 0; i < kLoop; ++i) m[i] = kAmp * std::sin(2 * M_PI * f * i / 44100.0);
    return m;
}

// A short decaying burst on every beat.
std::vector<double> clickLoop()
{
    std::vector<double> m(kLoop, 0.0);
    for (int b = 0; b < 4; ++b)
        for (int i = 0; i < 220; ++i)
            m[b * kBeat + i] =
                30000.0 * std::exp(-i / 40.0) * std::sin(2 * M_PI * 2000.0 * i / 44100.0 + 0.5);
    return m;
}

// Left channel of a WAV this program wrote.
std::vector<double> left(const std::string& path)
{
    const std::string bytes = testsupport::readFile(path);
    std::vector<double> l;
    for (size_t at = 44; at + 4 <= bytes.size(); at += 4) {
        int16_t v;
        std::memcpy(&v, bytes.data() + at, 2);
        l.push_back(v);
    }
    return l;
}

// Frequency from the rising zero crossings of [from, to), interpolated.
double pitch(const std::vector<double>& x, size_t from, size_t to)
{
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double t = (i - 1) + x[i - 1] / (x[i - 1] - x[i]);
            if (first < 0) first = t;
            last = t;
            ++count;
        }
    }
    return count > 1 ? (count - 1) * 44100.0 / (last - first) : 0.0;
}

double rms(const std::vector<double>& x, size_t from, size_t to)
{
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += x[i] * x[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

double cents(double f, double ref)
{
    return 1200.0 * std::log2(f / ref);
}

class KeyLockBounce : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeBytes(tone, waveBytes(stereo(toneLoop(kTone)))));
        ASSERT_TRUE(writeBytes(bass, waveBytes(stereo(toneLoop(kBass)))));
        ASSERT_TRUE(writeBytes(click, waveBytes(stereo(clickLoop()))));
    }

    std::vector<double> render(const std::string& loop, double mixBpm, int frames, bool keyLock,
                               const std::vector<std::string>& more = {})
    {
        std::vector<std::string> argv = {testsupport::toolsDir() + "/enginebounce",
                                         "--bpm",
                                         "120",
                                         "--mix-bpm",
                                         std::to_string(mixBpm),
                                         "--frames",
                                         std::to_string(frames),
                                         "--loop",
                                         loop + ":8",
                                         "--track",
                                         "0:0:127:0",
                                         "--master",
                                         "128",
                                         "-o",
                                         out};
        if (keyLock) argv.push_back("--key-lock");
        argv.insert(argv.end(), more.begin(), more.end());
        const auto r = testsupport::run(argv, "", 300);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return left(out);
    }

    TempDir dir{"keylock"};
    std::string tone = dir.file("tone.wav");
    std::string bass = dir.file("bass.wav");
    std::string click = dir.file("click.wav");
    std::string out = dir.file("out.wav");
};

TEST_F(KeyLockBounce, PitchLevelAndBeatsHoldAtEveryRatio)
{
    // The level the resampler gives at the song tempo is the reference.
    const std::vector<double> ref = render(tone, 120, 4 * kBeat, false);
    ASSERT_EQ(ref.size(), 4u * kBeat);
    const double refLevel = rms(ref, kBeat, 4 * kBeat);

    for (double ratio : {0.75, 1.0, 1.3}) {
        SCOPED_TRACE("tempo ratio " + std::to_string(ratio));
        const double mixBpm = 120 * ratio;
        const int perBeat = static_cast<int>(2646000 / mixBpm);
        const int frames = 8 * perBeat;

        for (const auto& [loop, f] : {std::pair{tone, kTone}, std::pair{bass, kBass}}) {
            const std::vector<double> t = render(loop, mixBpm, frames, true);
            ASSERT_EQ(t.size(), static_cast<size_t>(frames));
            EXPECT_LT(std::abs(cents(pitch(t, perBeat, frames), f)), 5.0) << f << " Hz";
            EXPECT_LT(std::abs(20 * std::log10(rms(t, perBeat, frames) / refLevel)), 1.0) << f << " Hz";
        }

        const std::vector<double> c = render(click, mixBpm, frames, true);
        ASSERT_EQ(c.size(), static_cast<size_t>(frames));
        for (int b = 1; b < 8; ++b) {
            // The click's onset: where the beat's loudest moment first comes near.
            const int from = b * perBeat - perBeat / 2;
            const int to = std::min(frames, b * perBeat + perBeat / 2);
            double peak = 0;
            for (int i = from; i < to; ++i) peak = std::max(peak, std::abs(c[i]));
            int onset = from;
            while (onset < to && std::abs(c[onset]) < 0.3 * peak) ++onset;
            EXPECT_GT(peak, 5000.0) << "beat " << b;
            EXPECT_LE(std::abs(onset - b * perBeat), 220) << "beat " << b;
        }
    }
    // Without key lock the same tempo raises the tone by the ratio.
    const std::vector<double> plain = render(tone, 156, 4 * kBeat, false);
    EXPECT_GT(cents(pitch(plain, kBeat, 4 * kBeat), kTone), 400.0);
}

TEST_F(KeyLockBounce, OnOffAndTempoMovesWhilePlayingLeaveNoGapNorClick)
{
    const int frames = 40 * 2048;
    const std::vector<double> t =
        render(tone, 120, frames, false,
               {"--at", "16384:key-lock=on", "--at", "24576:mix-bpm=156", "--at", "36864:mix-bpm=100", "--at",
                "49152:key-lock=off", "--at", "53248:key-lock=on", "--at", "55296:key-lock=off", "--at",
                "65536:mix-bpm=130"});
    ASSERT_EQ(t.size(), static_cast<size_t>(frames));
    // A sine of this level moves at most kAmp x 2 pi f / rate between frames;
    // two of them crossfading at most twice that, at 1.3 times the pitch.
    const double slope = kAmp * 2 * M_PI * kTone * 1.3 / 44100.0;
    double worst = 0;
    for (int i = 8192; i < frames; ++i) worst = std::max(worst, std::abs(t[i] - t[i - 1]));
    EXPECT_LT(worst, 2.2 * slope);
    for (int w = 8192; w + 512 <= frames; w += 512)
        EXPECT_GT(rms(t, w, w + 512), 0.5 * kAmp / std::sqrt(2.0)) << w;
    // Locked between the moves, the key stays.
    EXPECT_LT(std::abs(cents(pitch(t, 26624, 36864), kTone)), 5.0);
    EXPECT_LT(std::abs(cents(pitch(t, 38912, 49152), kTone)), 5.0);
}

}  // namespace
