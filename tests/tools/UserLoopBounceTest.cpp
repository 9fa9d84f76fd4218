// enginebounce with a user loop, checked against a render of the stage of
// this test's own: under a silent groove what is heard is the stage alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "audio/EngineTestLoops.h"
#include "support/TestSupport.h"

using namespace enginetest;

namespace {

struct Stage {
    int bars;
    double offset, gain, rate, start, end;
};

// The stage as the mix hears it at 120 BPM, master volume 63: output frame
// n of a block of 2048 that starts at timeline frame b, the loop starting
// again on the frame where its period ends.
std::vector<double> expected(const std::vector<int16_t>& loop, int channels, const Stage& st, int frames,
                             int side)
{
    const int64_t loopFrames = static_cast<int64_t>(loop.size()) / channels;
    const int64_t first = static_cast<int64_t>(loopFrames * st.start / 100);
    const int64_t last = static_cast<int64_t>(loopFrames * st.end / 100);
    const int64_t period = int64_t{4} * 22050 * st.bars;
    const double gain = 63.0 / 127.0 * st.gain;
    const auto source = [&](int64_t s) {
        if (s < first || s >= last) return 0.0;
        double w = 1;
        if (s < first + 50)
            w = (s - first) * 0.02;
        else if (s > last - 50)
            w = (last - s) * 0.02;
        return gain * w * loop[static_cast<size_t>(s * channels + (channels == 2 ? side : 0))];
    };
    std::vector<double> out;
    for (int64_t b = 0; b < frames; b += 2048) {
        int64_t at = (static_cast<int64_t>(period * (st.offset / st.bars + 1) + b)) % period;
        for (int64_t done = 0; done < 2048; at = 0) {
            const int64_t n = std::min<int64_t>(2048 - done, period - at);
            const int64_t from = first + static_cast<int64_t>(at * st.rate);
            const int64_t count = std::max<int64_t>(1, static_cast<int64_t>(n * st.rate));
            for (int64_t i = 0; i < n; ++i) {
                const int64_t x = static_cast<int64_t>(st.rate * i * 100);
                const int64_t j = x / 100;
                const double f = (x % 100) * 0.01;
                if (i == n - 1 || j >= count - 1)
                    out.push_back(source(from + std::min(j, count - 1)));
                else
                    out.push_back(source(from + j) + (source(from + j + 1) - source(from + j)) * f);
            }
            done += n;
        }
    }
    out.resize(static_cast<size_t>(frames));
    return out;
}

TEST(UserLoopBounce, TheStageSoundsAsItsOwnRenderSays)
{
    testsupport::TempDir dir("userbounce");
    const std::string silent = dir.file("silent.wav"), user = dir.file("user.wav"), out = dir.file("out.wav");
    ASSERT_TRUE(writeConstantLoop(silent, 88200, 0, 0));
    ASSERT_TRUE(writeLoop(user, 3, 150000));
    std::vector<int16_t> loop(300000);
    for (int f = 0; f < 150000; ++f) {
        loop[static_cast<size_t>(2 * f)] = loopLeft(3, f);
        loop[static_cast<size_t>(2 * f + 1)] = loopRight(3, f);
    }
    const int frames = 6 * 88200;
    for (const Stage& st :
         {Stage{2, 0.5, 0.8, 0.75, 10, 90}, Stage{1, 0, 1.0, 1.0, 0, 100}, Stage{4, 3, 0.5, 1.5, 20, 60}}) {
        char params[128];
        std::snprintf(params, sizeof params, "%d:%g:%g:%g:%g:%g", st.bars, st.offset, st.gain, st.rate,
                      st.start, st.end);
        const auto r =
            testsupport::run({testsupport::toolsDir() + "/enginebounce", "--bpm", "120", "--mix-bpm", "120",
                              "--frames", std::to_string(frames), "--loop", silent, "--track", "0:0",
                              "--user-loop", user, "--user-params", params, "-o", out},
                             "", 120);
        ASSERT_EQ(r.exitCode, 0) << r.out;
        const std::vector<int16_t> heard = testsupport::readWav16(out);
        ASSERT_EQ(heard.size(), static_cast<size_t>(2 * frames));
        for (int side = 0; side < 2; ++side) {
            const std::vector<double> want = expected(loop, 2, st, frames, side);
            int worst = 0, at = 0;
            for (int n = 0; n < frames; ++n) {
                const double v = std::clamp(want[static_cast<size_t>(n)], -32767.0, 32767.0);
                const int d = std::abs(heard[static_cast<size_t>(2 * n + side)] - static_cast<int>(v));
                if (d > worst) worst = d, at = n;
            }
            EXPECT_LE(worst, 1) << params << " side " << side << " frame " << at;
        }
    }

    // A file that is not sound is refused.
    ASSERT_TRUE(testsupport::writeFile(dir.file("words.wav"), "not a sound"));
    const auto bad = testsupport::run(
        {testsupport::toolsDir() + "/enginebounce", "--bpm", "120", "--mix-bpm", "120", "--frames", "4096",
         "--loop", silent, "--track", "0:0", "--user-loop", dir.file("words.wav"), "-o", out},
        "", 60);
    EXPECT_EQ(bad.exitCode, 1) << bad.out;
}

}  // namespace
