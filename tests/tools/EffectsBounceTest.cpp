// The effects heard through enginebounce, measured on its renders: the
// low-pass on white noise, a cutoff swept over a sine without a click, the
// beat's delay of an impulse on the frames the tempo gives, the limiter's
// ceiling over a hot mix, and an LV2 plugin's render against the same
// plugin run over the dry render by a tool of lilv's own (lv2run).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "audio/EngineTestLoops.h"
#include "support/TestSupport.h"

using enginetest::waveBytes;
using enginetest::writeBytes;
using testsupport::TempDir;

namespace {

constexpr int kLoop = 88200;  // 4 beats at 120 BPM

std::vector<int16_t> stereoOf(const std::vector<double>& mono)
{
    std::vector<int16_t> s(mono.size() * 2);
    for (size_t i = 0; i < mono.size(); ++i)
        s[2 * i] = s[2 * i + 1] = static_cast<int16_t>(std::lround(mono[i]));
    return s;
}

std::vector<double> channel(const std::vector<int16_t>& stereo, int side)
{
    std::vector<double> c(stereo.size() / 2);
    for (size_t i = 0; i < c.size(); ++i) c[i] = stereo[2 * i + static_cast<size_t>(side)];
    return c;
}

// Energy spectrum of x[from, from + 2^k), Hann-windowed; bin i at i * 44100 / n Hz.
std::vector<double> spectrum(const std::vector<double>& x, size_t from, size_t n)
{
    std::vector<std::complex<double>> a(n);
    for (size_t i = 0; i < n; ++i) a[i] = x[from + i] * (0.5 - 0.5 * std::cos(2 * M_PI * i / n));
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> w = std::polar(1.0, -2 * M_PI / static_cast<double>(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> u = 1;
            for (size_t k = 0; k < len / 2; ++k, u *= w) {
                const std::complex<double> t = a[i + k + len / 2] * u;
                a[i + k + len / 2] = a[i + k] - t;
                a[i + k] += t;
            }
        }
    }
    std::vector<double> e(n / 2);
    for (size_t i = 0; i < n / 2; ++i) e[i] = std::norm(a[i]);
    return e;
}

double band(const std::vector<double>& e, size_t n, double lo, double hi)
{
    double sum = 0;
    for (size_t i = 1; i < e.size(); ++i) {
        const double f = static_cast<double>(i) * 44100.0 / static_cast<double>(n);
        if (f >= lo && f < hi) sum += e[i];
    }
    return sum;
}

double dB(double ratio)
{
    return 10.0 * std::log10(ratio);
}

class EffectsBounce : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937 random(44);
        std::uniform_real_distribution<double> noise(-12000.0, 12000.0);
        std::vector<double> n(kLoop), s(kLoop), imp(kLoop, 0.0), hot(kLoop);
        for (int i = 0; i < kLoop; ++i) {
            n[i] = noise(random);
            s[i] = 12000.0 * std::sin(2 * M_PI * 220.0 * i / 44100.0);  // 440 whole periods
            hot[i] = 30000.0 * std::sin(2 * M_PI * 110.0 * i / 44100.0);
        }
        imp[0] = 20000.0;
        ASSERT_TRUE(writeBytes(noiseLoop, waveBytes(stereoOf(n))));
        ASSERT_TRUE(writeBytes(sineLoop, waveBytes(stereoOf(s))));
        ASSERT_TRUE(writeBytes(impulseLoop, waveBytes(stereoOf(imp))));
        ASSERT_TRUE(writeBytes(hotLoop, waveBytes(stereoOf(hot))));
    }

    // The render's samples, or empty (the test fails) when enginebounce did.
    std::vector<int16_t> render(const std::string& loop, double mixBpm, int frames,
                                const std::vector<std::string>& more = {}, int tracks = 1)
    {
        std::vector<std::string> argv = {testsupport::toolsDir() + "/enginebounce",
                                         "--bpm",
                                         "120",
                                         "--mix-bpm",
                                         testsupport::join(mixBpm),
                                         "--frames",
                                         std::to_string(frames),
                                         "--loop",
                                         loop + ":8",
                                         "--master",
                                         "128",
                                         "-o",
                                         out};
        for (int t = 0; t < tracks; ++t) {
            argv.push_back("--track");
            argv.push_back(std::to_string(t) + ":0:127:0");
        }
        argv.insert(argv.end(), more.begin(), more.end());
        const auto r = testsupport::run(argv, "", 300);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return r.exitCode == 0 ? testsupport::readWav16(out) : std::vector<int16_t>{};
    }

    TempDir dir{"effects"};
    std::string noiseLoop = dir.file("noise.wav");
    std::string sineLoop = dir.file("sine.wav");
    std::string impulseLoop = dir.file("impulse.wav");
    std::string hotLoop = dir.file("hot.wav");
    std::string out = dir.file("out.wav");
};

