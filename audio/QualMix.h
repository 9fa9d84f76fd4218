// The offline mixdown: a mix script rendered to one WAV file, each groove
// 32 beats of its loops at the song tempo brought to the script's tempo.
// Runs on the main thread while playback is stopped; it reads the samples
// list (audio/Vtrack.h) and shares nothing with the live engine.
//
// The mix script: line 1 the output tempo; then per groove a count line n
// (held to 0 .. 15) and n lines "sample volume pan" (sample = loop number
// + 1, 0 = none; volume 0 .. 127; pan 0 .. 127, low values quieten the
// left side). A block whose count line ends the text is not rendered.
//
// The file is written through the careful writer (platform/PlatFiles.h)
// and put in place once complete: a failed or stopped render leaves no file
// of its own, and an older file of that name stays.
#pragma once

#include <cstdint>

struct MixPlan;

constexpr int MIXFREQ = 44100;
// Script text beyond this is not read; a line holds at most 255 characters.
constexpr int kQualMixMaxScript = 64000;
constexpr int kQualMixLineSize = 256;
constexpr int kQualMixMaxTracks = 15;
// Tempos (script and song) outside these bounds are refused: the beat
// lengths they give would not be sound.
constexpr int kQualMixMinTempo = 10;
constexpr int kQualMixMaxTempo = 1000;

// Results of QualityMix and OVQualityMix.
enum : int {
    kQualMixWritten = 0,
    kQualMixFailed = 1,    // buffers, the file, a write or putting it in place failed (plat::lastWriteError)
    kQualMixStopped = 2,   // the stop hook asked for it
    kQualMixBadTempo = 3,  // the script's or the song's tempo is outside the bounds above
    kQualMixTooLong = 4,   // longer than a WAV header can describe (4 GiB of sound)
};

// How a beat is brought from the song tempo to the script's tempo.
enum : int {
    kQualMixClassic = 0,  // whole frames repeated or skipped, beat by beat (exact, the default)
    kQualMixHigh = 1,     // band-limited resampling of the continuous stream
};
void QualMix_SetQuality(int quality);
int QualMix_Quality();
// Key lock: the stream is time-stretched to the script's tempo (the finer
// stretcher, offline) instead of resampled, so the key stays; the length
// stays 32 beats of the script's tempo a groove. Off by default.
void QualMix_SetKeyLock(bool on);
bool QualMix_KeyLock();

// Hooks an upper layer installs: the fraction done (0 .. 1) reported at
// every beat, and a poll, once a beat, that ends the render when true.
// Null hooks do nothing.
void QualMix_SetHooks(void (*subAmount)(float), bool (*shouldStop)());

// Both paths in kel form, as the engine's file layer takes them. Reads up
// to 64000 bytes of the script and renders it; kQualMixFailed also when the
// script cannot be read. A plan with effects (audio/MixPlan.h) runs them,
// its grooves the script's blocks in order.
int OVQualityMix(char* wavPath, char* scriptPath, const MixPlan* plan = nullptr);
int QualityMix(char* wavPath, char* text, const MixPlan* plan = nullptr);
// Frames the script renders (32 beats of its tempo a block); -1 when its
// tempo is out of bounds.
int64_t QualMix_OutputFrames(const char* text);
// One block appended to the open file: frames written (ospb x 32), or -1
// when a write failed or the render was stopped. samples are entries of
// the samples list (-1 = none), volumes already scaled by 80 / 128.
long MixGroove(void* file, int n, int* samples, int* volumes, int* pans);
// One beat from inFrames to outFrames stereo frames by repeating or
// skipping whole frames; returns outFrames.
int QualityResample(short* out, short* in, int outFrames, int inFrames);

// The script cursor.
extern char* FileStr;
// Copies the line at FileStr (at most 255 characters; the rest of a longer
// line is skipped) into line and moves past it and every CR and LF after it.
void Igets(char* line);
int Ieof();
