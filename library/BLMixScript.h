// The mix script the disk mix hands to the engine's offline renderer: the
// tempo, then for every sequence entry that names a stored groove a count
// line and one line "sample volume pan" per track that passes the filter.
// Lines end with CR LF.
//
// A track passes when it has a group and the filter takes every group or
// that one. Its sample is the loop's number in the samples list plus 1 (0
// without a loop); its pan is 63 - the stored pan, as the live mix takes
// it, so the file sounds where the player sounds. Only the tracks the
// engine plays are written (the first eight).
#pragma once

#include <cstdint>
#include <string>

#include "audio/MixPlan.h"
#include "library/BLGroove.h"

class BLSongLibrary;

constexpr int16_t kBLMixAllGroups = -1;

struct BLMixScript {
    std::string text;
    bool hasTrack = false;  // at least one track line was written
    // The same grooves with their effects, one a block: a stem's with its
    // own tracks' effects alone, the main mix's with the whole mix's.
    MixPlan plan;
};

// tempo: the player's tempo, truncated to whole beats per minute.
BLMixScript BLMixScript_Make(float tempo, const BLSequence& sequence, const BLSongLibrary& library,
                             int16_t filterGroup);
// Writes the script anew at the kel path, in place of any older file only
// once whole; false when it could not be.
bool BLMixScript_Save(const char* path, const BLMixScript& script);
