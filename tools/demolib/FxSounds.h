// Effect sounds: risers, falls, impacts, textures.
#pragma once

#include <cstdint>

#include "tools/demolib/Sound.h"

namespace demolib {

// Noise swept up through a band pass from `fromHz` to `toHz` over `frames`,
// growing louder; it stops within its last few milliseconds.
Stereo riser(int frames, double fromHz, double toHz, uint64_t seed);
// Noise and a falling tone, fading away.
Stereo downlifter(double seconds, uint64_t seed);
// A deep boom with a burst of noise.
Stereo impact(double seconds, uint64_t seed);
// A filtered noise gust that swells and fades over `seconds`.
Stereo whoosh(double seconds, double fromHz, double toHz, uint64_t seed);
// A cymbal played backwards: it swells over `seconds` and stops.
Stereo reverseCymbal(double seconds, uint64_t seed);
// A laser-like tone falling from `fromHz` to `toHz`.
Stereo zap(double fromHz, double toHz, double seconds);
// Record crackle and hiss filling a loop of `frames`.
Stereo vinyl(int frames, double density, uint64_t seed);
// Wind: noise through a band pass that drifts `cycles` times per loop.
Stereo wind(int frames, double lowHz, double highHz, int cycles, uint64_t seed);

// A record scratched: `source` pushed back and forth `strokes` times over
// `seconds`, its pitch following the hand.
Stereo scratch(const Stereo& source, double seconds, int strokes, double reach);

}  // namespace demolib