TEST_F(EffectsBounce, LowPassAt500HzTakesTheHighsDownAndLeavesTheLows)
{
    // At the song's tempo, at another without key lock (the track's filter
    // runs at the song's tempo and is heard higher, so it is set lower
    // there), and with key lock.
    struct Case {
        double mixBpm;
        bool keyLock;
    };
    for (const Case c : {Case{120, false}, Case{90, false}, Case{150, false}, Case{100, true}}) {
        SCOPED_TRACE(testing::Message() << c.mixBpm << " BPM" << (c.keyLock ? ", key lock" : ""));
        std::vector<std::string> lock;
        if (c.keyLock) lock.push_back("--key-lock");
        const std::vector<double> dry = channel(render(noiseLoop, c.mixBpm, 3 * 65536, lock), 0);
        std::vector<std::string> fx = lock;
        fx.insert(fx.end(), {"--fx", "0:filter:type=lowpass,cutoff=500"});
        const std::vector<double> wet = channel(render(noiseLoop, c.mixBpm, 3 * 65536, fx), 0);
        ASSERT_EQ(dry.size(), 3u * 65536);
        ASSERT_EQ(wet.size(), dry.size());
        const size_t n = 65536;
        const std::vector<double> d = spectrum(dry, 65536, n);
        const std::vector<double> w = spectrum(wet, 65536, n);
        const double highs = dB(band(w, n, 4000, 22050) / band(d, n, 4000, 22050));
        const double lows = dB(band(w, n, 20, 200) / band(d, n, 20, 200));
        std::printf("[ figures  ] low-pass 500 Hz at %g BPM%s: above 4 kHz %.1f dB, below 200 Hz %.2f dB\n",
                    c.mixBpm, c.keyLock ? " (key lock)" : "", highs, lows);
        EXPECT_LE(highs, -30.0);
        EXPECT_NEAR(lows, 0.0, 1.0);
        // And the cutoff is where it was set: half the power gone at 500 Hz.
        EXPECT_NEAR(dB(band(w, n, 480, 520) / band(d, n, 480, 520)), -3.0, 1.5);
    }
}

