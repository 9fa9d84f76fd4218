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

// The mix tempo stays within this many beats a minute either side of the
// song's: the engine plays every tempo up to the window's end, and its
// rings and resampler buffer are sized for that end.
constexpr int kMixTempoWindow = 50;
// The mix may run this much faster than the window's end while a link or
// Link paces it to keep its beat on another's (a nudge of at most 12 %):
// a follower at the end of its window can still catch up.
constexpr double kMixPaceRoom = 1.125;

// Frames per beat at the window's fast end of the song's tempo (SongBPM), as
// SetMixBPM makes them for that tempo; 0 before a song's tempo is known.
int32_t FastestMixBeat();
// Frames for the track rings and the resampler buffer at a block length:
// 4 x blockLen, more where the window's end takes more song frames a second
// than 1.3 times the song's tempo would (the rings keep as long ahead of
// the mixer as they did at that tempo). A whole number of mixer blocks.
int MixRingFrames(int blockLen);

// Song-tempo frames waiting to be resampled (MixRingFrames(BLOCKLEN)) and how
// many of them are valid; the output timer thread's.
extern int16_t* resBuf;
extern int32_t resBufPtr;

// While the main mix has effects, the song frames wait in resWide instead
// (as many, floats): whole numbers as resBuf would hold them but without
// its 16-bit limits. The effects run after the tempo has been brought to
// the mix's, before the main volume (taken out for them and put back).
extern float* resWide;
// Frames per beat at the mix tempo, unrounded.
extern std::atomic<double> MixFramesPerBeat;

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
// Frames GetResampled has given since the resampler was last started (at
// each playback's start): the output frame a change made now is heard from.
extern std::atomic<int64_t> ResampledFrames;
// Asks the next GetResampled to note the song frame (in part) its first
// output frame stands for, and the song frames an output frame stands for;
// taken once by ResampledTakeMark, false when none was made (no pull, or the
// key lock made it). For the pulling output's thread.
void ResampledMarkNextPull();
bool ResampledTakeMark(double* frame, double* perOutput);
// The same now, for a caller holding the mixer's lock (no fill under way).
bool ResampledSongAt(double* frame, double* perOutput);
// Linear interpolation of inFrames stereo frames into outFrames.
int Resample(int16_t* out, const int16_t* in, int outFrames, int inFrames);
int InitResampler(int blockLen);
int ResetResampler();

// The song frames waiting to be heard, whichever buffer holds them, for key
// lock: mixes until `frames` wait, reads [from, from + count) scaled into
// two channels, brings the first inFrames to outFrames (at most 2048) by the
// resampler's interpolation (16-bit units), and lets count of them go.
void MixerFill(int frames);
void MixerRead(int from, int count, float* left, float* right, float scale);
void MixerResample(float* out, int outFrames, int inFrames);
void MixerConsume(int count);

// Mix tempo in thousandths of a beat per minute; returns the new
// ResampledBPM (never faster than the window's end). Before the engine was
// armed, or with a tempo of 0 or less, nothing changes.
// `paced`: a link keeping the beat on another's, which may run past the
// window's end by the pace's room.
int SetMixBPM(int milliBpm, bool paced = false);
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
