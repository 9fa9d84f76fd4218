#include "tools/skinc/SkinPaintTuner.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

enum class Glyph { None, Record, Stop, Play, Load, Save, Fit };

bool glyphFromName(const std::string& name, Glyph& g)
{
    static const std::pair<const char*, Glyph> kNames[] = {
        {"none", Glyph::None}, {"record", Glyph::Record}, {"stop", Glyph::Stop}, {"play", Glyph::Play},
        {"load", Glyph::Load}, {"save", Glyph::Save},     {"fit", Glyph::Fit}};
    for (const auto& [text, glyph] : kNames)
        if (name == text) {
            g = glyph;
            return true;
        }
    return false;
}

// The knobs turn from 135 to 405 degrees, clockwise from the right.
constexpr double kFirstAngle = 135.0 * M_PI / 180.0;
constexpr double kLastAngle = 405.0 * M_PI / 180.0;

bool sizeIn(const CastLine& line, Diag& diag, const char* key, int fallback, int low, int high, int& out)
{
    out = line.params.number(key, fallback);
    for (const std::string& problem : line.params.bad()) diag.error(line.where, problem);
    if (!line.params.bad().empty()) return false;
    if (out >= low && out <= high) return true;
    diag.error(line.where,
               std::string(key) + " must be from " + std::to_string(low) + " to " + std::to_string(high));
    return false;
}

