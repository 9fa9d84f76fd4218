// Effects over whole loops. Each one treats the loop as endlessly repeated:
// it runs over the loop as many times as its tail needs and keeps the last
// pass, so echoes and reverberation that ring past the loop end are heard at
// its start, exactly as when the loop plays on.
#pragma once

#include <cstdint>

#include "tools/demolib/Sound.h"

namespace demolib {

struct ReverbSettings {
    double seconds = 1.8;     // decay time to -60 dB
    double damping = 6000;    // high frequencies fade faster above this
    double size = 1.0;        // scales the delay lines
    double predelay = 0.012;  // seconds
    double mix = 0.25;        // wet level added to the dry loop
    double lowCut = 180;      // keeps the reverberation out of the bass
};
void reverb(Stereo& loop, const ReverbSettings& s);

struct DelaySettings {
    double seconds = 0.3;  // echo time
    double feedback = 0.4;
    double mix = 0.3;
    bool pingPong = true;
    double tone = 4500;  // echoes darken above this
};
void echo(Stereo& loop, const DelaySettings& s);

// A slow stereo chorus whose modulation turns a whole number of times per loop.
void chorus(Stereo& loop, double depthMs, int cyclesPerLoop, double mix);

// The pumping of a compressor keyed to the kick: each beat the level dips by
// `depth` (0..1) and recovers over `recover` seconds.
void pump(Stereo& loop, int framesPerBeat, double depth, double recover);

// A low pass whose cutoff moves with the loop position: from `fromHz` at the
// start of the loop to `toHz` at its end and, when `back` is set, back again.
void sweepLowpass(Stereo& loop, double fromHz, double toHz, double q, bool back);

// Warm saturation: tanh(drive * x) / tanh(drive).
void saturate(Stereo& loop, double drive);

// Rolls off lows below `lowHz` and highs above `highHz` (one pole each, run
// around the loop twice so the filter state matches at the loop point).
void band(Stereo& loop, double lowHz, double highHz);

}  // namespace demolib
