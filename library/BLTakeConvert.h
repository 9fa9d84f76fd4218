// A take as stored grooves and a sequence: one groove a 32-beat cycle of the
// song, holding what the tracks hold where the cycle begins. What cannot be
// kept so is counted as lost: a change landing off a cycle's start, the
// tempo, main volume, key lock, launch grid, synth and effects changed after
// the take's start, and the cycles past the longest sequence.
#pragma once

#include <cstdint>
#include <vector>

#include "library/BLGroove.h"
#include "library/BLTake.h"

struct BLTakeCycle {
    int16_t samples[kBLTakeTracks] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int16_t volumes[kBLTakeTracks] = {};
    int16_t pans[kBLTakeTracks] = {};
    bool operator==(const BLTakeCycle&) const = default;
};

struct BLTakeConversion {
    std::vector<BLTakeCycle> cycles;  // at most kBLMaxSequence
    float bpm = 0;                    // the tempo at its start
    FxSetup fx;                       // the effects at its start
    int changes = 0;                  // BLTake_Changes
    int lost = 0;                     // the changes lost
    int cyclesLost = 0;               // past the longest sequence
    // The distinct cycles, in their first order: the grooves to store.
    std::vector<BLTakeCycle> distinct() const;
};

// cycleFrames: 32 beats in song frames (32 x 44100 x 60 / the song's tempo).
BLTakeConversion BLTake_Convert(const BLTake& take, int64_t cycleFrames);