// A knob's dial: a ring of ticks along its travel around a raised cap.
bool dial(const CastLine& line, const Style& style, Picture& out, Diag& diag)
{
    int size = 0;
    if (!sizeIn(line, diag, "size", 40, 16, 96, size)) return false;
    const int ticks = std::clamp(line.params.number("ticks", 11), 2, 41);
    Canvas canvas(size, size);
    cairo_t* cr = canvas.cr();
    const double c = size / 2.0;
    const double outer = c - 0.5;
    const double cap = c - std::max(4.0, size * 0.14);

    // The sunken ground the cap sits in.
    cairo_arc(cr, c, c, outer, 0, 2 * M_PI);
    setColour(cr, Colour{0, 0, 0, 0.45});
    cairo_fill(cr);
    // Ticks: the ends of the travel brighter.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, size >= 32 ? 1.4 : 1.1);
    for (int i = 0; i < ticks; ++i) {
        const double a = kFirstAngle + (kLastAngle - kFirstAngle) * i / (ticks - 1);
        const bool end = i == 0 || i == ticks - 1;
        setColour(cr, end ? style.colour("ink") : style.colour("ink.dim").withAlpha(0.8));
        cairo_move_to(cr, c + std::cos(a) * (cap + 1.5), c + std::sin(a) * (cap + 1.5));
        cairo_line_to(cr, c + std::cos(a) * (outer - 1), c + std::sin(a) * (outer - 1));
        cairo_stroke(cr);
    }
    // The cap, lit from above.
    cairo_arc(cr, c, c + 1, cap, 0, 2 * M_PI);
    setColour(cr, Colour{0, 0, 0, 0.6});
    cairo_fill(cr);
    cairo_arc(cr, c, c, cap, 0, 2 * M_PI);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, c - cap, 0, c + cap);
    const Colour top = style.colour("face.top").lighter(0.12),
                 bottom = style.colour("face.bottom").darker(0.1);
    cairo_pattern_add_color_stop_rgba(g, 0, top.r, top.g, top.b, 1);
    cairo_pattern_add_color_stop_rgba(g, 1, bottom.r, bottom.g, bottom.b, 1);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_set_line_width(cr, 1);
    cairo_arc(cr, c, c, cap - 0.5, 0, 2 * M_PI);
    setColour(cr, style.colour("face.edge"));
    cairo_stroke(cr);
    cairo_arc(cr, c, c, cap - 1.5, M_PI * 1.1, M_PI * 1.9);
    setColour(cr, style.colour("face.highlight"));
    cairo_stroke(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// The pointer's lit tip.
bool dot(const CastLine& line, const Style& style, Picture& out, Diag& diag)
{
    int size = 0;
    if (!sizeIn(line, diag, "size", 6, 3, 24, size)) return false;
    Canvas canvas(size, size);
    cairo_t* cr = canvas.cr();
    const double r = size / 2.0;
    cairo_arc(cr, r, r, r, 0, 2 * M_PI);
    setColour(cr, style.colour("lit.glow"));
    cairo_fill(cr);
    cairo_arc(cr, r, r, r - 1, 0, 2 * M_PI);
    setColour(cr, style.colour("lit.top").lighter(0.2));
    cairo_fill(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

void drawGlyph(cairo_t* cr, Glyph g, double cx, double cy, double s, const Colour& ink, const Colour& record)
{
    const double h = s / 2;
    cairo_save(cr);
    setColour(cr, ink);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, std::max(1.4, s / 8));
    switch (g) {
        case Glyph::None: break;
        case Glyph::Record:
            cairo_arc(cr, cx, cy, h * 0.72, 0, 2 * M_PI);
            setColour(cr, record);
            cairo_fill(cr);
            break;
        case Glyph::Stop:
            cairo_rectangle(cr, cx - h * 0.62, cy - h * 0.62, h * 1.24, h * 1.24);
            cairo_fill(cr);
            break;
        case Glyph::Play:
            cairo_move_to(cr, cx - h * 0.55, cy - h * 0.75);
            cairo_line_to(cr, cx + h * 0.75, cy);
            cairo_line_to(cr, cx - h * 0.55, cy + h * 0.75);
            cairo_close_path(cr);
            cairo_fill(cr);
            break;
        case Glyph::Load:  // a folder
            cairo_move_to(cr, cx - h * 0.9, cy + h * 0.7);
            cairo_line_to(cr, cx - h * 0.9, cy - h * 0.7);
            cairo_line_to(cr, cx - h * 0.25, cy - h * 0.7);
            cairo_line_to(cr, cx, cy - h * 0.4);
            cairo_line_to(cr, cx + h * 0.9, cy - h * 0.4);
            cairo_line_to(cr, cx + h * 0.9, cy + h * 0.7);
            cairo_close_path(cr);
            cairo_stroke(cr);
            break;
        case Glyph::Save:  // an arrow down into a tray
            cairo_move_to(cr, cx, cy - h * 0.9);
            cairo_line_to(cr, cx, cy + h * 0.3);
            cairo_move_to(cr, cx - h * 0.45, cy - h * 0.15);
            cairo_line_to(cr, cx, cy + h * 0.3);
            cairo_line_to(cr, cx + h * 0.45, cy - h * 0.15);
            cairo_move_to(cr, cx - h * 0.9, cy + h * 0.35);
            cairo_line_to(cr, cx - h * 0.9, cy + h * 0.85);
            cairo_line_to(cr, cx + h * 0.9, cy + h * 0.85);
            cairo_line_to(cr, cx + h * 0.9, cy + h * 0.35);
            cairo_stroke(cr);
            break;
        case Glyph::Fit:  // an arrow stretched between two bar lines
            cairo_move_to(cr, cx - h * 0.9, cy - h * 0.8);
            cairo_line_to(cr, cx - h * 0.9, cy + h * 0.8);
            cairo_move_to(cr, cx + h * 0.9, cy - h * 0.8);
            cairo_line_to(cr, cx + h * 0.9, cy + h * 0.8);
            cairo_move_to(cr, cx - h * 0.55, cy);
            cairo_line_to(cr, cx + h * 0.55, cy);
            cairo_move_to(cr, cx - h * 0.25, cy - h * 0.3);
            cairo_line_to(cr, cx - h * 0.55, cy);
            cairo_line_to(cr, cx - h * 0.25, cy + h * 0.3);
            cairo_move_to(cr, cx + h * 0.25, cy - h * 0.3);
            cairo_line_to(cr, cx + h * 0.55, cy);
            cairo_line_to(cr, cx + h * 0.25, cy + h * 0.3);
            cairo_stroke(cr);
            break;
    }
    cairo_restore(cr);
}

// A push button with a glyph: variant 0 up, variant 1 pressed and lit.
bool button(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    int w = 0, h = 0;
    if (!sizeIn(line, diag, "width", 72, 12, 640, w) || !sizeIn(line, diag, "height", 22, 12, 480, h))
        return false;
    Glyph glyph = Glyph::None;
    if (!glyphFromName(line.params.text("glyph", "none"), glyph)) {
        diag.error(line.where, "unknown glyph '" + line.params.text("glyph") + "'");
        return false;
    }
    const std::string text = line.params.text("text");
    const bool lit = variant == 1;
    const double radius = style.size("radius.button");

    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0, 0, w, h, radius);
    const Colour litTop = style.colour("lit.top");
    if (lit)
        fillVertical(cr, 0, h, litTop, litTop.darker(0.28));
    else
        fillVertical(cr, 0, h, style.colour("face.top"), style.colour("face.bottom"));
    canvas.ditherInPlace();
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 1.5, 1.5, w - 3, h - 3, std::max(0.0, radius - 1.5));
    setColour(cr, lit ? style.colour("shadow") : style.colour("face.highlight"));
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, w, h / 2.0);
    cairo_clip(cr);
    cairo_stroke(cr);
    cairo_restore(cr);
    cairo_new_path(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, std::max(0.0, radius - 0.5));
    setColour(cr, style.colour("face.edge"));
    cairo_stroke(cr);

    const Colour ink = lit ? style.colour("ink.dark") : style.colour("ink");
    const Colour record = lit ? Colour{0.62, 0.05, 0.04, 1} : Colour{1.0, 0.33, 0.30, 1};
    const double glyphSize = std::round(std::min(w, h) * 0.5);
    selectFont(cr, style.font("button"));
    double ascent = 0, descent = 0;
    fontMetrics(cr, ascent, descent);
    const double gap = glyph != Glyph::None && !text.empty() ? 6 : 0;
    const double group =
        (glyph != Glyph::None ? glyphSize : 0) + gap + (text.empty() ? 0 : textWidth(cr, text));
    const double left = std::round((w - group) / 2);
    if (glyph != Glyph::None) drawGlyph(cr, glyph, left + glyphSize / 2, h / 2.0, glyphSize, ink, record);
    if (!text.empty()) {
        setColour(cr, ink);
        drawText(cr, text, left + (glyph != Glyph::None ? glyphSize + gap : 0),
                 std::round((h - (ascent + descent)) / 2 + ascent), Align::Left);
    }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// A caption in the groove panel's manner: small, bold, dim.
