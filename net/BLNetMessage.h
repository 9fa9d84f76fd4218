// The link's messages as the receiving side reads them. A text is taken
// only when it is exactly what a sending instance forms: decimal fields
// without leading zeros, one space between them, every value in its range;
// anything else is refused whole.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/kelFiles.h"

enum : int16_t {
    kBLNetSample = 1,  // track group slot
    kBLNetVolume = 2,  // track volume
    kBLNetPan = 3,     // track pan
    kBLNetOn = 4,      // track heard: 1, or muted: 0
    kBLNetUse = 5,     // track use
    kBLNetPlay = 6,
    kBLNetStop = 7,
    kBLNetClock = 8,     // tempo in thousandths of a beat per minute, beat of the cycle in thousandths
    kBLNetSong = 9,      // the song's folder name
    kBLNetWelcome = 10,  // the listening side lets a peer in: 1 when it has a song to give
    kBLNetHello = 11,    // who is there: the installation's identity
    kBLNetBusy = 12,     // the listening side answers another player: try again later
    kBLNetRefused = 13,  // the listening side did not let this player in
    kBLNetEffect = 14,   // rack slot bypass [effect]: a slot's effect (none: emptied)
    kBLNetParam = 15,    // rack slot value name: one parameter of a slot's effect
};

constexpr int16_t kBLNetRacks = 9;  // eight tracks' and the main mix's

// A song folder name on the link: at most this many bytes, as in the library.
constexpr size_t kBLNetNameMax = kKelNameMax;
// The longest message text, its end included.
constexpr size_t kBLNetTextMax = kBLNetNameMax + 32;
// An installation's identity: this many lowercase hexadecimal digits.
constexpr size_t kBLNetIdentityLength = 32;
constexpr int32_t kBLNetTempoMin = 1000;  // 1 beat per minute
constexpr int32_t kBLNetTempoMax = 999999;
constexpr int32_t kBLNetCycleMilli = 32000;  // a cycle of 32 beats, in thousandths

struct BLNetMessage {
    int16_t code = 0;
    int16_t track = 0;
    // Sample: group, slot. Volume, pan, use, welcome: the value in [0].
    // Effect: the rack in track, slot and bypass; parameter: the rack in
    // track, the slot in [0], the value in `real`.
    int16_t value[2] = {};
    float real = 0;
    int32_t tempoMilli = 0;
    int32_t beatMilli = 0;
    // Song: the folder name; hello: the identity; effect: its name or URI
    // ("" for none); parameter: its name.
    char name[kBLNetNameMax + 1] = {};
};

// True with `out` filled when `text` (its `length` bytes) is one whole message.
bool BLNet_parseMessage(const char* text, size_t length, BLNetMessage& out);
// The message's text as a sending instance forms it; its length, or 0 when
// it does not fit.
size_t BLNet_formatMessage(const BLNetMessage& message, char* out, size_t size);
// A folder name that may travel on the link and name a song folder here:
// no separators, no control characters, not "." or "..".
bool BLNet_songNameValid(const char* name, size_t length);
// An identity as installations make them.
bool BLNet_identityValid(const char* text, size_t length);
