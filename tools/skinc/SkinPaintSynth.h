// The synthesizer's pictures: the synth panel's background with the wells
// of its keyboard and presets and the captions of its controls, the synth
// browser's background, and the keys (white keys in three shapes, black
// keys), each unlit and lit.
#pragma once

#include <string>
#include <vector>

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The variant names of a synth recipe; empty for another recipe.
std::vector<std::string> synthVariants(const CastLine& line);
// Paints a synth recipe; false when the line is not one (or failed, with the
// problem in diag).
bool paintSynthCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag);

}  // namespace skinc