bool caption(const CastLine& line, const Style& style, Picture& out, Diag& diag)
{
    const std::string text = line.params.text("text");
    if (text.empty()) {
        diag.error(line.where, "a caption needs text=...");
        return false;
    }
    int size = 0;
    if (!sizeIn(line, diag, "size", 8, 6, 16, size)) return false;
    FontStyle font;
    font.bold = line.params.number("bold", 1) != 0;
    font.size = size;
    Canvas probe(1, 1);
    selectFont(probe.cr(), font);
    double ascent = 0, descent = 0;
    fontMetrics(probe.cr(), ascent, descent);
    const int w = static_cast<int>(std::ceil(textWidth(probe.cr(), text))) + 2;
    const int h = static_cast<int>(std::ceil(ascent + descent)) + 1;
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    selectFont(cr, font);
    setColour(cr, style.colour("ink.dim"));
    drawText(cr, text, 1, std::round((h - (ascent + descent)) / 2 + ascent), Align::Left);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

}  // namespace

std::vector<std::string> tunerVariants(const CastLine& line)
{
    if (line.recipe == "tunerbutton") return {"up", "down"};
    if (line.recipe == "tunerdial" || line.recipe == "tunerdot" || line.recipe == "tunercaption") return {""};
    return {};
}

bool paintTunerCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag,
                    bool& known)
{
    known = true;
    if (line.recipe == "tunerbutton") return button(line, variant, style, out, diag);
    if (line.recipe == "tunerdial") return dial(line, style, out, diag);
    if (line.recipe == "tunerdot") return dot(line, style, out, diag);
    if (line.recipe == "tunercaption") return caption(line, style, out, diag);
    known = false;
    return false;
}

}  // namespace skinc
