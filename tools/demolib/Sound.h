// Stereo sound in memory and the loop buffer that sounds are placed into.
//
// A loop is circular: whatever runs past its end is added back at its start,
// so a note's tail that crosses the loop point sounds when the loop repeats
// and the file plays seamlessly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace demolib {

struct Stereo {
    std::vector<float> l, r;

    Stereo() = default;
    explicit Stereo(int frames) : l(static_cast<size_t>(frames), 0.0f), r(static_cast<size_t>(frames), 0.0f)
    {
    }
    int frames() const { return static_cast<int>(l.size()); }
    void resize(int frames)
    {
        l.assign(static_cast<size_t>(frames), 0.0f);
        r.assign(static_cast<size_t>(frames), 0.0f);
    }
};

// Gains for a position from -1 (left) to +1 (right); both 1 in the middle.
struct PanGains {
    double l, r;
};
PanGains panGains(double pan);

// Adds `sound` into `loop` from frame `start` on (any integer, taken modulo
// the loop length), scaled by gain and panned.
void placeWrapped(Stereo& loop, const Stereo& sound, int64_t start, double gain, double pan = 0.0);
// The same for a mono sound.
void placeWrapped(Stereo& loop, const std::vector<float>& sound, int64_t start, double gain,
                  double pan = 0.0);

// Largest absolute sample of both channels.
double peakOf(const Stereo& s);
// Root mean square over both channels.
double rmsOf(const Stereo& s);
// Removes each channel's mean: a loop repeats, so its mean is its DC.
void removeDc(Stereo& s);
void scale(Stereo& s, double gain);
// Mixes `src` into `dst` (same length) with a gain.
void mixInto(Stereo& dst, const Stereo& src, double gain = 1.0);

// Rounds to 16-bit interleaved frames (left, right), saturating.
std::vector<int16_t> toPcm16(const Stereo& s);
std::vector<int16_t> toPcm16Mono(const std::vector<float>& s);

}  // namespace demolib
