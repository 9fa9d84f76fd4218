// The painter: a cairo canvas with the shapes the skin is drawn from
// (rounded plates, gradients, bevels, glows, icons, text in DejaVu), and the
// conversion of a painted canvas into a cast picture (15-bit colour, 8-bit
// mask where 255 is transparent).
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/skinc/SkinStyle.h"

namespace skinc {

// A cast's picture, rows top-down.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint16_t> pixels;  // 1-5-5-5
    std::vector<uint8_t> mask;     // empty for an opaque picture; else 0 opaque .. 255 transparent
};

class Canvas {
public:
    Canvas(int width, int height);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cr() const { return cr_; }
    int width() const { return width_; }
    int height() const { return height_; }
    bool ok() const { return cr_ && cairo_status(cr_) == CAIRO_STATUS_SUCCESS; }

    // Gradients are dithered so that 5 bits a channel show no bands; text
    // and flat shapes are better without. A mask is kept when asked, and the
    // colour under partly transparent pixels is the unblended colour.
    Picture toPicture(bool dither, bool withMask) const;

    // The alpha of a pixel, 0..255 (for the font's coverage).
    uint8_t alphaAt(int x, int y) const;

    // Snaps every opaque pixel painted so far to the 32 levels a channel
    // keeps, with an ordered dither: gradients then show no bands, and what
    // is painted afterwards (edges, icons, text) stays crisp.
    void ditherInPlace();

private:
    cairo_surface_t* surface_ = nullptr;
    cairo_t* cr_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Colour of one 8-bit channel in 5 bits, with the ordered dither at (x, y) or rounded.
int to5(int value8, int x, int y, bool dither);
uint16_t pixel555(int r8, int g8, int b8, int x, int y, bool dither);

void setColour(cairo_t* cr, const Colour& c);
void roundedRect(cairo_t* cr, double x, double y, double w, double h, double radius);
// A sunken area: darker ground, shadow along the top, light along the bottom.
void paintWell(cairo_t* cr, const Style& style, double x, double y, double w, double h);
// The accent line under a panel's header, with a dark edge above and a glow below.
void paintAccentRule(cairo_t* cr, const Style& style, const Colour& accent, double w, double header);
// Only the top corners rounded (a header on a rounded plate).
void roundedTop(cairo_t* cr, double x, double y, double w, double h, double radius);
void fillVertical(cairo_t* cr, double y0, double y1, const Colour& top, const Colour& bottom);
// A soft round light, brightest at the centre.
void glow(cairo_t* cr, double cx, double cy, double radius, const Colour& colour);

// Text in the skin's fonts, hinted for small sizes.
enum class Align { Left, Centre, Right };
void selectFont(cairo_t* cr, const FontStyle& font);
double textWidth(cairo_t* cr, const std::string& utf8);
void fontMetrics(cairo_t* cr, double& ascent, double& descent);
void drawText(cairo_t* cr, const std::string& utf8, double x, double baseline, Align align);

// Icons centred on (cx, cy), `size` across.
enum class Icon { None, Close, Power, Stop, Play, Info };
bool iconFromName(const std::string& name, Icon& icon);
void drawIcon(cairo_t* cr, Icon icon, double cx, double cy, double size, const Colour& colour);

}  // namespace skinc
