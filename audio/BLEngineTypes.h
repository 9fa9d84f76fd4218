// The values the engine shares with the callers of its facade
// (audio/BLEngine.h): constants and plain types, no state and no calls.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int kTrackCount = 8;
// A cycle is 32 beats; by default synchronised changes land on its boundaries.
constexpr int kCycleBeats = 32;

// A track meter's held peak: the mixer raises it on the output thread, the
// main thread reads it and resets it to -1, hence an atomic.
using ttPeak = std::atomic<int16_t>;

// Where a playing output stands: its frames given, the song block its next
// frame lies in (a playback's timeline can start on a block) and the output
// frames from that block's first frame to it.
struct BLOutputPlace {
    int64_t given = 0;
    int64_t block = 0;
    int64_t lead = 0;
};

// The loop tuner's settings of the user loop.
struct blUserLoopSettingsRec {
    uint8_t enabled;
    int16_t bars;
    float offset;
    float gain;
    float rate;
    float start;
    float end;
};
