// The live mixing chain's arithmetic written out once more, apart from the
// engine's code, to hold the engine's output against: tracks summed frame
// by frame at the song's tempo with their volume, pan and the master volume (gains in extended precision kept
// as floats, sums in floats, saturated to +-32767 and truncated), then brought to the mix tempo by linear
// interpolation in hundredths of a frame.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace mixref {

struct Track {
    // The ring's stereo frame at timeline frame p.
    std::function<void(int64_t p, int16_t& left, int16_t& right)> at;
    // Volume 0..127 and the facade's pan -63 (left) .. +63 (right) at
    // timeline frame p.
    std::function<void(int64_t p, int& volume, int& pan)> levels;
};

// A track at one volume and pan throughout.
inline Track track(std::function<void(int64_t, int16_t&, int16_t&)> at, int volume, int pan)
{
    Track t;
    t.at = std::move(at);
    t.levels = [volume, pan](int64_t, int& v, int& p) {
        v = volume;
        p = pan;
    };
    return t;
}

// The first frame where two renders differ; -1 when they are the same.
inline int64_t firstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b)
{
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (a[i] != b[i]) return static_cast<int64_t>(i / 2);
    return a.size() == b.size() ? -1 : static_cast<int64_t>(std::min(a.size(), b.size()) / 2);
}

struct Chain {
    int songBpm = 120;   // whole beats a minute
    float mixBpm = 120;  // as the player sends it
    int master = 63;     // 0..128
    int64_t start = 0;   // the timeline's first frame
    std::vector<Track> tracks;

    // The first `frames` output frames, interleaved.
    std::vector<int16_t> render(int64_t frames) const
    {
        constexpr int kBlock = 2048;
        const int64_t beat = 44100 * 60 / songBpm;
        const auto milli = static_cast<int64_t>(static_cast<double>(mixBpm) * 1000.0);
        const auto framesPerBeat = [](int64_t m) {
            return static_cast<int64_t>((44100 * 60.0L) / (m * static_cast<long double>(0.001f)));
        };
        // Never faster than the window's end, 50 beats a minute over the song's.
        const int64_t mixBeat = std::max(framesPerBeat(milli), framesPerBeat((songBpm + 50) * int64_t{1000}));
        const int64_t need = beat * kBlock / mixBeat;

        std::vector<int16_t> out;
        std::vector<int16_t> pending;  // song-tempo frames not resampled yet
        int64_t timeLine = start;
        while (static_cast<int64_t>(out.size() / 2) < frames) {
            while (static_cast<int64_t>(pending.size() / 2) < need) {
                mixBlock(timeLine, pending);
                timeLine += kBlock;
            }
            interpolate(pending, static_cast<int>(need), kBlock, out);
            pending.erase(pending.begin(), pending.begin() + 2 * need);
        }
        out.resize(static_cast<size_t>(frames) * 2);
        return out;
    }

private:
    static int16_t saturate(float x)
    {
        if (x > 32767.0f) return 32767;
        if (x < -32767.0f) return -32767;
        return static_cast<int16_t>(static_cast<int>(x));
    }

    void gains(int volume, int pan, float& gl, float& gr) const
    {
        const int p = 63 - pan;
        const long double v = volume, m = master;
        if (p > 63) {
            gl = static_cast<float>(v * (1.0 / 128) * m * (1.0 / 128));
            gr = static_cast<float>(static_cast<long double>(127 - p) * (1.0 / 63) * v * (1.0 / 128) * m *
                                    (1.0 / 128));
        } else {
            gl = static_cast<float>(v * (1.0 / 128) * p * (1.0 / 63) * m * (1.0 / 128));
            gr = static_cast<float>(v * (1.0 / 128) * m * (1.0 / 128));
        }
    }

    void mixBlock(int64_t from, std::vector<int16_t>& to) const
    {
        std::vector<float> l(2048, 0.0f), r(2048, 0.0f);
        for (const Track& t : tracks) {
            int volume = -1, pan = 0;
            float gl = 0, gr = 0;
            for (int i = 0; i < 2048; ++i) {
                int v = 0, p = 0;
                t.levels(from + i, v, p);
                if (v == 0) continue;
                if (v != volume || p != pan) {
                    volume = v;
                    pan = p;
                    gains(v, p, gl, gr);
                }
                int16_t a = 0, b = 0;
                t.at(from + i, a, b);
                l[static_cast<size_t>(i)] += static_cast<float>(a) * gl;
                r[static_cast<size_t>(i)] += static_cast<float>(b) * gr;
            }
        }
        for (int i = 0; i < 2048; ++i) {
            to.push_back(saturate(l[static_cast<size_t>(i)]));
            to.push_back(saturate(r[static_cast<size_t>(i)]));
        }
    }

    static void interpolate(const std::vector<int16_t>& in, int inFrames, int outFrames,
                            std::vector<int16_t>& out)
    {
        if (inFrames == outFrames) {
            out.insert(out.end(), in.begin(), in.begin() + 2 * inFrames);
            return;
        }
        const auto step = static_cast<float>(static_cast<long double>(inFrames) / outFrames);
        for (int i = 0; i < outFrames; ++i) {
            const auto hundredths = static_cast<int64_t>(static_cast<long double>(step) * (i * 100.0L));
            const int64_t k = hundredths / 100;
            if (k >= inFrames - 1) {
                out.push_back(in[static_cast<size_t>(2 * (inFrames - 1))]);
                out.push_back(in[static_cast<size_t>(2 * (inFrames - 1) + 1)]);
                continue;
            }
            const auto frac = static_cast<float>((hundredths % 100) * 0.01L);
            for (int c = 0; c < 2; ++c) {
                const int a = in[static_cast<size_t>(2 * k + c)];
                const int b = in[static_cast<size_t>(2 * (k + 1) + c)];
                out.push_back(
                    static_cast<int16_t>(static_cast<int>(a + (b - a) * static_cast<long double>(frac))));
            }
        }
    }
};

}  // namespace mixref
