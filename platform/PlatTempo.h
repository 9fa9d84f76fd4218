// The tempo a sound's beats suggest, from aubio's beat tracker: for a loop
// whose name gives none and whose length allows several.
#pragma once

#include <cstdint>

namespace plat {

// `frames` mono frames at `rate`, heard four times over as a loop is
// played, so that a short loop gives the tracker enough beats. Beats a
// minute, 0 when no steady beat was found.
double soundTempo(const float* mono, int64_t frames, int rate);

}  // namespace plat
