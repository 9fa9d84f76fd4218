// The queue, the output of the table (audio/MMSysOutputs.h) that its owner
// gives: an offline render or a test hands the engine an output that takes
// the device's buffers as a queue (MMSysOutput::queue) and pulls nothing.
// The 23 ms refill timer (audio/Winaudio.cpp) keeps the queue topped up, or,
// with the timer off, the owner by calling MMSysAudio::AudioOutTimeSlice.
//
// Threads: main thread, while no playback runs.
#pragma once

#include "audio/MMSysAudio.h"

// Where devices made from now on send their buffers; null = none given (JACK
// or the sound card plays). The output stays the caller's.
void wDBSetOutput(MMSysOutput* output);
// Whether wDBStart starts the refill timer for it (the default). Without it
// the owner refills by calling MMSysAudio::AudioOutTimeSlice itself.
void wDBSetTimer(bool on);
bool QueueOutput_Timed();

// The table's entry: it takes a playback while an output is given, and that
// output is the device's; what lies between the mixer and the ear is the
// queue's length.
bool QueueOutput_Takes();
MMSysOutput* QueueOutput_Device();
int QueueOutput_DelayFrames();
