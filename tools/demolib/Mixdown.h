// Sums loops into a groove the way the engine plays them: every loop starts
// again at multiples of its own length, scaled by its track's volume and
// panned with the engine's pan law.
#pragma once

#include <vector>

#include "tools/demolib/Song.h"

namespace demolib {

struct TrackChoice {
    const Sample* sample = nullptr;
    int volume = 100;  // 0..127
    int pan = 63;      // 0..126, 63 the middle
};

Stereo mixGroove(const std::vector<TrackChoice>& tracks, int frames);

// The song's audition: its preview loops for `bars` bars, the last beat
// fading out, peak at -6 dBFS.
Stereo previewOf(const Song& song, int bars);

}  // namespace demolib
