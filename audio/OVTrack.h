// Track streaming and beat-locked looping: eight tracks, each filling a ring
// of its own with one loop, every loop restarting at the multiples of its
// period counted from timeline frame 0. A song held in memory
// (audio/LoopCache.h) is copied into the rings by the mixer itself just
// before it mixes them (TrackPull); a song too big for memory is streamed
// from disk by the loader thread, ahead of the mixer.
//
// Threads and what protects what:
// - The main thread chooses loops (TrackPlay2 and the volume and pan calls),
//   the loader thread streams files into the rings, the output thread (the
//   card's own, or the timer of a queued output) fills and mixes them
//   (audio/OVMixer.h).
// - Each track's steering fields, its volume and pan fields and writePos are
//   read and written under the track's own lock. A change of them is made
//   whole under one hold of the lock; the lock is never held across a file
//   operation, so the mixer never waits for the disk.
// - file, channels and framesLeft are the loader's (the main thread's while
//   the loader is paused), read and written under the track's lock; a file
//   used outside the lock is marked in loaderFile. The ring frames at and
//   above writePos are the loader's too: the mixer reads only frames below
//   writePos; the loader reads a file into a buffer of its own and copies it
//   in under the lock, at or above writePos and never more than a ring ahead
//   of TimeLine.
// - A loader that does not answer a pause (a read that does not return) is
//   given up (LoaderAbandon): when it comes back it drops the work it was
//   doing and closes the file it held, so the tracks can be torn down and
//   played again meanwhile.
// - TimeLine and the engine state words are atomics, read fresh at each use.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "audio/BLEngineTypes.h"

struct LoopImage;

// Timeline frames are 64-bit: a playback goes on for years without running
// out of them. kNever is the value of a time that is not set, far beyond
// any frame a playback reaches.
constexpr int64_t kNever = INT64_MAX / 4;
// Frames the mixer consumes per block.
constexpr int kMixBlock = 2048;

// Song-tempo frames the mixer has consumed since playback started.
extern std::atomic<int64_t> TimeLine;
// Engine rate in Hz (44100 once the facade starts) and the block length that
// sizes the rings and the output queue (16384 at 44100 Hz).
extern std::atomic<int32_t> SAMPFREQ;
extern std::atomic<int32_t> BLOCKLEN;
// Frames per beat at the song tempo, and at the mix tempo.
extern std::atomic<int32_t> BPM;
extern std::atomic<int32_t> ResampledBPM;
// 0 stopped, 1 armed, 2 running.
extern std::atomic<int32_t> PlayingStatus;
// 1 while the loader services tracks.
extern std::atomic<int32_t> dowldproc;
// Pause handshake: the engine sets 1, the loader clears it between services.
extern std::atomic<int32_t> ExitBackThread;

struct TRACK {
    int32_t volume;    // 0 to 127
    int32_t pan;       // 0 to 127, 63 centre, 0 right only, 127 left only
    int32_t channels;  // of the open file: 2 stereo, anything else mono
    int16_t* ring;     // ringLen stereo frames; timeline frame p at p mod ringLen
    int64_t writePos;  // the ring holds data up to this timeline frame (exclusive)
    int32_t ringLen;
    int32_t idle;        // 1 = no file being streamed
    int32_t framesLeft;  // frames of the open file not yet read
    void* file;          // F_NOFILE = none
    int64_t nextStart;   // where the file named by fileName starts; kNever = none
    int64_t prevStart;   // where the open (or last) file started; -1 = none
    char fileName[260];
    int32_t syncVolume;  // volume due at syncTime, -1 = none
    int32_t syncPan;     // pan due at syncTime, -1 = none
    int64_t syncTime;
    int32_t schedLoop;  // -2 none, -1 stop, 0 to 511 switch to that loop
    int64_t schedTime;
    int32_t curLoop;  // loop played or about to be played, -1 = none

    std::mutex lock;
    // Counts changes of the steering fields made by others than the loader,
    // so that the loader can tell whether a file it opened is still wanted.
    uint32_t steerGen;
    // The file the loader reads outside the lock, null when none: whoever
    // tears the track down leaves that one to the loader.
    void* loaderFile = nullptr;
    // The loop played from memory instead of `file` (audio/LoopCache.h),
    // and the frame of it read next.
    const LoopImage* image = nullptr;
    int64_t imageAt = 0;
};

extern TRACK Tracks[kTrackCount];
// The main thread's reads (InitialTrackOpen) land here before they are
// spread to stereo in the ring; the loader has a buffer of its own.
extern int16_t* convBuf;
// Counts the loaders given up on; a loader's work that began under an
// older count is dropped when it comes back.
extern std::atomic<uint32_t> LoaderEpoch;

