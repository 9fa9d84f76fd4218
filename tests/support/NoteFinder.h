// Finding the synthesizer's notes in rendered sound: each note is matched
// against its own note file near where it should start, then taken away at
// the level it sounds with, so the next note stands alone at its start.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace notefinder {

struct Found {
    int at = -1;        // the frame the note starts at
    double match = -2;  // normalised correlation with the note file there
    double gain = 0;    // the level it sounds with
};

// Looks for `note` within `search` frames of `due` over `window` frames, then
// subtracts it (the whole file) at the gain that fits the first `span` frames.
inline Found takeNote(std::vector<double>& rest, const std::vector<double>& note, int due, int search = 64,
                      int window = 2048, int span = 5000)
{
    Found f;
    const int frames = static_cast<int>(rest.size());
    for (int lag = std::max(0, due - search); lag <= due + search; ++lag) {
        double rn = 0, nn = 0, rr = 0;
        for (int i = 0; i < window && lag + i < frames && i < static_cast<int>(note.size()); ++i) {
            const double r = rest[static_cast<size_t>(lag + i)], n = note[static_cast<size_t>(i)];
            rn += r * n;
            nn += n * n;
            rr += r * r;
        }
        const double c = rr > 0 && nn > 0 ? rn / std::sqrt(rr * nn) : 0;
        if (c > f.match) {
            f.match = c;
            f.at = lag;
        }
    }
    if (f.at < 0) return f;
    double rn = 0, nn = 0;
    for (int i = 0; i < span && f.at + i < frames && i < static_cast<int>(note.size()); ++i) {
        rn += rest[static_cast<size_t>(f.at + i)] * note[static_cast<size_t>(i)];
        nn += note[static_cast<size_t>(i)] * note[static_cast<size_t>(i)];
    }
    f.gain = nn > 0 ? rn / nn : 0;
    for (size_t i = 0; i < note.size() && f.at + i < rest.size(); ++i) rest[f.at + i] -= f.gain * note[i];
    return f;
}

// The largest absolute value left.
inline double largest(const std::vector<double>& rest, size_t from = 0, size_t to = SIZE_MAX)
{
    double m = 0;
    for (size_t i = from; i < std::min(to, rest.size()); ++i) m = std::max(m, std::fabs(rest[i]));
    return m;
}

}  // namespace notefinder
