// The limiter: no frame leaves it above the ceiling (in dBFS). It looks
// kAhead frames ahead (and delays the sound by as many, less one): the gain
// is the least any frame of the window coming asks for, eased in over the
// window so that it has come down by the time a peak arrives, and let back
// up over about a tenth of a second.
#pragma once

#include <array>

#include "audio/fx/FxUnit.h"

class FxLimiter : public FxUnit {
public:
    enum Param { kCeiling };
    static constexpr int kAhead = 64;

    explicit FxLimiter(float ceilingDb);
    void process(float* left, float* right, int n, const FxContext& c) override;
    void setParam(int index, float value) override;
    void reset() override;

private:
    float ceilingDb_;
    double ceiling_ = 1.0;  // heard now, as a gain
    // The sound waiting to leave, and the gains it asks for.
    std::array<float, kAhead> waitL_{}, waitR_{};
    std::array<double, kAhead> asked_{};
    // The least gain over the window: a queue of (frame, gain), rising gains.
    std::array<long long, kAhead + 1> minFrame_{};
    std::array<double, kAhead + 1> minGain_{};
    int minHead_ = 0, minCount_ = 0;
    // The window's least gains, averaged over the window.
    std::array<double, kAhead> held_{};
    double heldSum_ = kAhead;
    long long frame_ = 0;
    double release_ = 1.0;
    bool started_ = false;
};