// Level meters (ttPeak: audio/BLEngineTypes.h).
extern ttPeak ttTrackPeaks[2 * kTrackCount];  // held left peaks of tracks 0-7, then right
struct ttQPeaksRec {
    int16_t left[16];
    int16_t right[16];
};
extern ttQPeaksRec ttTrackPeaksQueue[16];  // the mixer's own
extern int16_t ttQWPos;
extern int16_t ttQRPos;
extern std::atomic<int16_t> ttDistance;  // blocks the meters trail by, set with the tempo

// Choosing a loop. track 1 to 8; loop 1 to 512 names samples-list entry
// loop - 1, anything else (or an entry with no loop) silences the track.
// 0 = done, 1 = refused (bad track, or the output could not start).
int TrackPlay(int track, int loop);      // at once
int TrackPlaySync(int track, int loop);  // at the next launch boundary
int TrackPlay2(int track, int loop, int sync);

// The launch grid: synchronised changes land on the multiples of `beats`
// beats counted from timeline frame 0 (1, 4, 8, 16 or 32, the cycle; any
// other value is the cycle). Main thread.
void SetLaunchGrid(int beats);
int LaunchGridBeats();
// The boundary a synchronised change asked for now lands on: the first one
// that nothing already mixed or already in a ring has passed, so that a
// change is heard exactly there or, asked too late, on the following one.
// Within a hold (TrackStartHold) every change lands on the same boundary.
// kNever before the engine is armed. Main thread, no track lock held.
int64_t NextLaunchTime();
// Where the track's waiting change (loop, stop, volume or pan) lands; kNever
// when none waits. Track 1 to 8.
int64_t TrackChangeTime(int track);

// Where the timeline of the next playback starts: 0, or (for tests and
// renders) any multiple of the block length.
void SetTimeLineStart(int64_t frame);
int64_t TimeLineStartFrame();

// A play command's choices are heard together. While a hold is taken, the
// loops chosen for a playback that has not started yet are recorded and the
// output waits; the release of the last hold starts it, with every loop,
// volume, pan, tempo and master volume sent meanwhile in its first frame.
// Main thread only; holds nest.
void TrackStartHold();
// 0, or 1 when the output would not start (the engine stays armed).
int TrackStartRelease();
// A play within a hold starts the output at the release whatever the
// tracks hold, so that the clock runs and the synthesizer and the user loop
// sound over silent tracks (without a hold, the first loop chosen starts it).
void TrackStartWanted();

// Rings of ringFrames frames for all eight tracks, records reset.
// 0, or 1 when memory is short (nothing kept then).
int InitTracks(int ringFrames);
void FreeTracks();
// Fills the rings of the tracks that have a start before the output starts.
void InitialTrackOpen();
void CloseWaveFiles();

// Steering internals; each expects the track's lock held. A change (loop
// above -2) is scheduled at `at`, a launch boundary.
void SetPlaySync(TRACK* t, int loop, int64_t at = kNever);
void GestioneLooping(TRACK* t);
// Advances the track's writePos by up to `frames` (at most ringLen) frames,
// taking the track's lock for each step and leaving it for the file work.
// True when it wrote frames or opened or closed a file. This is the main
// thread's (it reads through convBuf); the loader's reads are its services.
bool ReadFromFile(TRACK* t, int frames);

// The beat within the cycle that is being heard, -1 unless running.
int GetCurrentBeat();
void LGetTrackPeaks(short track, ttPeak** left, ttPeak** right);

// The loader thread (LoadWaveDataOnTimer), started once with the engine.
void LoaderStart();
// Signals the exit event and waits up to waitMs for the thread to end.
void LoaderExit(int waitMs);
// True from LoaderStart until the thread has ended.
bool LoaderRunning();
// The pause handshake: servicing stops (dowldproc 0) and the call returns
// once the loader has acknowledged between two services, or after waitMs
// (false then: the loader is caught in a file operation).
bool LoaderPause(int waitMs);
// Gives up on a loader that did not acknowledge a pause (see above).
void LoaderAbandon();
void LoaderResume();
// Wakes the loader from its wait between passes (a track was just chosen).
void LoaderWake();
// Waits until the loader has made a whole pass over the tracks with nothing
// left to do. False when that did not happen within timeoutMs.
bool LoaderWaitIdle(int timeoutMs);
// One service of track i (0 to 7), as the loader makes it.
bool LoaderServiceTrack(int i);
// With the song in memory (audio/LoopCache.h) the mixer fills track i's ring
// itself, up to timeline frame upTo, just before it mixes it; the loader
// rests. Output thread only.
void TrackPull(int i, int64_t upTo);
