#include "ui/kelFont.h"

#include <algorithm>

#include "core/kelCasts.h"

kelFont PWFont;

void kelFont::reset()
{
    parsed = 0;
    image.dispose();
    mask = nullptr;
    height = 0;
    for (kelRect& g : glyphs) g = kelRect();
}

void kelFont::setup(KelCasts* casts, int16_t castID)
{
    reset();
    KelOneCast* cast = casts ? casts->castAt(casts->MPixIDtoIndex(castID)) : nullptr;
    if (cast) {
        cast->LoadAvailable();
        mask = cast->maskLoaded ? &cast->mask : nullptr;
        if (cast->imageLoaded &&
            image.allocate(kelOffmapDefaultDepth, cast->image.size.h, cast->image.size.v, -1)) {
            image.copy(&cast->image, &cast->image.bounds, &image.bounds);
        }
    }
    parseImage();
}

void kelFont::parseImage()
{
    parsed = 0;
    const int16_t width = image.size.h;
    if (width == 0 || !image.pixels || image.size.v < 5) return;
    height = static_cast<int16_t>(image.size.v - 5);
    const int16_t marker = static_cast<int16_t>(height + 2);
    int16_t x = 0;
    for (int code = 0; code < 256; ++code) {
        while (x < width && image.getPixel(x, marker) == 0) ++x;
        const int16_t left = x;
        while (x < width && image.getPixel(x, marker) != 0) ++x;
        glyphs[code] = kelRect(left, 0, x, height);
    }
    parsed = 1;
}

int16_t kelFont::stringWidth(const char* text) const
{
    int16_t total = 0;
    for (const char* p = text; p && *p; ++p)
        total = static_cast<int16_t>(total + glyphWidth(static_cast<uint8_t>(*p)));
    return total;
}

int16_t kelFont::stringFitWidth(char* text, int16_t maxWidth) const
{
    if (!text) return 0;
    auto w = [this](char c) { return glyphWidth(static_cast<uint8_t>(c)); };
    int16_t total = 0;
    int p = 0;
    for (; text[p]; ++p) {
        total = static_cast<int16_t>(total + w(text[p]));
        if (total > maxWidth) break;
    }
    if (!text[p]) return static_cast<int16_t>(p);
    for (;;) {
        if (total <= maxWidth) break;
        if (p == 0) {
            text[0] = '\0';
            break;
        }
        total = static_cast<int16_t>(total - w(text[p]) - w(text[p - 1]));
        --p;
        text[p] = static_cast<char>(kelFontEllipsis);
        total = static_cast<int16_t>(total + w(text[p]));
        text[p + 1] = '\0';
    }
    int16_t n = 0;
    while (text[n]) ++n;
    return n;
}

void kelFont::drawString(kelOffmap* dest, const char* text, int16_t x, int16_t y, int16_t align, bool masked,
                         const kelRect* clip) const
{
    if (!dest || !text) return;
    int cx = x;
    if (align != 0) {
        const int16_t total = stringWidth(text);
        cx = align == 2 ? x - total : x - total / 2;
    }
    for (const char* p = text; *p; ++p) {
        const kelRect& glyph = glyphs[static_cast<uint8_t>(*p)];
        const int gw = glyph.width();
        kelRect target(cx, y, cx + gw, y + height);
        cx += gw;
        if (gw <= 0 || !dest->bounds.contains(target)) continue;
        kelRect source = glyph;
        if (clip && !clip->contains(target)) {
            // Only the part inside the clip, glyph rectangle cut alike.
            const int l = std::max<int>(target.left, clip->left), t = std::max<int>(target.top, clip->top);
            const int r = std::min<int>(target.right, clip->right),
                      b = std::min<int>(target.bottom, clip->bottom);
            if (l >= r || t >= b) continue;
            source = kelRect(glyph.left + (l - target.left), glyph.top + (t - target.top),
                             glyph.left + (r - target.left), glyph.top + (b - target.top));
            target = kelRect(l, t, r, b);
        }
        if (masked && mask)
            dest->copyMask(&image, &source, mask, &source, &target);
        else
            dest->copy(&image, &source, &target);
    }
}

void kelFont::copyString(kelOffmap* dest, const char* text, int16_t x, int16_t y, int16_t align,
                         const kelRect* clip) const
{
    drawString(dest, text, x, y, align, false, clip);
}

void kelFont::copyMaskString(kelOffmap* dest, const char* text, int16_t x, int16_t y, int16_t align,
                             const kelRect* clip) const
{
    drawString(dest, text, x, y, align, true, clip);
}

void kelFont::colorize(int16_t red, int16_t green, int16_t blue)
{
    if (parsed) image.colorize(red, green, blue);
}