TEST_F(EffectsBounce, ACutoffSweptThereAndBackInASecondAddsNoClick)
{
    // 200 Hz to 5 kHz and back within a second, in steps of one block as a
    // hand on a knob gives them, over a 220 Hz sine.
    const int start = 4 * 2048;
    std::vector<std::string> fx = {"--fx", "0:filter:cutoff=200"};
    const int steps = 21;  // 43008 frames
    for (int k = 1; k <= steps; ++k) {
        const double half = (steps + 1) / 2.0;
        const double t = k <= half ? k / half : (steps + 1 - k) / half;
        const double hz = 200.0 * std::pow(25.0, t);
        fx.push_back("--at");
        fx.push_back(testsupport::join(start + 2048 * k, ":fx:0:0:cutoff=", hz));
    }
    const int frames = start + 2048 * (steps + 6);
    const std::vector<double> dry = channel(render(sineLoop, 120, frames), 0);
    const std::vector<double> wet = channel(render(sineLoop, 120, frames, fx), 0);
    ASSERT_EQ(wet.size(), static_cast<size_t>(frames));
    double dryStep = 0, wetStep = 0;
    for (int i = start + 1; i < frames; ++i) {
        dryStep = std::max(dryStep, std::fabs(dry[i] - dry[i - 1]));
        wetStep = std::max(wetStep, std::fabs(wet[i] - wet[i - 1]));
    }
    EXPECT_GT(dryStep, 300.0);
    EXPECT_LE(wetStep, 2.0 * dryStep);
    std::printf("[ figures  ] sweep: largest step %.0f against the dry sine's %.0f\n", wetStep, dryStep);
    // The cutoff did move: at 200 Hz the sine is quieter than at 5 kHz.
    const size_t n = 32768;
    const std::vector<double> w = spectrum(wet, start + 2048, n);
    const double sine = band(w, n, 200, 240);
    const double above = dB(band(w, n, 10000, 22050) / sine);
    std::printf("[ figures  ] sweep: energy above 10 kHz %.1f dB under the sine\n", above);
    EXPECT_LT(above, -60.0);
    double lowPeak = 0, topPeak = 0;
    for (int i = start; i < start + 2048; ++i) lowPeak = std::max(lowPeak, std::fabs(wet[i]));
    for (int i = start + 2048 * 11; i < start + 2048 * 12; ++i)
        topPeak = std::max(topPeak, std::fabs(wet[i]));
    EXPECT_GT(topPeak, lowPeak * 1.2);
}

TEST_F(EffectsBounce, TheBeatsDelayEchoesOnTheFramesTheMixTempoGives)
{
    for (double mixBpm : {120.0, 100.0, 137.0}) {
        SCOPED_TRACE(testing::Message() << mixBpm << " BPM");
        const int frames = 60000;
        const std::vector<double> dry = channel(render(impulseLoop, mixBpm, frames), 0);
        const std::vector<double> wet = channel(
            render(impulseLoop, mixBpm, frames, {"--fx", "main:delay:time=1/4,feedback=0.5,mix=0.5"}), 0);
        ASSERT_EQ(wet.size(), static_cast<size_t>(frames));
        // A quarter beat of the mix tempo, in frames.
        const auto quarter = static_cast<int>(std::lround(44100.0 * 60.0 / mixBpm / 4.0));
        // The impulse as the resampler gives it (one frame or two).
        int at = 0;
        while (at < frames && dry[at] == 0) ++at;
        ASSERT_LT(at, 100);
        for (int k = 0; k < 5; ++k) {
            const double gain = 0.5 * std::pow(0.5, std::max(0, k - 1));
            for (int j = -2; j < 4; ++j) {
                const int heard = at + k * quarter + j;
                if (heard < 0) continue;
                const double expected = at + j >= 0 ? dry[at + j] * gain : 0.0;
                EXPECT_NEAR(wet[heard], expected, 1.0) << "echo " << k << " frame " << heard;
            }
        }
        // Nothing between the echoes.
        for (int i = at + 4; i < at + quarter - 2; ++i) ASSERT_EQ(wet[i], 0.0) << i;
    }
}

