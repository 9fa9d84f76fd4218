// The tempo and length in bars of a loop of the user's own: from its file's
// name ("120bpm", "120 BPM", "_120_", "120-"), else from its length (the
// whole number of bars at a tempo of 60 to 200 BPM nearest a reference, or
// nearest the tempo its beats were heard at).
#pragma once

#include <cstdint>
#include <string>

struct BLLoopTempo {
    enum class Found : int16_t { none, fromName, fromLength, fromSound };
    Found found = Found::none;
    double bpm = 0.0;  // its own tempo
    int bars = 0;      // of four beats
};

// The tempo a name gives, 40 to 300 BPM; 0 when it gives none.
double BLLoop_TempoFromName(const std::string& name);

// The loop of `frames` at 44100 Hz. Bars are taken from `allowedBars` (bit
// n set: n + 1 bars allowed); a tempo from the name wins, else the length's
// tempo nearest `near`.
// `heard` (0 when unknown): the tempo the loop's beats suggest; the length's
// tempo within 8 % of it wins over the one nearest `near`, and with no
// length's tempo it gives the tempo itself and the bars nearest its length.
BLLoopTempo BLLoop_Tempo(const std::string& name, int64_t frames, double near, uint32_t allowedBars = 0xFF,
                         double heard = 0.0);
