// The resonant filter: low-pass, high-pass or band-pass, 12 dB an octave,
// cutoff 20 Hz to 20 kHz, resonance 0 (flat) to 1 (a sharp peak). A
// state-variable filter whose coefficients are worked out afresh at every
// frame while the cutoff glides to where it was set, so that a swept knob
// moves the sound and not a staircase of it.
#pragma once

#include "audio/fx/FxUnit.h"

class FxFilter : public FxUnit {
public:
    enum Param { kType, kCutoff, kResonance };
    enum Type { kLowPass, kHighPass, kBandPass };

    FxFilter(int type, float cutoffHz, float resonance);
    void process(float* left, float* right, int n, const FxContext& c) override;
    void setParam(int index, float value) override;
    void reset() override;

private:
    void coefficients(double hz, double k, double rate);

    int type_;
    double cutoff_;       // Hz, where it glides to
    double resonance_;    // 0 .. 1
    double logHz_ = 0;    // log2 of the cutoff heard now
    double damping_ = 0;  // k = 1/Q heard now
    bool started_ = false;
    double g_ = 0, a1_ = 0, a2_ = 0, a3_ = 0;
    double madeHz_ = -1, madeK_ = -1, madeRate_ = -1;
    // How much of each response is heard: a change of type fades across.
    double mix_[3] = {};
    double s1_[2] = {}, s2_[2] = {};
};
