// The picture recipes of the cast table: panel backgrounds in the eight
// colour schemes, titles and labels, buttons (up and lit), help bubbles, bars,
// the splash and the library pictures. Every colour, radius and font comes
// from the style sheet.
#pragma once

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// Paints variant `variant` of a cast line (the font is made elsewhere).
// False, with the problem in diag, for bad parameters.
// Height of the help bubble that holds `lines` lines of text.
int bubbleHeight(const Style& style, int lines);

bool paintCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag);

}  // namespace skinc
