#include "audio/fx/FxReverb.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kCombs[8] = {1116, 1188, 1277, 1356, 1422, 1491, 1557, 1617};
constexpr int kPasses[4] = {556, 441, 341, 225};
constexpr int kSpread = 23;
// The lengths scale with the rate heard, within these bounds.
constexpr double kLeastScale = 0.25;
constexpr double kMostScale = 4.0;
constexpr float kInputGain = 0.015f;
constexpr float kWetGain = 3.0f;
constexpr double kGlideFrames = 1024.0;

float flushed(float v)
{
    return std::fabs(v) < 1e-20f ? 0.0f : v;
}

double toward(double now, double target, double step)
{
    return now < target ? std::min(target, now + step) : std::max(target, now - step);
}

}  // namespace

FxReverb::FxReverb(float size, float damping, float mix)
    : size_(size), damping_(damping), mix_(mix), sizeNow_(size), dampingNow_(damping), mixNow_(mix)
{
    for (int side = 0; side < 2; ++side) {
        const int spread = side * kSpread;
        for (int k = 0; k < 8; ++k)
            combs_[side][k].buffer.assign(static_cast<size_t>((kCombs[k] + spread) * kMostScale) + 2, 0.0f);
        for (int k = 0; k < 4; ++k)
            passes_[side][k].buffer.assign(static_cast<size_t>((kPasses[k] + spread) * kMostScale) + 2, 0.0f);
    }
}

void FxReverb::setParam(int index, float value)
{
    if (index == kSize) size_ = value;
    if (index == kDamping) damping_ = value;
    if (index == kMix) mix_ = value;
}

void FxReverb::resize(double scale)
{
    scale_ = scale;
    for (int side = 0; side < 2; ++side) {
        const int spread = side * kSpread;
        for (int k = 0; k < 8; ++k) {
            Line& l = combs_[side][k];
            l.length = std::max(1, static_cast<int>(std::lround((kCombs[k] + spread) * scale)));
            if (l.at >= l.length) l.at = 0;
        }
        for (int k = 0; k < 4; ++k) {
            Line& l = passes_[side][k];
            l.length = std::max(1, static_cast<int>(std::lround((kPasses[k] + spread) * scale)));
            if (l.at >= l.length) l.at = 0;
        }
    }
}

void FxReverb::process(float* left, float* right, int n, const FxContext& c)
{
    const double scale =
        std::clamp((c.timeRate > 1.0 ? c.timeRate : 44100.0) / 44100.0, kLeastScale, kMostScale);
    // Small tempo changes keep the lengths; a real one retunes the room.
    if (scale_ == 0 || std::fabs(scale / scale_ - 1.0) > 0.005) resize(scale);
    const double rateRatio = 44100.0 / (c.freqRate > 1.0 ? c.freqRate : 44100.0);
    const double step = 1.0 / kGlideFrames;
    float* ch[2] = {left, right};
    double dampedAt = -1;
    float damp = 0.0f;
    for (int i = 0; i < n; ++i) {
        sizeNow_ = toward(sizeNow_, std::clamp(size_, 0.0f, 1.0f), step);
        dampingNow_ = toward(dampingNow_, std::clamp(damping_, 0.0f, 1.0f), step);
        mixNow_ = toward(mixNow_, std::clamp(mix_, 0.0f, 1.0f), step);
        const auto feedback = static_cast<float>(0.7 + 0.28 * sizeNow_);
        // The damping filter's pole, kept at the same frequency whatever the rate.
        if (dampingNow_ != dampedAt) {
            damp = static_cast<float>(std::pow(0.4 * dampingNow_, rateRatio));
            dampedAt = dampingNow_;
        }
        const float input = (left[i] + right[i]) * kInputGain;
        float out[2];
        for (int side = 0; side < 2; ++side) {
            float sum = 0.0f;
            for (Line& l : combs_[side]) {
                float& cell = l.buffer[static_cast<size_t>(l.at)];
                const float y = cell;
                l.store = flushed(y * (1.0f - damp) + l.store * damp);
                cell = input + l.store * feedback;
                if (++l.at >= l.length) l.at = 0;
                sum += y;
            }
            for (Line& l : passes_[side]) {
                float& cell = l.buffer[static_cast<size_t>(l.at)];
                const float kept = cell;
                cell = flushed(sum + kept * 0.5f);
                sum = kept - sum;
                if (++l.at >= l.length) l.at = 0;
            }
            out[side] = sum;
        }
        const auto wet = static_cast<float>(mixNow_) * kWetGain;
        const auto dry = 1.0f - static_cast<float>(mixNow_);
        for (int side = 0; side < 2; ++side) ch[side][i] = ch[side][i] * dry + out[side] * wet;
    }
}

void FxReverb::reset()
{
    for (auto& side : combs_)
        for (Line& l : side) {
            std::fill(l.buffer.begin(), l.buffer.end(), 0.0f);
            l.at = 0;
            l.store = 0.0f;
        }
    for (auto& side : passes_)
        for (Line& l : side) {
            std::fill(l.buffer.begin(), l.buffer.end(), 0.0f);
            l.at = 0;
        }
    sizeNow_ = size_;
    dampingNow_ = damping_;
    mixNow_ = mix_;
}
