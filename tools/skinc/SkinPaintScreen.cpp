#include "tools/skinc/SkinPaintScreen.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

// The knob turns over three quarters of a circle, its lowest value at the
// bottom left and its highest at the bottom right (y grows downward).
constexpr double kFirstAngle = 0.75 * M_PI;
constexpr double kTurn = 1.5 * M_PI;

// One knob picture a frame, the frames one under the other.
bool knobFilm(const CastLine& line, const Style& style, Picture& out)
{
    const int size = line.params.number("size", 36);
    const int frames = std::clamp(line.params.number("frames", 32), 2, 128);
    Canvas canvas(size, size * frames);
    cairo_t* cr = canvas.cr();
    const double r = size / 2.0;
    const Colour top = style.colour("face.top").lighter(0.1), bottom = style.colour("face.bottom");
    const Colour lit = style.colour("lit.top");
    for (int f = 0; f < frames; ++f) {
        const double cy = f * size + r;
        const double angle = kFirstAngle + kTurn * f / (frames - 1);
        cairo_arc(cr, r, cy, r - 1, 0, 2 * M_PI);
        setColour(cr, style.colour("edge.dark"));
        cairo_fill(cr);
        // The value track around the rim: dim, then lit up to the value.
        cairo_set_line_width(cr, 2.5);
        cairo_arc(cr, r, cy, r - 3, kFirstAngle, kFirstAngle + kTurn);
        setColour(cr, Colour{1, 1, 1, 0.12});
        cairo_stroke(cr);
        if (f > 0) {
            cairo_arc(cr, r, cy, r - 3, kFirstAngle, angle);
            setColour(cr, lit);
            cairo_stroke(cr);
        }
        cairo_arc(cr, r, cy, r - 6, 0, 2 * M_PI);
        cairo_pattern_t* g = cairo_pattern_create_linear(0, cy - r, 0, cy + r);
        cairo_pattern_add_color_stop_rgba(g, 0, top.r, top.g, top.b, 1);
        cairo_pattern_add_color_stop_rgba(g, 1, bottom.r, bottom.g, bottom.b, 1);
        cairo_set_source(cr, g);
        cairo_fill(cr);
        cairo_pattern_destroy(g);
        // The pointer, from near the centre to the rim.
        cairo_set_line_width(cr, 2.5);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_move_to(cr, r + 3 * std::cos(angle), cy + 3 * std::sin(angle));
        cairo_line_to(cr, r + (r - 8) * std::cos(angle), cy + (r - 8) * std::sin(angle));
        setColour(cr, lit);
        cairo_stroke(cr);
    }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

}  // namespace

std::vector<std::string> screenVariants(const CastLine& line)
{
    if (line.recipe == "knobfilm") return {""};
    return {};
}

bool paintScreenCast(const CastLine& line, int, const Style& style, Picture& out, Diag&)
{
    if (line.recipe == "knobfilm") return knobFilm(line, style, out);
    return false;
}

}  // namespace skinc
