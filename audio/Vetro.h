// The user-loop render stage: plays the user's own loop (recorded or loaded)
// inside the live mix, cut to a region, faded, sped up or down, repeated
// every few bars, and renders one period of it to a file.
//
// Threads: the mixer calls Vetro_RenderToMixer on the output timer thread
// under the device lock while `active` is set; the main thread changes the
// stage (and clears `active` before it replaces the loop) under the same
// lock (audio/Winaudio.h, MixerLock).
#pragma once

#include <cstdint>

#include "audio/BLEngineTypes.h"

// Frames the work buffers hold: blockFrames x rate never goes beyond.
constexpr int32_t kVetroWorkFrames = 16384;

// The loop and the stage's work buffers.
struct vetroGlobalDataRec {
    float* bufL = nullptr;  // source frames of one block after region, fade and gain
    float* bufR = nullptr;
    int16_t* loopData = nullptr;  // interleaved when stereo; null = no user loop
    int32_t loopFrames = 0;
    int16_t loopChannels = 2;  // 2 = stereo, anything else = mono
    int32_t regionStart = 0;   // first frame that sounds
    int32_t regionEnd = 0;     // frame after the last one that sounds
    // Whole bars played through the loop point (a take in time): played
    // whole, no fade there, where the downbeat's attack is.
    bool seamless = false;
};

extern vetroGlobalDataRec vetroGlobalData;

struct vetroRenderDataRec {
    float rate;          // source frames per output frame
    float phase;         // offset against the timeline, as a fraction of a period
    int64_t blockStart;  // timeline frame of the block's first frame
    int32_t blockFrames;
    int32_t srcFrames;
    int32_t srcOffset;
    int32_t barFrames;  // 4 x BPM
    int32_t bars;       // period in bars
    float* outL;        // accumulators to add into
    float* outR;
    float masterGain;
    float loopGain;
    int16_t active;  // non-zero: the mixer calls the stage every block
};

extern vetroRenderDataRec vetroRenderData;

// The work buffers (allocated here, on the main thread) and `active` cleared.
void Vetro_Init();
void Vetro_Exit();
// Adds blockFrames frames of the user loop into outL / outR; the caller has
// set blockStart, blockFrames, barFrames, masterGain, outL and outR.
void Vetro_RenderToMixer();
// The render's fetch step: srcFrames frames from srcOffset into bufL / bufR.
void Vetro_GetOrigFrames();

// What BLEngine::userLoop_params and userLoop_save do. The settings are
// taken within their ranges (rate 1/64 to 8, region 0 to 100 %, bars 1 to
// 32); the save writes through a temporary file beside the target, so a
// failure keeps an older file of that name.
void Vetro_ApplySettings(blUserLoopSettingsRec* s);
unsigned char Vetro_SaveLoop(char* kelPath);

// Replaces the user loop (main thread): the stage falls silent, the old
// block is freed and `block` (M_alloc'd, or null) becomes the loop, all
// under the device lock. Settings must be applied again afterwards.
void Vetro_ReplaceLoop(int16_t* block, int32_t frames, int16_t channels, bool seamless = false);
// Counts the replacements: a new loop of the same length shows by it.
uint32_t Vetro_LoopSerial();
// Whether applying settings may make the stage sound: off while a recording
// fills the loop's block.
void Vetro_SetRecordingHold(bool on);
// Frames one saved period holds: bars x the frames of a bar at the tempo at
// which the song last played with the user loop; 0 before that.
int64_t Vetro_PeriodFrames();
