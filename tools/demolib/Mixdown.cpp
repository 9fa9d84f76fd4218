#include "tools/demolib/Mixdown.h"

#include <cmath>

namespace demolib {

Stereo mixGroove(const std::vector<TrackChoice>& tracks, int frames)
{
    Stereo out(frames);
    for (const TrackChoice& t : tracks) {
        if (!t.sample || t.sample->audio.frames() == 0) continue;
        // The engine's law: full level in the middle; moving away fades the
        // other side.
        const double v = t.volume / 128.0;
        const double gl = t.pan > 63 ? v : v * t.pan / 63.0;
        const double gr = t.pan > 63 ? v * (127 - t.pan) / 63.0 : v;
        const Stereo& a = t.sample->audio;
        const int n = a.frames();
        for (int i = 0; i < frames; ++i) {
            const size_t k = static_cast<size_t>(i % n);
            out.l[static_cast<size_t>(i)] += static_cast<float>(a.l[k] * gl);
            out.r[static_cast<size_t>(i)] += static_cast<float>(a.r[k] * gr);
        }
    }
    return out;
}

Stereo previewOf(const Song& song, int bars)
{
    std::vector<TrackChoice> tracks;
    for (const std::string& word : song.preview) {
        const Sample* s = song.find(word);
        if (s) tracks.push_back({s, s->volume, s->pan});
    }
    const int frames = bars * 4 * song.framesPerBeat();
    Stereo mix = mixGroove(tracks, frames);
    // The loops' first frames carry the tails of their last ones: a few
    // milliseconds of fade-in keep the audition from starting with a click.
    const int fadeIn = 220;
    for (int i = 0; i < fadeIn; ++i) {
        const float g = static_cast<float>(i) / fadeIn;
        mix.l[static_cast<size_t>(i)] *= g;
        mix.r[static_cast<size_t>(i)] *= g;
    }
    const int fade = song.framesPerBeat();
    for (int i = 0; i < fade; ++i) {
        const double x = static_cast<double>(i) / fade;
        const float g = static_cast<float>(0.5 * (1.0 + std::cos(3.14159265358979323846 * x)));
        const size_t k = static_cast<size_t>(frames - fade + i);
        mix.l[k] *= g;
        mix.r[k] *= g;
    }
    const double peak = peakOf(mix);
    if (peak > 0.0) scale(mix, 0.5 / peak);
    return mix;
}

}  // namespace demolib
