// The live mixing chain run offline, as fast as it goes: a plan's grooves
// played through an engine of its own as sequence play plays them (the
// first with the play command, each next one landing on the next cycle),
// its effects, tempo and key lock (the real-time stretcher) as live, and
// what the sound card would have been given written to a WAV file.
//
// Threads: the main thread; the engine's own loader thread streams a song
// too big for memory, let finish its work before each block, so that the
// render is the same on every run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "audio/BLEngine.h"
#include "audio/MixPlan.h"

// Lets the loader finish its work at the present play position, then holds
// it: each block an offline run mixes is the same on every run.
bool LiveMix_Settle();

// What a played script makes of the engine: asked before each stretch for
// the output frame of its next calls, it makes them there.
class LiveScript {
public:
    virtual ~LiveScript() = default;
    // Output frames made before the first one kept.
    virtual int64_t lead() { return 0; }
    // The output frame of the next calls; past the end when none is left.
    virtual int64_t next() = 0;
    // Makes every call due at or before this frame.
    virtual void apply(int64_t frame) = 0;
};

class LiveMix {
public:
    // An engine with an output that keeps what it is given and no timer.
    LiveMix();
    ~LiveMix();
    LiveMix(const LiveMix&) = delete;
    LiveMix& operator=(const LiveMix&) = delete;

    // The engine to fill the samples list of (its loops read into memory).
    BLEngine& engine() { return engine_; }
    // The plan's grooves, 32 beats each of `tempo`, into the WAV file at the
    // kel path; `mainVolume` as the player's (63 unless changed). progress
    // gets the fraction done, stop ends the render when it says so.
    // kQualMixWritten, kQualMixStopped, kQualMixFailed or kQualMixBadTempo.
    int render(const char* wavPath, const MixPlan& plan, float tempo, bool keyLock, int mainVolume = 63,
               const std::function<void(float)>& progress = {}, const std::function<bool()>& stop = {});

    // `frames` output frames kept, after the script's lead, made as its calls say (a play among
    // them starts the sound), pulled from the engine as the sound card pulls
    // it, so that a change made at a frame is heard as it was live: without
    // the queue's priming, each call made while no output is made. A kQualMix
    // result, as render's.
    int play(const char* wavPath, int64_t frames, LiveScript& script,
             const std::function<void(float)>& progress = {}, const std::function<bool()>& stop = {});

private:
    struct Capture;
    std::unique_ptr<Capture> capture_;
    BLEngine engine_;
};
