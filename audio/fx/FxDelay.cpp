#include "audio/fx/FxDelay.h"

#include <algorithm>
#include <cmath>

namespace {

// A length change of up to this many frames glides, at most kGlideStep
// frames a frame; a longer one crosses over in kCrossFrames frames.
constexpr double kGlideFrames = 64.0;
constexpr double kGlideStep = 1.0 / 64.0;
constexpr double kCrossFrames = 1024.0;
// The mix, feedback and ping-pong glide over this many frames.
constexpr double kLevelFrames = 512.0;

float flushed(float v)
{
    return std::fabs(v) < 1e-20f ? 0.0f : v;
}

double toward(double now, double target, double step)
{
    return now < target ? std::min(target, now + step) : std::max(target, now - step);
}

}  // namespace

FxDelay::FxDelay(float beats, float feedback, float mix, bool pingPong)
    : beats_(beats), feedback_(feedback), mix_(mix), pingPong_(pingPong)
{
    for (auto& l : line_) l.assign(kMostFrames + 2, 0.0f);
    feedbackNow_ = feedback_;
    mixNow_ = mix_;
    pingNow_ = pingPong_ ? 1.0 : 0.0;
}

void FxDelay::setParam(int index, float value)
{
    if (index == kTime) beats_ = value;
    if (index == kFeedback) feedback_ = value;
    if (index == kMix) mix_ = value;
    if (index == kPingPong) pingPong_ = value >= 0.5f;
}

double FxDelay::tap(int channel, double delay) const
{
    const int size = static_cast<int>(line_[0].size());
    const double whole = std::floor(delay);
    const double frac = delay - whole;
    int at = write_ - static_cast<int>(whole);
    if (at < 0) at += size;
    const float a = line_[channel][static_cast<size_t>(at)];
    if (frac == 0.0) return a;
    const int before = at == 0 ? size - 1 : at - 1;
    return a + (line_[channel][static_cast<size_t>(before)] - a) * frac;
}

void FxDelay::process(float* left, float* right, int n, const FxContext& c)
{
    const double wanted = std::round(std::max(0.0, static_cast<double>(beats_)) * c.framesPerBeat);
    target_ = std::clamp(wanted, 1.0, static_cast<double>(kMostFrames));
    if (delay_ < 0) delay_ = target_;
    if (cross_ >= 1.0 && std::fabs(target_ - delay_) > kGlideFrames) {
        // Too far to glide: the old length fades out as the new one fades in.
        from_ = delay_;
        delay_ = target_;
        cross_ = 0.0;
    }
    const double levelStep = 1.0 / kLevelFrames;
    const int size = static_cast<int>(line_[0].size());
    float* l0 = line_[0].data();
    float* l1 = line_[1].data();
    for (int i = 0; i < n; ++i) {
        if (cross_ >= 1.0 && delay_ != target_) delay_ = toward(delay_, target_, kGlideStep);
        feedbackNow_ = toward(feedbackNow_, std::clamp(feedback_, 0.0f, 1.0f), levelStep);
        mixNow_ = toward(mixNow_, std::clamp(mix_, 0.0f, 1.0f), levelStep);
        pingNow_ = toward(pingNow_, pingPong_ ? 1.0 : 0.0, levelStep);
        // The frame written now is `delay` frames after the one read.
        if (++write_ >= size) write_ = 0;
        double el = tap(0, delay_);
        double er = tap(1, delay_);
        if (cross_ < 1.0) {
            el = el * cross_ + tap(0, from_) * (1.0 - cross_);
            er = er * cross_ + tap(1, from_) * (1.0 - cross_);
            cross_ = std::min(1.0, cross_ + 1.0 / kCrossFrames);
        }
        const double dl = left[i];
        const double dr = right[i];
        // Straight: each side feeds itself. Ping-pong: both sides in on the
        // left, and each echo crosses to the other side.
        const double mono = 0.5 * (dl + dr);
        const double inL =
            (1.0 - pingNow_) * (dl + feedbackNow_ * el) + pingNow_ * (mono + feedbackNow_ * er);
        const double inR = (1.0 - pingNow_) * (dr + feedbackNow_ * er) + pingNow_ * (feedbackNow_ * el);
        l0[write_] = flushed(static_cast<float>(inL));
        l1[write_] = flushed(static_cast<float>(inR));
        left[i] = static_cast<float>(dl * (1.0 - mixNow_) + el * mixNow_);
        right[i] = static_cast<float>(dr * (1.0 - mixNow_) + er * mixNow_);
    }
}

void FxDelay::reset()
{
    for (auto& l : line_) std::fill(l.begin(), l.end(), 0.0f);
    delay_ = -1;
    cross_ = 1.0;
    feedbackNow_ = feedback_;
    mixNow_ = mix_;
    pingNow_ = pingPong_ ? 1.0 : 0.0;
}
