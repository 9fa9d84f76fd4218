// The reverb: eight damped combs and four all-passes a side, the right side
// a little apart from the left (the room of Schroeder and Moorer, as the
// Freeverb tunings have it). Size sets how long it rings, damping how soon
// the highs die, mix how much of it is heard. Its lengths follow the rate
// the stream is heard at, so that a room stays the same room at any tempo.
#pragma once

#include <vector>

#include "audio/fx/FxUnit.h"

class FxReverb : public FxUnit {
public:
    enum Param { kSize, kDamping, kMix };

    FxReverb(float size, float damping, float mix);
    void process(float* left, float* right, int n, const FxContext& c) override;
    void setParam(int index, float value) override;
    void reset() override;

private:
    struct Line {
        std::vector<float> buffer;
        int length = 1;
        int at = 0;
        float store = 0.0f;  // the comb's damping filter
    };
    void resize(double scale);

    float size_, damping_, mix_;
    double sizeNow_, dampingNow_, mixNow_;
    double scale_ = 0;
    Line combs_[2][8];
    Line passes_[2][4];
};
