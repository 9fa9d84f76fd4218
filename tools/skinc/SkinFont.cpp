#include "tools/skinc/SkinFont.h"

#include <cairo-ft.h>

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

// 0x80..0x9F as the Western Windows set shows them; 0 where it has nothing.
constexpr uint32_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

std::string utf8Of(uint32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

// The face fontconfig picked for the family, so a missing font fails the
// build instead of quietly giving other glyph widths.
std::string resolvedFamily(cairo_t* cr)
{
    cairo_scaled_font_t* scaled = cairo_get_scaled_font(cr);
    if (cairo_scaled_font_get_type(scaled) != CAIRO_FONT_TYPE_FT) return "";
    FT_Face face = cairo_ft_scaled_font_lock_face(scaled);
    std::string family = face && face->family_name ? face->family_name : "";
    cairo_ft_scaled_font_unlock_face(scaled);
    return family;
}

}  // namespace

uint32_t skinFontCharacter(int code)
{
    if (code == 0xC9) return 0x2026;
    if (code >= 0x20 && code < 0x7F) return static_cast<uint32_t>(code);
    if (code >= 0x80 && code < 0xA0) return kHigh1252[code - 0x80];
    if (code >= 0xA0 && code <= 0xFF) return static_cast<uint32_t>(code);
    return 0;
}

int FontStrip::textWidth(const std::string& text8) const
{
    int w = 0;
    for (const unsigned char c : text8) w += width[c];
    return w;
}

bool renderSkinFont(const FontStyle& font, int glyphHeight, int baseline, FontStrip& strip, Diag& diag)
{
    strip = FontStrip{};
    strip.glyphHeight = glyphHeight;
    strip.markerRow = glyphHeight + 2;

    // Widths first: each glyph is as wide as its advance, whole pixels.
    Canvas measure(1, 1);
    selectFont(measure.cr(), font);
    const std::string family = resolvedFamily(measure.cr());
    if (family != font.family) {
        diag.error("font", "'" + font.family + "' is not installed (fontconfig offers '" + family + "')");
        return false;
    }
    int x = 0;
    for (int code = 0; code < 256; ++code) {
        const uint32_t c = skinFontCharacter(code);
        int w = 1;  // nothing to show: a sliver, so every code still has its run
        if (c != 0) w = std::max(1, static_cast<int>(std::lround(textWidth(measure.cr(), utf8Of(c)))));
        strip.left[code] = x;
        strip.width[code] = w;
        x += w + 1;  // a dark column between runs keeps them apart
    }
    const int width = x;
    const int height = glyphHeight + 5;

    Canvas canvas(width, height);
    cairo_t* cr = canvas.cr();
    // The outlines are hinted fully: the font is read at one size only.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    selectFont(cr, font);
    cairo_set_source_rgba(cr, 1, 1, 1, 1);
    for (int code = 0; code < 256; ++code) {
        const uint32_t c = skinFontCharacter(code);
        if (c == 0) continue;
        cairo_save(cr);
        cairo_rectangle(cr, strip.left[code], 0, strip.width[code], glyphHeight);
        cairo_clip(cr);
        cairo_move_to(cr, strip.left[code], baseline);
        cairo_show_text(cr, utf8Of(c).c_str());
        cairo_restore(cr);
    }
    if (!canvas.ok()) {
        diag.error("font", "cairo could not draw the glyphs");
        return false;
    }

    Picture& p = strip.picture;
    p.width = width;
    p.height = height;
    p.pixels.assign(static_cast<size_t>(width) * height, 0);
    p.mask.assign(p.pixels.size(), 255);
    for (int y = 0; y < glyphHeight; ++y) {
        for (int gx = 0; gx < width; ++gx) {
            const int a = canvas.alphaAt(gx, y);
            if (a == 0) continue;
            const size_t i = static_cast<size_t>(y) * width + gx;
            // Plain copies show the picture as it is, masked copies blend it by
            // the coverage: white up to the glyph's half-covered edge serves both.
            const int level = std::min(31, (std::min(255, 2 * a) * 31 + 127) / 255);
            p.pixels[i] = static_cast<uint16_t>((level << 10) | (level << 5) | level);
            p.mask[i] = static_cast<uint8_t>(255 - a);
        }
    }
    for (int code = 0; code < 256; ++code)
        for (int gx = strip.left[code]; gx < strip.left[code] + strip.width[code]; ++gx)
            p.pixels[static_cast<size_t>(strip.markerRow) * width + gx] = 0x7FFF;
    return true;
}

}  // namespace skinc
