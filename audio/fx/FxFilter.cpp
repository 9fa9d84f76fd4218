#include "audio/fx/FxFilter.h"

#include <algorithm>
#include <cmath>

namespace {

// The cutoff and resonance glide with this time constant, in heard seconds;
// a change of type fades over kTypeFade seconds.
constexpr double kGlide = 0.012;
constexpr double kTypeFade = 0.010;

double dampingOf(double resonance)
{
    // Q from 0.707 (no peak) to about 20.
    return 1.0 / (0.70710678 * std::pow(28.0, std::clamp(resonance, 0.0, 1.0)));
}

double flushed(double v)
{
    return std::fabs(v) < 1e-25 ? 0.0 : v;
}

}  // namespace

FxFilter::FxFilter(int type, float cutoffHz, float resonance)
    : type_(std::clamp(type, 0, 2)), cutoff_(cutoffHz), resonance_(resonance)
{
    mix_[type_] = 1.0;
}

void FxFilter::setParam(int index, float value)
{
    if (index == kType) type_ = std::clamp(static_cast<int>(std::lround(value)), 0, 2);
    if (index == kCutoff) cutoff_ = value;
    if (index == kResonance) resonance_ = value;
}

void FxFilter::coefficients(double hz, double k, double rate)
{
    if (hz == madeHz_ && k == madeK_ && rate == madeRate_) return;
    madeHz_ = hz;
    madeK_ = k;
    madeRate_ = rate;
    g_ = std::tan(M_PI * std::min(hz, 0.45 * rate) / rate);
    a1_ = 1.0 / (1.0 + g_ * (g_ + k));
    a2_ = g_ * a1_;
    a3_ = g_ * a2_;
}

void FxFilter::process(float* left, float* right, int n, const FxContext& c)
{
    const double rate = c.freqRate > 1.0 ? c.freqRate : 44100.0;
    const double frames = c.timeRate > 1.0 ? c.timeRate : 44100.0;
    const double targetLog = std::log2(std::clamp(cutoff_, 20.0, 20000.0));
    const double targetK = dampingOf(resonance_);
    if (!started_) {
        logHz_ = targetLog;
        damping_ = targetK;
        started_ = true;
    }
    const double glide = 1.0 - std::exp(-1.0 / (kGlide * frames));
    const double fade = 1.0 / (kTypeFade * frames);
    float* ch[2] = {left, right};
    for (int i = 0; i < n; ++i) {
        if (logHz_ != targetLog) {
            logHz_ += (targetLog - logHz_) * glide;
            if (std::fabs(targetLog - logHz_) < 1e-7) logHz_ = targetLog;
        }
        if (damping_ != targetK) {
            damping_ += (targetK - damping_) * glide;
            if (std::fabs(targetK - damping_) < 1e-9) damping_ = targetK;
        }
        coefficients(std::exp2(logHz_), damping_, rate);
        for (int t = 0; t < 3; ++t) {
            const double want = t == type_ ? 1.0 : 0.0;
            if (mix_[t] < want) mix_[t] = std::min(want, mix_[t] + fade);
            if (mix_[t] > want) mix_[t] = std::max(want, mix_[t] - fade);
        }
        for (int k = 0; k < 2; ++k) {
            const double v0 = ch[k][i];
            const double v3 = v0 - s2_[k];
            const double v1 = a1_ * s1_[k] + a2_ * v3;
            const double v2 = s2_[k] + a2_ * s1_[k] + a3_ * v3;
            s1_[k] = 2.0 * v1 - s1_[k];
            s2_[k] = 2.0 * v2 - s2_[k];
            const double low = v2;
            const double band = damping_ * v1;
            const double high = v0 - damping_ * v1 - v2;
            ch[k][i] =
                static_cast<float>(mix_[kLowPass] * low + mix_[kHighPass] * high + mix_[kBandPass] * band);
        }
    }
    for (int k = 0; k < 2; ++k) {
        s1_[k] = flushed(s1_[k]);
        s2_[k] = flushed(s2_[k]);
    }
}

void FxFilter::reset()
{
    started_ = false;
    for (int k = 0; k < 2; ++k) s1_[k] = s2_[k] = 0.0;
    for (int t = 0; t < 3; ++t) mix_[t] = t == type_ ? 1.0 : 0.0;
}
