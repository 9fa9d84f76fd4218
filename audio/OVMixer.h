// The mixer and the tempo resampler: the eight track rings become the 16-bit
// stereo stream the output device plays. GetSamples mixes the song's
// timeline at the song tempo (floats, then saturated to 16 bits), in
// stretches of any length: what it makes does not depend on them (the
// user-loop stage and the meters count whole 2048-frame blocks of the
// timeline). GetResampled brings that stream to the mix tempo by linear
// interpolation, so pitch follows tempo, in chunks of 2048 output frames.
//
// Threads: GetSamples, GetResampled and Resample run on the output thread
// under the device lock, one call after another (a queued output's priming
// fills run on the main thread before its timer exists). The volume, pan
// and tempo calls run on the main thread; what they change at once takes
// effect at the next stretch, what waits for a boundary on its frame.
#pragma once

#include <atomic>
#include <cstdint>

// Song frames the resampler and key lock have mixed at a time, as they need
// them: what lies mixed and not yet heard stays short.
constexpr int kMixStep = 256;

// Mix accumulators of one block, shared with the user-loop stage and the
// synthesizer, which add into them (only the first 2048 entries are used).
constexpr int kFloatOutSize = 32768;
extern float floatOutL[kFloatOutSize];
extern float floatOutR[kFloatOutSize];

// Song-tempo frames waiting to be resampled (4 x BLOCKLEN frames) and how
// many of them are valid; the output timer thread's.
extern int16_t* resBuf;
extern int32_t resBufPtr;

// 0 to 128.
extern std::atomic<int32_t> MasterVol;

// Called by GetSamples after each block with the block's first timeline
// frame and its output; null = none. For tests and measurements.
using MixBlockObserver = void (*)(int64_t timeLine, const int16_t* out, int frames);
extern std::atomic<MixBlockObserver> GetSamplesObserver;

// Mixes the n frames from TimeLine into out and advances TimeLine.
int GetSamples(void* out, int n);
// The output device's fill callback: n frames at the mix tempo, any n;
// the song frames are mixed only as the n frames need them.
int GetResampled(void* out, int n);
// Asks the next GetResampled to note the song frame (in part) its first
// output frame stands for, and the song frames an output frame stands for;
// taken once by ResampledTakeMark, false when none was made (no pull, or the
// key lock made it). For the pulling output's thread.
void ResampledMarkNextPull();
bool ResampledTakeMark(double* frame, double* perOutput);
// Linear interpolation of inFrames stereo frames into outFrames.
int Resample(int16_t* out, const int16_t* in, int outFrames, int inFrames);
int InitResampler(int blockLen);
int ResetResampler();

// Mix tempo in thousandths of a beat per minute; returns the new
// ResampledBPM (never faster than 1.3 times the song). Before the engine was
// armed, or with a tempo of 0 or less, nothing changes.
int SetMixBPM(int milliBpm);
// Engine rate; ignored unless stopped.
void SetRealtimeFreq(int hz);

// Track 1 to 8 (clamped), volume and pan 0 to 127 (clamped).
int TrackVolume(int track, int volume);
int TrackPan(int track, int pan);
// The same at the next launch boundary (NextLaunchTime), on its frame.
int VolumeSync2(int track, int volume);
int PanSync2(int track, int pan);
// 0 to 128 (clamped); from the next block on.
int MasterVolume(int volume);
