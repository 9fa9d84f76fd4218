// What one change of the user's work was, found by comparing the work's
// document bytes before and after: what the hint line names when a change is
// undone or redone ("volume of track 3").
#pragma once

#include <cstdint>
#include <vector>

struct BLWorkChange {
    enum Kind : int16_t {
        none,       // no difference
        selection,  // only the selected track: not a change of the work
        song,       // another song
        grooveAdded,
        grooveRemoved,
        grooveRewritten,
        grooves,  // the stored grooves otherwise (cleared, a mix taken)
        sequence,
        loop,    // one track's loop
        volume,  // one track's volume
        pan,     // one track's pan
        groove,  // several tracks of the current groove
        light,   // one track's light (muted or heard)
        keep,    // one track's keep mark
        modes,   // solo, group or all mode, or the tracks they take
        tempo,
        keyLock,
        synth,
        userLoop,
        work,     // anything else
        effects,  // the effects of one rack of the current groove (track 8: the main mix's), or of several
                  // (-1)
    };
    Kind kind = none;
    int16_t track = -1;  // 0..7 where the kind names a track
};

// The change from `before` to `after`, both a document's bytes; what differs
// first in the order of the kinds above names it.
BLWorkChange BLWork_Describe(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after);
