// The virtual mix's pictures: its whole-stage background (wells, captions,
// slider grounds, hints) and the small captions of the random-mix options.
#pragma once

#include <string>
#include <vector>

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The variant names of a virtual mix recipe; empty for a recipe that is not one.
std::vector<std::string> vmixVariants(const CastLine& line);
bool paintVMixCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag);

}  // namespace skinc
