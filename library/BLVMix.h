// Virtual mixes: whole arrangements the program composes by itself, a set of
// grooves and the order they play in, from one of the song's styles or, for
// a song without styles, from its groups. And what the user chose of them:
// which styles and groups take part and how long each mix plays.
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/BLGroove.h"
#include "library/BLSongLibrary.h"

// A draw from 0 to n - 1; KEL_Random unless a test gives another.
using BLVMixRandom = int (*)(uint16_t n);

// The most list entries a mix may play (one entry lasts 8 bars).
constexpr int16_t kBLVMixMaxDuration = kBLMaxSequence;

// Groups that take no part, by their index in one song.
struct BLVMixGroups {
    bool off[kBLMaxGroups] = {};
};

// What the user chose for the virtual mixes; kept in the preferences.
struct BLVMixSettings {
    uint16_t styles = 0x000F;  // bit s: style s takes part
    int16_t duration = 0;      // list entries each new mix plays; 0: as the style is written
    // Groups left out, by name (a choice that holds for every song that has them).
    int16_t leftOutCount = 0;
    char leftOut[kBLMaxGroups][kBLNameSize] = {};

    bool styleTakesPart(int16_t style) const;
    void setStyle(int16_t style, bool on);
    bool groupTakesPart(const char* name) const;
    void setGroup(const char* name, bool on);
    // The groups of `lib` that are left out.
    BLVMixGroups groupsOf(const BLSongLibrary& lib) const;
    // The style that slot n of the mixes is built from: the n-th of the
    // styles taking part, round again when fewer than n; -1 when none does
    // (the slot is built from the groups).
    int16_t styleOfSlot(const BLSongLibrary& lib, int16_t slot) const;
};

// Fills `out` from `style`: one groove per row that sounds, its list playing
// them in order; the user length is left as it is. A column's loop is drawn
// once for the whole arrangement; columns of the same group draw again (at
// most ten draws) rather than repeat a loop. False when no row sounds.
bool BLVMix_build(const BLSongLibrary& lib, const BLStyle& style, BLSequence& out,
                  const BLVMixGroups* leftOut = nullptr, BLVMixRandom random = nullptr);

// A style made of the song's groups (those not left out, else all that hold
// loops): tracks come in one by one, play together, break down, come back
// with other loops and leave again; each call orders them anew.
void BLVMix_groupStyle(const BLSongLibrary& lib, BLStyle& style, const BLVMixGroups* leftOut = nullptr,
                       BLVMixRandom random = nullptr);

// Sets how many entries the list plays: 0 gives the list as generated (every
// groove once, in order) and takes its length as the duration; otherwise the
// grooves repeat in order to fill it.
void BLVMix_setDuration(BLSequence& s, int16_t duration);

// "%d Bars" with 8 bars an entry, or "Time %02d:%02d" of the duration at
// `bpm` beats a minute (32 beats an entry, seconds truncated).
void BLVMix_durationText(int16_t duration, bool bars, float bpm, char* out, size_t size);
