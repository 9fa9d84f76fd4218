// The loop tuner's pictures: the dial of its knobs and the lit tip of their
// pointer, and its transport buttons with their glyphs (record, stop, play,
// load, save), on the faces of the groove panel's buttons, and its captions.
#pragma once

#include <string>
#include <vector>

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The variant names of a tuner recipe; empty for another recipe.
std::vector<std::string> tunerVariants(const CastLine& line);
// Paints a tuner recipe; false with `known` false for another recipe.
bool paintTunerCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag,
                    bool& known);

}  // namespace skinc
