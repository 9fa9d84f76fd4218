// The skin font: glyphs cut out of one cast picture, side by side in its
// top rows; the third of the five rows below them marks each glyph's columns,
// the runs from left to right belonging to the codes 0, 1, 2 ... in turn.
#pragma once

#include <cstdint>

#include "core/kelGeometry.h"
#include "core/kelOffmap.h"

class KelCasts;

// The ellipsis of the skin font, put where a text is cut.
constexpr uint8_t kelFontEllipsis = 0xC9;

class kelFont {
public:
    uint8_t parsed = 0;
    kelOffmap image;
    const kelOffmap* mask = nullptr;  // the font cast's own mask
    int16_t height = 0;
    kelRect glyphs[256];

    void setup(KelCasts* casts, int16_t castID);
    void parseImage();
    // Shortens text in place to fit maxWidth, ending it with the ellipsis;
    // returns the new length.
    int16_t stringFitWidth(char* text, int16_t maxWidth) const;
    // align 0: x is the left edge; 2: the right edge; others: the centre.
    // A glyph is drawn only when it lies whole inside the destination and,
    // when a clip rectangle is given, only its part inside the clip.
    void copyString(kelOffmap* dest, const char* text, int16_t x, int16_t y, int16_t align,
                    const kelRect* clip = nullptr) const;
    void copyMaskString(kelOffmap* dest, const char* text, int16_t x, int16_t y, int16_t align,
                        const kelRect* clip = nullptr) const;
    void colorize(int16_t red, int16_t green, int16_t blue);

    int16_t glyphWidth(uint8_t code) const { return glyphs[code].width(); }
    int16_t stringWidth(const char* text) const;
    // Back to the state before setup (the mask belongs to the cast table).
    void reset();

private:
    void drawString(kelOffmap* dest, const char* text, int16_t x, int16_t y, int16_t align, bool masked,
                    const kelRect* clip) const;
};

extern kelFont PWFont;
