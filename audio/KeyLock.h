// Key lock: the mix brought to the mix tempo by time stretching instead of
// the resampler, so the tempo changes and the key does not. It takes the
// resampler's place in GetResampled while it is on; the song-tempo stream
// it stretches is the one GetSamples mixes (tracks, user loop, synth).
//
// The stretcher is led in with what was heard just before and its delay is
// dropped, so an output frame is the song frame the resampler would have
// played there: the beat, the lights and synchronised changes keep their
// place. Turning it on or off while playing crossfades over kKeyLockFade
// frames from one path to the other, both reading the same song frames.
//
// Threads: KeyLock_Set runs on the main thread and changes the stage under
// the device lock; the stage itself runs inside GetResampled (output timer
// thread) and allocates nothing there.
#pragma once

#include <cstdint>
#include <memory>

constexpr int kKeyLockFade = 1024;

class PlatStretcher;

// Key lock on or off, from the next output block on; playing or not.
// False when the stretcher could not be made (key lock stays off). The
// first switch-on builds the stretcher outside the device lock, so the
// sound goes on meanwhile.
bool KeyLock_Set(bool on);
bool KeyLock_On();
// What makes the live stretcher (PlatStretcher_Live; null: that one again).
// A new maker forgets a stretcher made before while key lock is off, so
// the next switch-on makes one with it.
using KeyLockMaker = std::unique_ptr<PlatStretcher> (*)(double outPerIn);
void KeyLock_SetMaker(KeyLockMaker maker);

// The timeline the beat is counted from: TimeLine, less what the stretcher
// holds ahead of what is heard while key lock plays (or drains).
int64_t KeyLock_BeatTimeLine();

// The mixer's side (audio/OVMixer.cpp): a playback starts or ends, the
// stage must run this block, the block itself (in 16-bit units, for the
// mixer to keep as it keeps its own frames), and the song frames the
// resampler has just played, the first `count` it holds (kept to lead the
// stretcher in).
void KeyLock_Start();
void KeyLock_Stop();
bool KeyLock_Runs(int32_t resBufPtr);
void KeyLock_Resampled(float* out, int n, int need, int capacity);
void KeyLock_Heard(int count);

// A whole render through the finer stretcher, for the mixdown: song-tempo
// frames in, output-tempo frames out, inFrames x outPerBeat / inPerBeat
// frames in all, so each 32-beat groove stays 32 beats of the output tempo.
// Main thread (or any one thread); it allocates.
class KeyLockRender {
public:
    // inputFrames: all the song-tempo frames that will be put.
    KeyLockRender(int32_t inPerBeat, int32_t outPerBeat, int64_t inputFrames);
    ~KeyLockRender();
    bool ok() const;
    // Hands on count interleaved stereo frames; with last, the input ends
    // (its total must then be inputFrames).
    void put(const int16_t* frames, int count, bool last);
    // Moves up to max output frames into out; frames moved.
    int take(int16_t* out, int max);
    // Output frames still to come in all (0 once everything was taken).
    int64_t left() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
