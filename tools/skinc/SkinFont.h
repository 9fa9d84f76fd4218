// The skin font (cast 500): every character code's glyph side by side in one
// strip, white on transparent, with five rows below the glyphs whose third
// (the marker row) marks each glyph's columns with a run of lit pixels. The
// runs from left to right belong to codes 0, 1, 2 ... 255.
#pragma once

#include <string>

#include "tools/skinc/SkinPainter.h"

namespace skinc {

// The character a code of the program's 8-bit set shows: Latin-1, code 0xC9
// the ellipsis, 0x80..0x9F as their common Western (1252) characters; 0 for
// codes with nothing to show (control codes).
uint32_t skinFontCharacter(int code);

struct FontStrip {
    Picture picture;
    int glyphHeight = 0;
    int markerRow = 0;
    int left[256] = {};
    int width[256] = {};

    // Width of an 8-bit text drawn in the font.
    int textWidth(const std::string& text8) const;
};

// glyphHeight rows of glyphs, the baseline `baseline` rows below the top.
bool renderSkinFont(const FontStyle& font, int glyphHeight, int baseline, FontStrip& strip, Diag& diag);

}  // namespace skinc
