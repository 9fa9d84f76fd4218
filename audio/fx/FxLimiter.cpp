#include "audio/fx/FxLimiter.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRelease = 0.1;  // heard seconds to come most of the way back

}  // namespace

FxLimiter::FxLimiter(float ceilingDb) : ceilingDb_(ceilingDb)
{
    held_.fill(1.0);
    asked_.fill(1.0);
}

void FxLimiter::setParam(int index, float value)
{
    if (index == kCeiling) ceilingDb_ = value;
}

void FxLimiter::process(float* left, float* right, int n, const FxContext& c)
{
    const double target = std::pow(10.0, std::clamp(static_cast<double>(ceilingDb_), -60.0, 0.0) / 20.0);
    if (!started_) {
        ceiling_ = target;
        started_ = true;
    }
    const double frames = c.timeRate > 1.0 ? c.timeRate : 44100.0;
    const double back = 1.0 - std::exp(-1.0 / (kRelease * frames));
    // A lower ceiling is taken at once (it can only limit more); a higher
    // one over the window, so that the gain it lets up eases too.
    const double ceilingStep = 1.0 / (kAhead * 8);
    for (int i = 0; i < n; ++i) {
        ceiling_ = target < ceiling_ ? target : std::min(target, ceiling_ * (1.0 + ceilingStep));
        const float inL = left[i];
        const float inR = right[i];
        const double peak = std::max(std::fabs(inL), std::fabs(inR));
        const double asked = peak > ceiling_ ? ceiling_ / peak : 1.0;
        const long long now = frame_++;
        // The window's least gain, over frames [now - kAhead + 1, now].
        while (minCount_ > 0 && minGain_[(minHead_ + minCount_ - 1) % (kAhead + 1)] >= asked) --minCount_;
        minFrame_[(minHead_ + minCount_) % (kAhead + 1)] = now;
        minGain_[(minHead_ + minCount_) % (kAhead + 1)] = asked;
        ++minCount_;
        if (minFrame_[minHead_] <= now - kAhead) {
            minHead_ = (minHead_ + 1) % (kAhead + 1);
            --minCount_;
        }
        const double least = minGain_[minHead_];
        // The frame that leaves now entered kAhead - 1 frames ago; every
        // window averaged here holds it, so the average is no more than
        // the gain it asked for.
        const int slot = static_cast<int>(now % kAhead);
        heldSum_ += least - held_[static_cast<size_t>(slot)];
        held_[static_cast<size_t>(slot)] = least;
        const double eased = heldSum_ / kAhead;
        release_ = std::min(eased, release_ + (1.0 - release_) * back);
        const auto out = static_cast<size_t>((now + 1) % kAhead);
        float l = waitL_[out];
        float r = waitR_[out];
        const double own = asked_[out];
        waitL_[static_cast<size_t>(slot)] = inL;
        waitR_[static_cast<size_t>(slot)] = inR;
        asked_[static_cast<size_t>(slot)] = asked;
        const double gain = std::min(release_, own);
        l = static_cast<float>(l * gain);
        r = static_cast<float>(r * gain);
        // Rounding aside, the gain already did it; the half step below keeps
        // a frame at the ceiling under it once it is rounded to 16 bits.
        const auto most = static_cast<float>(ceiling_ - 0.5 / 32768.0);
        left[i] = std::clamp(l, -most, most);
        right[i] = std::clamp(r, -most, most);
    }
    if (frame_ > (1LL << 60)) frame_ = 0;
}

void FxLimiter::reset()
{
    waitL_.fill(0.0f);
    waitR_.fill(0.0f);
    asked_.fill(1.0);
    held_.fill(1.0);
    heldSum_ = kAhead;
    minHead_ = minCount_ = 0;
    frame_ = 0;
    release_ = 1.0;
    started_ = false;
}