TEST_F(EffectsBounce, ATracksDelayKeepsTheSongsBeatAndPingPongCrosses)
{
    const int frames = 60000;
    // At the song's tempo the echoes are exact: a quarter of the song's beat.
    const std::vector<int16_t> wet =
        render(impulseLoop, 120, frames, {"--fx", "0:delay:time=1/4,feedback=0.5,mix=1"});
    ASSERT_EQ(wet.size(), 2u * frames);
    EXPECT_EQ(wet[0], 0);
    const int quarter = 5513;  // 22050 / 4, rounded
    // The impulse at volume 127: 20000 x 127/128, the first echo whole.
    EXPECT_NEAR(wet[2 * quarter], 19843, 1);
    EXPECT_NEAR(wet[4 * quarter], 19843 / 2, 1);
    EXPECT_NEAR(wet[6 * quarter], 19843 / 4, 1);
    // Ping-pong: the first echo on the left, the next on the right.
    const std::vector<int16_t> ping =
        render(impulseLoop, 120, frames, {"--fx", "0:delay:time=1/4,feedback=0.5,mix=1,pingpong=1"});
    ASSERT_EQ(ping.size(), 2u * frames);
    EXPECT_NEAR(ping[2 * quarter], 19843, 1);
    EXPECT_EQ(ping[2 * quarter + 1], 0);
    EXPECT_EQ(ping[4 * quarter], 0);
    EXPECT_NEAR(ping[4 * quarter + 1], 19843 / 2, 1);
    EXPECT_NEAR(ping[6 * quarter], 19843 / 4, 1);
    // At another tempo the track's echoes stay on the music's beat, the song's
    // quarter beat as the resampler plays it: need = 22050 x 2048 / 24500.
    const std::vector<double> slow =
        channel(render(impulseLoop, 108, frames, {"--fx", "0:delay:time=1/4,mix=1"}), 0);
    ASSERT_EQ(slow.size(), static_cast<size_t>(frames));
    const double need = std::floor(22050.0 * 2048 / 24500);
    const double heard = quarter * 2048 / need;
    double peak = 0;
    int where = 0;
    for (int i = 1000; i < 10000; ++i)
        if (std::fabs(slow[i]) > peak) {
            peak = std::fabs(slow[i]);
            where = i;
        }
    EXPECT_NEAR(where, heard, 1.0);
}

TEST_F(EffectsBounce, ATracksReverbRingsAsLongAtEveryTempo)
{
    // The reverb runs on the song's timeline; heard faster or slower its room
    // would ring shorter or longer, unless it follows the rate it is heard at.
    auto ringing = [&](double mixBpm, bool keyLock) {
        std::vector<std::string> fx = {"--fx", "0:reverb:size=0.8,damping=0.3,mix=1"};
        if (keyLock) fx.push_back("--key-lock");
        const std::vector<double> wet = channel(render(impulseLoop, mixBpm, 70000, fx), 0);
        // The energy still to come at each frame (Schroeder's integral), and
        // the time it takes from 5 to 25 dB under the whole.
        std::vector<double> left(wet.size() + 1, 0.0);
        for (size_t i = wet.size(); i-- > 0;) left[i] = left[i + 1] + wet[i] * wet[i];
        auto when = [&](double dB) {
            size_t i = 0;
            while (i < wet.size() && left[i] > left[0] * std::pow(10.0, -dB / 10.0)) ++i;
            return static_cast<double>(i) / 44100.0;
        };
        EXPECT_GT(left[0], 0.0);
        return when(25) - when(5);
    };
    const double atSong = ringing(120, false);
    EXPECT_GT(atSong, 0.3);
    for (double mixBpm : {90.0, 150.0}) {
        const double ratio = ringing(mixBpm, false) / atSong;
        std::printf("[ figures  ] reverb at %g BPM rings %.3f times as long as at 120\n", mixBpm, ratio);
        EXPECT_NEAR(ratio, 1.0, 0.08) << mixBpm;
    }
    EXPECT_NEAR(ringing(90, true) / atSong, 1.0, 0.08);
}

TEST_F(EffectsBounce, TheLimiterKeepsAHotMixUnderItsCeiling)
{
    // Four tracks of a sine at 30000 each: four times full scale.
    const double ceiling = 32768.0 * std::pow(10.0, -1.0 / 20.0);
    for (bool keyLock : {false, true}) {
        SCOPED_TRACE(keyLock ? "key lock" : "resampled");
        std::vector<std::string> fx = {"--fx", "main:limiter:ceiling=-1"};
        if (keyLock) fx.push_back("--key-lock");
        const std::vector<int16_t> dry =
            render(hotLoop, 110, 88200,
                   keyLock ? std::vector<std::string>{"--key-lock"} : std::vector<std::string>{}, 4);
        const std::vector<int16_t> wet = render(hotLoop, 110, 88200, fx, 4);
        ASSERT_EQ(wet.size(), 2u * 88200);
        int clipped = 0, top = 0;
        for (int16_t v : dry) clipped += std::abs(v) >= 32767;
        for (int16_t v : wet) top = std::max(top, std::abs(static_cast<int>(v)));
        EXPECT_GT(clipped, 1000);  // without it the mix clips
        std::printf(
            "[ figures  ] limiter -1 dBFS%s: %d samples clipped without it, loudest with it %d (ceiling "
            "%.1f)\n",
            keyLock ? " (key lock)" : "", clipped, top, ceiling);
        EXPECT_LE(top, ceiling);
        EXPECT_GT(top, ceiling - 400);  // and it is held there, not far below
    }
}

