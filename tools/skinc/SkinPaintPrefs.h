// The preferences panel's pictures: its plate with the wells and captions of
// its sections, the choice chips (a lamp and a label, lit when chosen), the
// rows of lights of the random sets and the swatches of the interface
// colour schemes.
#pragma once

#include <string>
#include <vector>

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The variant names of a preferences recipe; empty for another recipe.
std::vector<std::string> prefsVariantsOf(const std::string& recipe);
// Paints a preferences recipe; false with `known` false for another recipe.
bool paintPrefsCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag,
                    bool& known);

}  // namespace skinc
