#include "core/kelQtLimiter.h"

#include <algorithm>
#include <cmath>

kelQtLimiter::kelQtLimiter(int channels, int rate, float ceiling, int lookahead, double release)
    : channels_(std::max(channels, 1)),
      lookahead_(std::max(lookahead, 1)),
      ceiling_(ceiling > 0 ? std::min(ceiling, 1.0f) : 1.0f),
      releaseCoef_(static_cast<float>(1.0 - std::exp(-1.0 / (std::max(release, 0.001) * std::max(rate, 1))))),
      delay_(static_cast<size_t>(lookahead_) * channels_, 0.0f),
      smooth_(static_cast<size_t>(lookahead_), 1.0f),
      smoothSum_(lookahead_)
{
}

// Gain wanted now: the least over the window ahead, with an instant fall
// and a smooth rise, then averaged over the window so it moves without
// steps. The average at the peak's frame is made of values no higher than
// the gain that frame needs, so the peak comes out at the ceiling at most.
float kelQtLimiter::step(const float* frame, float* out)
{
    float peak = 0.0f;
    for (int c = 0; c < channels_; ++c) peak = std::max(peak, std::fabs(frame[c]));
    const float wanted = peak > ceiling_ ? ceiling_ / peak : 1.0f;

    while (!minima_.empty() && minima_.back().second >= wanted) minima_.pop_back();
    minima_.emplace_back(index_, wanted);
    while (minima_.front().first <= index_ - lookahead_) minima_.pop_front();
    const float least = minima_.front().second;

    envelope_ = std::min(least, envelope_ + (1.0f - envelope_) * releaseCoef_);
    const size_t slot = static_cast<size_t>(index_ % lookahead_);
    smoothSum_ += envelope_ - smooth_[slot];
    smooth_[slot] = envelope_;
    // Rounding in the running sum may leave it a hair above the truth.
    const float gain = std::min(static_cast<float>(smoothSum_ / lookahead_), 1.0f);

    // The frame that entered lookahead - 1 frames ago leaves now.
    float* held = &delay_[slot * static_cast<size_t>(channels_)];
    const size_t oldest = static_cast<size_t>((index_ + 1) % lookahead_) * static_cast<size_t>(channels_);
    for (int c = 0; c < channels_; ++c) held[c] = frame[c];
    for (int c = 0; c < channels_; ++c) {
        float v = delay_[oldest + static_cast<size_t>(c)] * gain;
        out[c] = std::clamp(v, -ceiling_, ceiling_);
    }
    ++index_;
    return gain;
}

void kelQtLimiter::process(const float* in, long frames, float* out)
{
    std::vector<float> frame(static_cast<size_t>(channels_));
    for (long f = 0; f < frames; ++f) {
        std::copy(in + f * channels_, in + (f + 1) * channels_, frame.begin());
        step(frame.data(), out + f * channels_);
    }
}

void kelQtLimiter::flush(float* out)
{
    const std::vector<float> silence(static_cast<size_t>(channels_), 0.0f);
    for (long f = 0; f < tailFrames(); ++f) step(silence.data(), out + f * channels_);
}
