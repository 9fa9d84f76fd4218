#include "platform/PlatLoudness.h"

#include <ebur128.h>

#include <cmath>

namespace plat {

namespace {

ebur128_state* st(void* p)
{
    return static_cast<ebur128_state*>(p);
}

}  // namespace

bool LoudnessMeter::open(int channels, int rate)
{
    close();
    if (channels < 1 || channels > 64 || rate < 1000 || rate > 768000) return false;
    state_ = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(rate),
                          EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    channels_ = state_ ? channels : 0;
    return state_ != nullptr;
}

void LoudnessMeter::close()
{
    if (state_) {
        ebur128_state* s = st(state_);
        ebur128_destroy(&s);
    }
    state_ = nullptr;
    channels_ = 0;
}

bool LoudnessMeter::add(const float* frames, long count)
{
    if (!state_ || count < 0) return false;
    return count == 0 ||
           ebur128_add_frames_float(st(state_), frames, static_cast<size_t>(count)) == EBUR128_SUCCESS;
}

double LoudnessMeter::integratedLufs() const
{
    double lufs = -HUGE_VAL;
    if (!state_ || ebur128_loudness_global(st(state_), &lufs) != EBUR128_SUCCESS) return -HUGE_VAL;
    return lufs;
}

double LoudnessMeter::truePeakDb() const
{
    if (!state_) return -HUGE_VAL;
    double highest = 0;
    for (int c = 0; c < channels_; ++c) {
        double peak = 0;
        if (ebur128_true_peak(st(state_), static_cast<unsigned>(c), &peak) == EBUR128_SUCCESS &&
            peak > highest)
            highest = peak;
    }
    return highest > 0 ? 20.0 * std::log10(highest) : -HUGE_VAL;
}

}  // namespace plat
