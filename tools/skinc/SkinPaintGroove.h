// The groove panel's pictures: its background with the wells and captions of
// its sections, lamps, meter segments, slider thumbs, the main volume knob
// and the entries of the grooves and sequence strips.
#pragma once

#include <string>
#include <vector>

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The variant names of a groove recipe; empty for a recipe that is not one.
std::vector<std::string> grooveVariants(const CastLine& line);
// Paints a groove recipe; false when the line is not one of them (or failed,
// with the problem in diag).
bool paintGrooveCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag);

}  // namespace skinc
