// Grooves: for each track one loop of the song library (group and slot) with
// a volume and a pan; the stored grooves of a song and the sequence that
// plays them; and the frozen snapshot of it all that documents carry.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/fx/FxSettings.h"
#include "library/BLTake.h"

constexpr int kBLGrooveTracks = 16;  // a groove's tracks; the engine plays the first 8
constexpr int kBLEngineTracks = 8;
constexpr int kBLMaxGrooves = 64;    // stored grooves of a song
constexpr int kBLMaxSequence = 100;  // sequence entries
constexpr int kBLSongNameSize = 65;  // the document's song field, with its terminator
constexpr int kBLSongNameMax = 255;  // a song folder's whole name
// The mix tempo stays within this many beats a minute of the song's own.
constexpr int kBLTempoWindow = 50;

// The tempos a song is played at, the ends of the tempo slider: the whole
// window either side of its own (the engine plays all of it), never under
// 10 BPM.
inline float BL_SlowestTempo(int songBpm)
{
    return songBpm - kBLTempoWindow > 10 ? static_cast<float>(songBpm - kBLTempoWindow) : 10.0f;
}
inline float BL_FastestTempo(int songBpm)
{
    return static_cast<float>(songBpm + kBLTempoWindow);
}
// True when the song is played at `tempo` as it stands.
inline bool BL_TempoPlayed(int songBpm, double tempo)
{
    return tempo >= BL_SlowestTempo(songBpm) && tempo <= BL_FastestTempo(songBpm);
}

struct BLTrack {
    uint16_t volume = 0;  // 0 .. 127
    int16_t pan = 0;      // -63 .. +63
    int16_t group = -1;   // -1: no loop
    int16_t slot = -1;    // -1: no loop

    void reset() { *this = BLTrack{}; }
    bool operator==(const BLTrack&) const = default;
};

struct BLGroove {
    BLTrack tracks[kBLGrooveTracks];
    uint16_t id = 0;  // unique among the stored grooves; 0 when never stored
    // The effects heard with it: its tracks' and the main mix's.
    FxSetup fx;

    void reset() { *this = BLGroove{}; }
    bool operator==(const BLGroove&) const = default;
};

struct BLSequence {
    // The same grooves, ids and entries (what lies beyond the counts aside).
    bool sameAs(const BLSequence& other) const;

    BLGroove grooves[kBLMaxGrooves];
    int16_t count = 0;  // stored grooves, 0 .. 64
    uint16_t entries[kBLMaxSequence] = {};
    int16_t length = 0;      // sequence entries, 0 .. 100
    int16_t userLength = 0;  // length asked for by the virtual mix, 0 = none

    // The first stored groove with this id; -1 when none.
    int16_t grooveIDtoIndex(int16_t id) const;
    // Brings the sequence to userLength by repeating the stored grooves in
    // order; with userLength 0 it takes the sequence's length instead.
    // Without a stored groove there is nothing to repeat: the sequence
    // becomes empty.
    void stretchToUser();
};

struct BLIceimage {
    uint8_t valid = 0;
    // The song folder's whole name; documents keep the first 64 bytes in the
    // image and a longer name in an atom of its own.
    char songName[kBLSongNameMax + 1] = {};
    BLSequence sequence;
    BLGroove groove;
    int16_t selectedTrack = 0;
    float bpm = 0.0f;
    // What was played live, oldest first (at most kBLMaxTakes).
    std::vector<BLTake> takes;
};
