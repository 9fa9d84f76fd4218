// The sample-playback synthesizer and its arpeggiator: the live instance
// that the mixer renders into every block and the copy that renders an
// arpeggio to a file. Both share the 36 note samples.
//
// Threads: the mixer renders RealtimeSynth on the output timer thread under
// the device lock; the Realtime calls change it from the main thread under
// the same lock (audio/Winaudio.h, MixerLock): the facade holds it around
// the quick ones, RealtimeSetSynth reads its files first and takes the lock
// only to swap them in, RealtimeSynthMix only to copy the live instance.
// Paths are kel paths (the engine's file layer takes them).
#pragma once

#include <cstdint>

constexpr int kSynthNotes = 36;
constexpr int kSynthVoices = 16;

struct SYNTHDATA {
    int16_t* samples;  // null = no data, the note is silent
    int32_t channels;  // 1 mono, anything else interleaved stereo
    int32_t frames;
};

struct SYNTHVOICE {
    int64_t start;  // timeline frame the note began, -1 = free
    int32_t note;   // note index, -1 = rest
};

struct SYNTHETIZER {
    SYNTHDATA* data;
    SYNTHVOICE voices[kSynthVoices];
    int32_t poly;
    int32_t arpMode;
    int32_t nextStep;
    int32_t speed;
    char notes[2048];
    int32_t pos;
    int32_t volume;
    int32_t pan;
    int32_t beatFrames;
};

extern SYNTHDATA SynthSamps[kSynthNotes];
extern SYNTHETIZER RealtimeSynth;
extern SYNTHETIZER RenderSynth;

int InitSynth(SYNTHETIZER* s, SYNTHDATA* d);
int InitSynthFStop(SYNTHETIZER* s, SYNTHDATA* d);
int FreeSynth(SYNTHDATA* d);
int SetSynthBPM(SYNTHETIZER* s, int frames);
// Adds n frames of the synthesizer for timeline frames time ... into the
// accumulators, scaled by level (the master volume, 0 to 128).
int SynthFloatRender(SYNTHETIZER* s, float* outL, float* outR, int64_t time, float level, int n);

// The live instance, as the facade drives it.
int RealtimeSetSynth(char* folder);
int RealtimeArpeggiatorOn(int mode, int speed, char* notes);
int RealtimeArpeggiatorOff();
int RealtimeSetSynthPoly(int n);
int RealtimeSetSynthPan(int p);
int RealtimeSetSynthVolume(int v);
// Renders 32 beats of the arpeggio to a WAV file; bytes of sample data written.
int RealtimeSynthMix(char* path);
