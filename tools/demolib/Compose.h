// What the song recipes use to write loops: a builder that files finished
// loops under their groups, and helpers that place drum hits and notes from
// patterns onto a loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/demolib/Dsp.h"
#include "tools/demolib/Instruments.h"
#include "tools/demolib/Pattern.h"
#include "tools/demolib/Song.h"

namespace demolib {

// Renders one note into a sound; the seed makes each note's noise its own.
using VoiceFn = std::function<Stereo(const Note&, uint64_t seed)>;

class SongBuilder {
public:
    SongBuilder(Song& song, double swing, uint64_t seed);

    const Grid& grid() const { return grid_; }
    Rng& rng() { return rng_; }
    uint64_t seed() { return rng_.next(); }

    // An empty loop of whole bars.
    Stereo bars(int n) const { return Stereo(n * grid_.framesPerBar()); }
    // Takes the group's mix volume (0..127) for its loops.
    void level(const std::string& group, int volume);
    // Finishes a loop (DC removed, peak at -6 dBFS) and files it under its
    // group with the next number.
    void add(const std::string& group, const std::string& label, int bars, Stereo audio, int pan = 63);
    // Sorts the loops into the category order and gives each its volume.
    void finish();

    // Drum hits from a pattern, each taking the next of the sound's variants;
    // `humanize` moves hits by up to that many milliseconds.
    void hits(Stereo& loop, const std::string& pattern, const std::vector<Stereo>& sounds, double gain,
              double pan = 0.0, double humanize = 0.0);
    // Notes from a note pattern; each sounds for `gateShare` of its steps.
    void notes(Stereo& loop, const std::string& pattern, double gain, double gateShare, const VoiceFn& voice,
               double pan = 0.0, int transpose = 0);
    // One chord: every pitch a voice, spread across the stereo field, with a
    // slight strum of `strum` seconds from the lowest note up.
    void chord(Stereo& loop, double step, double steps, const std::vector<int>& pitches, double vel,
               double gain, const VoiceFn& voice, double spread = 0.4, double strum = 0.0);

    // Chords on a rhythm: `rhythm` is a drum pattern of one bar, played
    // once per chord of `perBar` (one chord a bar), each hit `steps` long.
    void chordRhythm(Stereo& loop, const std::vector<std::vector<int>>& perBar, const std::string& rhythm,
                     double steps, double gain, const VoiceFn& voice, double spread = 0.4,
                     double strum = 0.0);

private:
    Song& song_;
    Grid grid_;
    Rng rng_;
    std::vector<std::pair<std::string, int>> levels_;
};

// Variants of one drum sound, for hits that are not all alike.
std::vector<Stereo> variants(int count, uint64_t seed, const std::function<Stereo(uint64_t)>& make);

}  // namespace demolib
