// The sound outputs a playback can play through, in one table: the one a
// playback's device is made for (wDBInit) is the first entry that takes it,
// and what the engine asks of the output that plays (how far the ear is
// behind the mixer, which song frame is heard now) goes through its entry,
// whichever it is. In the order a playback takes them:
// - the queue an owner gives (renders, tests: audio/QueueOutput.h), topped
//   up by the 23 ms refill timer or by the owner's own ticks;
// - JACK while its server runs (audio/JackOutput.h over platform/PlatJack.h);
// - the sound card (audio/CardOutput.h over platform/PlatAudio.h).
// JACK and the card ask for each period themselves (MMSysAudio::Pull).
#pragma once

#include "audio/MMSysAudio.h"

struct MMSysOutputKind {
    // It takes the next playback.
    bool (*takes)();
    // The output the playback's device sends its frames to; null: the
    // device opens a sound card of its own.
    MMSysOutput* (*device)();
    // Frames between what the mixer has reached and what is heard while a
    // device plays on it.
    int (*delayFrames)();
    // The song frame (in part) heard at nowMs (plat::monotonicMs); null
    // where the output cannot tell, false where it cannot tell now.
    bool (*heardFrame)(double nowMs, double* frame);
};

constexpr int kMMSysOutputCount = 3;
extern const MMSysOutputKind kMMSysOutputs[kMMSysOutputCount];

// The first entry that takes a playback now (the card takes any).
const MMSysOutputKind& MMSysOutputForPlayback();
