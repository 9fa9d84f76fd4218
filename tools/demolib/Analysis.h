// Measurements for listening by numbers: levels, crest factor, DC, the
// spectrum in bands, how the low end lines up with the beat, and the stereo
// image.
#pragma once

#include <string>
#include <vector>

#include "tools/demolib/Sound.h"

namespace demolib {

struct Measures {
    double peakDb = 0;
    double rmsDb = 0;
    double crestDb = 0;
    double dc = 0;                // largest channel mean
    double correlation = 0;       // left against right, 1 = mono
    std::vector<double> bandsDb;  // share of the power in each band of kBands, dB
    double beatLowDb = 0;         // low-end level on the beats against between them
};

// Band edges in Hz: sub, bass, low mids, mids, high mids, highs, air.
extern const std::vector<double> kBands;

Measures measure(const Stereo& s, int framesPerBeat);
std::string describe(const Measures& m);

// Magnitude spectrum (power per bin, averaged over Hann-windowed blocks of
// `size`, a power of two) of a mono signal.
std::vector<double> powerSpectrum(const std::vector<float>& x, int size);

// A spectrogram as a binary PPM picture: time to the right, frequency
// upward on a log scale (30 Hz to 20 kHz), level as colour (-100..0 dB).
bool writeSpectrogram(const std::string& path, const Stereo& s, int hop);

}  // namespace demolib
