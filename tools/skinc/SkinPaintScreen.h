// Pictures of the groove panel's screen additions: the main volume knob as
// a film whose frames turn its pointer from the lowest to the highest value.
#pragma once

#include <string>
#include <vector>

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The variant names of such a recipe; empty for a recipe that is not one.
std::vector<std::string> screenVariants(const CastLine& line);
bool paintScreenCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag);

}  // namespace skinc
