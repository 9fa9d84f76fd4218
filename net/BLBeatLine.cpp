#include "net/BLBeatLine.h"

#include <algorithm>
#include <cmath>

namespace {

// Passes that tell how far a fresh start runs ahead, and the fewest for a slope.
constexpr size_t kLeadSamples = 200;
constexpr size_t kFitMinimum = 16;
constexpr double kSpanMs = 600;
// The most the mix tempo is nudged: enough for two sound cards starved
// unevenly on a busy machine; real ones differ by far less.
constexpr double kMostNudge = 0.12;

}  // namespace

void BLBeatLine::reset()
{
    count_ = 0;
    known_ = false;
}

void BLBeatLine::add(double now, double p, float bpm)
{
    if (p < 0) {
        reset();
        return;
    }
    if (count_ == 0) {
        origin_ = now;
        first_ = 0;
        sumT_ = sumP_ = sumTT_ = sumTP_ = 0;
    }
    if (now - origin_ > 600000.0) {
        // Every ten minutes the times start again from the oldest kept, so
        // that the sums keep their precision.
        const double shift = fit_[first_].first;
        origin_ += shift;
        sumT_ = sumP_ = sumTT_ = sumTP_ = 0;
        for (size_t i = 0; i < count_; ++i) {
            auto& [ft, fp] = fit_[(first_ + i) % kSamples];
            ft -= shift;
            sumT_ += ft;
            sumP_ += fp;
            sumTT_ += ft * ft;
            sumTP_ += ft * fp;
        }
    }
    const double t = now - origin_;
    // The line goes through the last 600 ms, however many passes that was.
    while (count_ == kSamples || (count_ > kFitMinimum && t - fit_[first_].first > kSpanMs)) {
        const auto [oldT, oldP] = fit_[first_];
        first_ = (first_ + 1) % kSamples;
        --count_;
        sumT_ -= oldT;
        sumP_ -= oldP;
        sumTT_ -= oldT * oldT;
        sumTP_ -= oldT * oldP;
    }
    fit_[(first_ + count_) % kSamples] = {t, p};
    ++count_;
    sumT_ += t;
    sumP_ += p;
    sumTT_ += t * t;
    sumTP_ += t * p;
    const double n = static_cast<double>(count_);
    const double spread = n * sumTT_ - sumT_ * sumT_;
    b_ = count_ >= kFitMinimum && spread > 1e-9 ? (n * sumTP_ - sumT_ * sumP_) / spread : bpm / 60000.0;
    a_ = (sumP_ - b_ * sumT_) / n;
    if (!known_ && (count_ >= kLeadSamples || t >= kSpanMs)) known_ = true;
}

double BLBeatNudge::factor(double apart)
{
    integral_ = std::clamp(integral_ + apart, -2.4, 2.4);
    return 1.0 + std::clamp(0.3 * apart + 0.05 * integral_, -kMostNudge, kMostNudge);
}

double BLBeatWrap(double beats, double span)
{
    double d = std::fmod(beats, span);
    if (d < -span / 2) d += span;
    if (d >= span / 2) d -= span;
    return d;
}
