// A song and documents of the test's own for disk mixes, and what a mix of
// them must hold, worked out here from the rules of the mixdown (each
// groove 32 beats at the song's tempo, each loop at its period with the
// track's gains, every beat brought to the mix tempo by taking whole
// frames) without any of the program's code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "library/BLGroove.h"
#include "support/TestSupport.h"

namespace mixref {

struct Loop {
    std::string file;  // word of the description, file "<word>.wav"
    int group = 0;
    int channels = 2;
    int frames = 0;
    int repeats = 1;  // how often it fits into 32 beats: period 32 / repeats beats
    std::vector<int16_t> samples;
};

struct Song {
    std::string name;  // folder name
    int bpm = 126;
    std::vector<std::string> groups;
    std::vector<Loop> loops;  // in sample id order; slot = index within its group

    int spb() const { return 2646000 / bpm; }
    // The library's group and slot of loop i.
    int16_t slotOf(size_t i) const;
    int16_t loopIndex(int16_t group, int16_t slot) const;
};

// Five groups (Drums, Bass, Pad, Perc, Keys; Keys holds a loop no test
// groove uses), loops of one and two channels, a loop longer than its
// period and one longer than the 32 beats.
Song referenceSong();
// Writes the song's folder with its loops and description under `songs`
// (the library's Song folder, a system path).
void writeSong(const Song& song, const std::string& songs);

// Three grooves (the third empty) and the sequence 1, 2, 3, 1, 99 (99 names
// no groove).
BLIceimage referenceDocument(const Song& song, float bpm);
BLTrack track(int16_t group, int16_t slot, uint16_t volume, int16_t pan);

// The interleaved 16-bit frames a classic mix must hold; `group` -1 for
// every group, else that group's stem.
std::vector<int16_t> expectedMix(const Song& song, const BLIceimage& doc, int group = -1);

using testsupport::readWav16;

}  // namespace mixref
