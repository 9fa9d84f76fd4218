// Where a change of the groove came from, and the change itself as those
// who follow the groove hear of it. A change is told back to a peer or a
// follower only when it did not come from there.
#pragma once

#include <cstdint>

enum class BLOrigin : uint8_t {
    user,         // a click, a key, a drag, a dialog's answer
    midi,         // a controller's note or CC
    link,         // the other program of the network link
    abletonLink,  // the Ableton Link session
    undo,         // the keeper putting back a step
    osc,          // an OSC client
    session,      // a session manager
    take,         // a take played back
};

// The changes a person makes are steps for the keeper; those of a peer,
// of the session or of undo itself are not.
constexpr bool BLOrigin_IsPersons(BLOrigin o)
{
    return o == BLOrigin::user || o == BLOrigin::midi || o == BLOrigin::osc || o == BLOrigin::session;
}

const char* BLOrigin_Name(BLOrigin o);

struct BLGrooveChange {
    enum class Kind : uint8_t {
        loop,       // track: group a, slot b
        volume,     // track: a
        pan,        // track: a
        audible,    // track: a (1 heard, 0 muted)
        keep,       // track: a
        modes,      // solo, group and all
        selection,  // the selected track: track
        groove,     // the whole groove (random, restored, emptied, opened)
        tempo,      // value
        play,       // a (1 sequence play)
        stop,
        keyLock,     // a
        launchGrid,  // a (its code)
        mainVolume,  // a
        song,        // a song opened
        synth,       // a: the synth's setting (BLSynthPart::Setting), b: its value
        synthSound,  // a sound chosen for the synth
        userLoop,    // the user loop's settings (a: 1 heard)
        effect,      // track: the rack (8 the main mix), a: its slot
    };
    Kind kind;
    int16_t track = -1;
    int16_t a = 0, b = 0;
    float value = 0;
};

// Follows the groove's changes (the program's link, later takes and OSC).
class BLGrooveListener {
public:
    virtual ~BLGrooveListener() = default;
    virtual void grooveChanged(const BLGrooveChange& change, BLOrigin from) = 0;
};
