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

// The loop tuner's settings.
struct blUserLoopSettingsRec {
    uint8_t enabled;
    int16_t bars;
    float offset;
    float gain;
    float rate;
    float start;
    float end;
};

void Vetro_Init();
void Vetro_Exit();
void Vetro_RenderToMixer();

// What BLEngine::userLoop_params and userLoop_save do.
void Vetro_ApplySettings(blUserLoopSettingsRec* s);
unsigned char Vetro_SaveLoop(char* kelPath);
