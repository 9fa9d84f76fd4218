// The engine's output device and playback control. The wDB functions own
// the single device instance and the 23 ms refill timer; InitPlay,
// BeginPlay, StopPlay and ExitPlay tie the device to the tracks, the
// resampler, the loader thread and the synthesizers.
//
// The device is opened only while the engine runs: from the first loop of a
// playback (wDBStart, from TrackPlay2) to StopPlay. Armed but not running,
// the instance exists with its buffers and the device stays closed, so
// other users of the sound card (the song browser's auditions) can have it.
//
// Threads: everything here runs on the main thread, except the timer thread
// that wDBStart creates, which refills the device under its lock (the
// engine's only lock besides the per-track locks it takes inside).
#pragma once

#include <cstdint>

#include "audio/MMSysAudio.h"
#include "audio/QueueOutput.h"

// The device instance, null when none.
extern MMSysAudio* mmAud;
// 1 while the refill timer runs, 0 = none.
extern uint32_t timerID;

// A new device instance for queueBytes bytes of queue; 0, or -1 if it cannot be made.
int wDBInit(MMSysFill callback, int queueBytes);
// Opens and primes the device, then starts the timer; 0, or non-zero on failure.
int wDBStart();
void wDBStop();
void wDBClose();
// Frames between what the mixer has reached and what is heard, as the
// output that plays says (audio/MMSysOutputs.h): the queue's length unless
// it pulls.
int wDBDelayFrames();
// The song frame (in part) heard now, where the output can say exactly.
bool wDBHeardFrame(double* frame);
// False once the started output has gone away (the card unplugged).
bool wDBAlive();
// True while the started output pulls its periods (the card, JACK).
bool wDBPulls();
// The device always opens at 44100 Hz, stereo, 16 bits; this changes nothing.
int wDBSetParameters(int deviceId, int rate, int channels, int bytesPerSample);

int InitPlay();   // 1; once at engine start: loader thread and synthesizers
int BeginPlay();  // 0 armed, 1 refused or failed
// 0 stopped, 1 nothing was playing. Waits at most kLoaderPauseMs for the
// loader to pause.
int StopPlay();
int ExitPlay();  // 1; once at engine shutdown

constexpr int kLoaderPauseMs = 2000;
// True, once, after a StopPlay that gave up waiting for the loader (a file
// read that did not return): the playback was torn down without it.
bool TakeLoaderStall();

// Holds the device lock (main thread only): no mix block runs meanwhile.
// What the synthesizer and the user-loop stage change while playing is
// changed under it. Without a device instance there is no mixer to hold off.
// Never stop the engine while holding it: stopping waits for the timer,
// which may be waiting for the lock.
class MixerLock {
public:
    MixerLock();
    ~MixerLock();
    MixerLock(const MixerLock&) = delete;
    MixerLock& operator=(const MixerLock&) = delete;

private:
    MMSysAudio* held_;
};
