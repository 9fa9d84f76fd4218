// Takes: what the player played live, kept as the engine heard it. A take is
// the engine's state when recording began and every call made to the engine
// since, each with the output frame it was heard from (counted from the
// take's first frame, at the mix tempo) and the song frame it landed on (the
// grid boundary a waiting change waited for, the frame mixed next for one
// heard at once). Played back through the same calls at the same frames it
// sounds as it did.
//
// In documents, atom 'take', little-endian: 1 byte layout (2), 2 bytes n,
// then n takes, each 4 bytes length then (name: 2 bytes length, UTF-8;
// 8 made, seconds since 1970; 8 frames; 4 rate; the start: 8 x (sample,
// volume, pan) 2 bytes each, 4 tempo float, 2 main volume, 1 key lock,
// 2 grid beats, 1 synchronised, 1 playing, 8 song frame, 4 length and the
// effects as the effects' atom holds the current groove's; 4 bytes m, then
// m calls: 8 at, 8 heard, 1 op, 2 a, 2 b, 4 value float, 4 length, data;
// from layout 2 on, then 8 lead).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "audio/fx/FxSettings.h"

constexpr int kBLMaxTakes = 32;
constexpr int kBLTakeTracks = 8;

struct BLTakeCall {
    enum class Op : uint8_t {
        play = 1,
        stop,
        trackSample,  // a track, b sample (-1 none)
        trackVolume,  // a track, b volume
        trackPan,     // a track, b pan
        sync,         // a on
        changesBegin,
        changesEnd,
        launchGrid,   // a beats
        mixerBpm,     // value
        mixerVolume,  // a
        keyLock,      // a on
        synthArp,     // a mode, b speed, data the notes
        synthStop,
        synthPoly,    // a voices
        synthVolume,  // a
        synthPan,     // a
        synthFolder,  // data the folder
        effects,      // data: the effects (BLTake_EncodeEffects)
        fxSlot,       // a rack, b slot, data: the effects with that slot set
        fxParam,      // a rack, b slot, value, data the parameter's name
        fxBypass,     // a rack, b slot, value 1 bypassed
        last = fxBypass
    };
    int64_t at = 0;
    int64_t heard = 0;
    Op op = Op::play;
    int16_t a = 0, b = 0;
    float value = 0;
    std::vector<uint8_t> data;
    bool operator==(const BLTakeCall&) const = default;
};

// What the engine held when recording began.
struct BLTakeStart {
    int16_t samples[kBLTakeTracks] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int16_t volumes[kBLTakeTracks] = {};
    int16_t pans[kBLTakeTracks] = {};
    float bpm = 0;
    int16_t mainVolume = 63;
    bool keyLock = false;
    int16_t gridBeats = 32;
    bool sync = false;
    // It began while playing, `lead` output frames into the song block at
    // `songFrame` (where its playback's timeline starts); else with the next Play.
    bool playing = false;
    int64_t songFrame = 0;
    int64_t lead = 0;
    FxSetup fx;
    bool operator==(const BLTakeStart&) const = default;
};

struct BLTake {
    std::string name;
    int64_t made = 0;
    int64_t frames = 0;  // its length in output frames
    int32_t rate = 44100;
    BLTakeStart start;
    std::vector<BLTakeCall> calls;
    bool operator==(const BLTake&) const = default;
};

// "Take 3 — 2:41" (French: "Prise 3 — 2:41"): its number and length.
std::string BLTake_Name(int number, int64_t frames, int32_t rate, bool french = false);
// The changes a take holds: its calls but the brackets, the grid's sync
// switch, its play and its stop.
int BLTake_Changes(const BLTake& take);
// What a name given to a take becomes: no control characters, no blanks
// around it, at most kBLTakeNameBytes bytes cut where a UTF-8 character
// starts (empty: no name).
constexpr size_t kBLTakeNameBytes = 63;
std::string BLTake_CleanName(const std::string& typed);
// The name as the skin's font shows it: it has no dash, a hyphen stands in.
std::string BLTake_Shown(const std::string& name);
// m:ss of a length in frames.
std::string BLTake_Length(int64_t frames, int32_t rate);

std::vector<uint8_t> BLTake_Encode(const std::vector<BLTake>& takes);
// The takes read whole (at most kBLMaxTakes); false when the atom was
// damaged: the takes before the damage are kept.
bool BLTake_Decode(const std::vector<uint8_t>& in, std::vector<BLTake>& takes);

// The effects as a call's data holds them, and back (false: damaged).
std::vector<uint8_t> BLTake_EncodeEffects(const FxSetup& fx);
bool BLTake_DecodeEffects(const std::vector<uint8_t>& in, FxSetup& fx);
