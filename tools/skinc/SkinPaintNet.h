// The network panel's pictures: state buttons with one picture per state
// (the link's mode, each track's use) and the small captions of its wells.
#pragma once

#include <string>
#include <vector>

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The variant names of the network panel's recipes; empty for another recipe.
std::vector<std::string> netVariantsOf(const CastLine& line);
// Paints a network recipe; false with `known` false for another recipe.
bool paintNetCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag,
                  bool& known);

}  // namespace skinc