TEST_F(EffectsBounce, AnLv2RenderEqualsThePluginRunOverTheDryRender)
{
    struct Case {
        std::string uri;
        std::vector<std::string> controls;  // SYMBOL=VALUE
    };
    // A stereo plugin, and a mono one (run once a side).
    const std::vector<Case> cases = {
        {"http://drobilla.net/plugins/mda/Delay",
         {"l_delay=0.3", "r_delay=0.2", "feedback=0.6", "fx_mix=0.7"}},
        {"http://plugin.org.uk/swh-plugins/buttlow_iir", {"cutoff=800", "resonance=1.2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.uri);
        const int frames = 70000;
        render(noiseLoop, 112, frames);
        const std::string dry = dir.file("dry.wav");
        ASSERT_EQ(std::rename(out.c_str(), dry.c_str()), 0);
        std::string symbols;
        for (const std::string& s : c.controls) symbols += (symbols.empty() ? ":" : ",") + s;
        const std::vector<int16_t> wet = render(noiseLoop, 112, frames, {"--lv2", "main:" + c.uri + symbols});
        ASSERT_EQ(wet.size(), 2u * frames);
        std::vector<std::string> argv = {BEATLOOM_LV2RUN, c.uri, dry, dir.file("tool.wav")};
        argv.insert(argv.end(), c.controls.begin(), c.controls.end());
        const auto r = testsupport::run(argv, "", 120);
        ASSERT_EQ(r.exitCode, 0) << r.out;
        const std::vector<int16_t> tool = testsupport::readWav16(dir.file("tool.wav"));
        ASSERT_EQ(tool.size(), wet.size());
        size_t differ = 0, first = wet.size();
        for (size_t i = 0; i < wet.size(); ++i)
            if (wet[i] != tool[i]) {
                ++differ;
                first = std::min(first, i);
            }
        EXPECT_EQ(differ, 0u) << "first at sample " << first;
        // And the plugin did something.
        size_t changed = 0;
        const std::vector<int16_t> d = testsupport::readWav16(dry);
        for (size_t i = 0; i < wet.size(); ++i) changed += wet[i] != d[i];
        EXPECT_GT(changed, wet.size() / 2);
    }
}

TEST_F(EffectsBounce, BadEffectsAreRefusedWithTheirReason)
{
    struct Case {
        std::vector<std::string> args;
        std::string said;
    };
    const std::vector<Case> cases = {
        {{"--fx", "0:chorus"}, "no effect is named 'chorus'"},
        {{"--fx", "0:filter:cutoff=5"}, "cutoff of filter goes from 20 to 20000"},
        {{"--fx", "0:filter:q=1"}, "filter has no parameter 'q'"},
        {{"--fx", "9:filter"}, "bad --fx track"},
        {{"--lv2", "main:urn:nothing:here"}, "no LV2 plugin urn:nothing:here is installed"},
        {{"--lv2", "main:http://drobilla.net/plugins/mda/DX10"}, "has no audio input"},
        {{"--fx", "0:delay", "--fx", "0:reverb", "--fx", "0:filter"}, "both are taken"},
        {{"--fx", "0:delay:time=1/0"}, "is no value time takes"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> argv = {testsupport::toolsDir() + "/enginebounce",
                                         "--bpm",
                                         "120",
                                         "--mix-bpm",
                                         "120",
                                         "--frames",
                                         "100",
                                         "-o",
                                         out};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const auto r = testsupport::run(argv, "", 60);
        EXPECT_EQ(r.exitCode, 2) << r.out;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
    }
}

}  // namespace
