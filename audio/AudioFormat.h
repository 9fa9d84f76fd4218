// WAV files as the engine reads and writes them: 16-bit PCM, samples
// interleaved left then right, the canonical 44-byte header on everything the
// program writes. Handles come from the file layer (audio/WinApi.h); F_NOFILE
// stands for no file. Samples are read and written by the callers with
// F_read / F_write at the current position, in whole frames.
//
// Threads: no shared state; any thread may open, seek and read its own handle.
#pragma once

#include <cstdint>

#include "audio/WinApi.h"

constexpr int WAVE_HEADER_BYTES = 44;

// Opens a loop for reading. On success the position is at the first sample
// byte (44 in a canonical file), *channels is 1 or 2 and *frames counts the
// whole frames the file really holds. F_NOFILE when the file cannot be opened
// or is not 16-bit PCM with one or two channels at a sensible rate.
void* OpenWave(const char* path, int* channels, int* frames);
// The same, with the file's sample rate in *rate.
void* OpenWaveAt(const char* path, int* channels, int* frames, int* rate);

// Positions the file byteOffset bytes into its sample data (callers pass
// frames x channels x 2). Always 0.
int SeekWave(void* file, int byteOffset);

// Creates a file (F_creat: it takes its name, over any older one, only when
// F_close ends it whole; F_abandon drops it) and writes the 44-byte header
// for `frames` frames; the position is then 44. F_NOFILE when it cannot be
// created. Callers that learn the length only at the end pass 0 and call
// WriteWaveLen.
void* CreateWave(const char* path, int channels, int frames, int rate);

// The most sample data a WAV header can describe: its 32-bit RIFF size
// holds 36 bytes of header besides.
constexpr int64_t kWaveMostDataBytes = 0xFFFFFFFFll - 36;

// Writes the RIFF size (36 + dataBytes) and the data length into the header
// of a file made by CreateWave (dataBytes at most kWaveMostDataBytes); the
// position is then 44.
void WriteWaveLen(void* file, int64_t dataBytes);
