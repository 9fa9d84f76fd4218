// The song browser's pictures: tool buttons with their own icons (load,
// delete, copy, disk, web, list arrows) and the check box of its options.
#pragma once

#include <string>
#include <vector>

#include "tools/skinc/SkinCasts.h"
#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The variant names of the browser's recipes; empty for another recipe.
std::vector<std::string> browserVariantsOf(const std::string& recipe);
// Paints a browser recipe; false with `known` false for another recipe.
bool paintBrowserCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag,
                      bool& known);

}  // namespace skinc
