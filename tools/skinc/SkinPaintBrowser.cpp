#include "tools/skinc/SkinPaintBrowser.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

enum class Glyph { None, Load, Delete, Copy, Disk, Web, Guide, NewSong, Up, Down };

bool glyphFromName(const std::string& name, Glyph& g)
{
    static const std::pair<const char*, Glyph> kNames[] = {
        {"none", Glyph::None}, {"load", Glyph::Load}, {"delete", Glyph::Delete}, {"copy", Glyph::Copy},
        {"disk", Glyph::Disk}, {"web", Glyph::Web},   {"guide", Glyph::Guide},   {"newsong", Glyph::NewSong},
        {"up", Glyph::Up},     {"down", Glyph::Down}};
    for (const auto& [text, glyph] : kNames)
        if (name == text) {
            g = glyph;
            return true;
        }
    return false;
}

// The icons are drawn in a square `s` across centred on (cx, cy), in strokes
// of one weight so that they read as one family at 12 to 16 pixels.
void drawGlyph(cairo_t* cr, Glyph g, double cx, double cy, double s, const Colour& ink)
{
    const double h = s / 2;
    cairo_save(cr);
    setColour(cr, ink);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(cr, std::max(1.4, s / 9));
    switch (g) {
        case Glyph::None: break;
        case Glyph::Load:  // a play triangle over a tray: into the groove
            cairo_move_to(cr, cx - h * 0.45, cy - h * 0.85);
            cairo_line_to(cr, cx + h * 0.65, cy - h * 0.2);
            cairo_line_to(cr, cx - h * 0.45, cy + h * 0.45);
            cairo_close_path(cr);
            cairo_fill(cr);
            cairo_move_to(cr, cx - h * 0.85, cy + h * 0.85);
            cairo_line_to(cr, cx + h * 0.85, cy + h * 0.85);
            cairo_stroke(cr);
            break;
        case Glyph::Delete:  // a bin
            cairo_move_to(cr, cx - h * 0.85, cy - h * 0.6);
            cairo_line_to(cr, cx + h * 0.85, cy - h * 0.6);
            cairo_move_to(cr, cx - h * 0.3, cy - h * 0.6);
            cairo_line_to(cr, cx - h * 0.3, cy - h * 0.9);
            cairo_line_to(cr, cx + h * 0.3, cy - h * 0.9);
            cairo_line_to(cr, cx + h * 0.3, cy - h * 0.6);
            cairo_move_to(cr, cx - h * 0.6, cy - h * 0.6);
            cairo_line_to(cr, cx - h * 0.48, cy + h * 0.9);
            cairo_line_to(cr, cx + h * 0.48, cy + h * 0.9);
            cairo_line_to(cr, cx + h * 0.6, cy - h * 0.6);
            cairo_stroke(cr);
            cairo_move_to(cr, cx, cy - h * 0.3);
            cairo_line_to(cr, cx, cy + h * 0.6);
            cairo_stroke(cr);
            break;
        case Glyph::Copy:  // two sheets
            roundedRect(cr, cx - h * 0.85, cy - h * 0.85, h * 1.1, h * 1.2, h * 0.15);
            cairo_stroke(cr);
            roundedRect(cr, cx - h * 0.25, cy - h * 0.35, h * 1.1, h * 1.2, h * 0.15);
            cairo_fill(cr);
            break;
        case Glyph::Disk:  // a drive with its light
            roundedRect(cr, cx - h * 0.9, cy - h * 0.45, h * 1.8, h * 0.9, h * 0.2);
            cairo_stroke(cr);
            cairo_arc(cr, cx + h * 0.5, cy, h * 0.14, 0, 2 * M_PI);
            cairo_fill(cr);
            break;
        case Glyph::Web:  // a globe
            cairo_arc(cr, cx, cy, h * 0.85, 0, 2 * M_PI);
            cairo_stroke(cr);
            cairo_save(cr);
            cairo_translate(cr, cx, cy);
            cairo_scale(cr, 0.42, 1);
            cairo_arc(cr, 0, 0, h * 0.85, 0, 2 * M_PI);
            cairo_restore(cr);
            cairo_stroke(cr);
            cairo_move_to(cr, cx - h * 0.85, cy);
            cairo_line_to(cr, cx + h * 0.85, cy);
            cairo_stroke(cr);
            break;
        case Glyph::Guide:  // an open book
            cairo_move_to(cr, cx, cy - h * 0.55);
            cairo_curve_to(cr, cx - h * 0.35, cy - h * 0.8, cx - h * 0.7, cy - h * 0.8, cx - h * 0.95,
                           cy - h * 0.6);
            cairo_line_to(cr, cx - h * 0.95, cy + h * 0.75);
            cairo_curve_to(cr, cx - h * 0.7, cy + h * 0.55, cx - h * 0.35, cy + h * 0.55, cx, cy + h * 0.8);
            cairo_curve_to(cr, cx + h * 0.35, cy + h * 0.55, cx + h * 0.7, cy + h * 0.55, cx + h * 0.95,
                           cy + h * 0.75);
            cairo_line_to(cr, cx + h * 0.95, cy - h * 0.6);
            cairo_curve_to(cr, cx + h * 0.7, cy - h * 0.8, cx + h * 0.35, cy - h * 0.8, cx, cy - h * 0.55);
            cairo_line_to(cr, cx, cy + h * 0.8);
            cairo_stroke(cr);
            break;
        case Glyph::NewSong:  // a folder with a plus: a song from a folder of loops
            cairo_move_to(cr, cx - h * 0.95, cy + h * 0.75);
            cairo_line_to(cr, cx - h * 0.95, cy - h * 0.75);
            cairo_line_to(cr, cx - h * 0.35, cy - h * 0.75);
            cairo_line_to(cr, cx - h * 0.15, cy - h * 0.5);
            cairo_line_to(cr, cx + h * 0.2, cy - h * 0.5);
            cairo_move_to(cr, cx + h * 0.1, cy + h * 0.75);
            cairo_line_to(cr, cx - h * 0.95, cy + h * 0.75);
            cairo_stroke(cr);
            cairo_move_to(cr, cx + h * 0.55, cy - h * 0.35);
            cairo_line_to(cr, cx + h * 0.55, cy + h * 0.85);
            cairo_move_to(cr, cx - h * 0.05, cy + h * 0.25);
            cairo_line_to(cr, cx + h * 1.15, cy + h * 0.25);
            cairo_stroke(cr);
            break;
        case Glyph::Up:
        case Glyph::Down: {
            const double dir = g == Glyph::Up ? -1 : 1;
            cairo_move_to(cr, cx - h * 0.7, cy - dir * h * 0.35);
            cairo_line_to(cr, cx, cy + dir * h * 0.4);
            cairo_line_to(cr, cx + h * 0.7, cy - dir * h * 0.35);
            cairo_close_path(cr);
            cairo_fill(cr);
            break;
        }
    }
    cairo_restore(cr);
}

// The raised face of the skin's buttons; pressed and lit in the accent.
void paintFace(cairo_t* cr, Canvas& canvas, const Style& style, int w, int h, bool lit)
{
    const double radius = style.size("radius.button");
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
}

bool numberIn(const CastLine& line, Diag& diag, const char* key, int fallback, int low, int high, int& out)
{
    out = line.params.number(key, fallback);
    if (out >= low && out <= high) return true;
    diag.error(line.where,
               std::string(key) + " must be from " + std::to_string(low) + " to " + std::to_string(high));
    return false;
}

bool tool(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    int w = 0, h = 0;
    Glyph glyph = Glyph::None;
    if (!numberIn(line, diag, "width", 24, 8, 640, w) || !numberIn(line, diag, "height", 24, 8, 480, h))
        return false;
    if (!glyphFromName(line.params.text("icon", "none"), glyph)) {
        diag.error(line.where, "unknown icon '" + line.params.text("icon") + "'");
        return false;
    }
    const std::string text = line.params.text("text");
    for (const std::string& problem : line.params.bad()) diag.error(line.where, problem);
    if (!line.params.bad().empty()) return false;
    const bool lit = variant == 1;

    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    paintFace(cr, canvas, style, w, h, lit);
    const Colour ink = lit ? style.colour("ink.dark") : style.colour("ink");
    const double iconSize = std::round(std::min(w, h) * 0.55);
    selectFont(cr, style.font("button"));
    double ascent = 0, descent = 0;
    fontMetrics(cr, ascent, descent);
    const double gap = glyph != Glyph::None && !text.empty() ? 6 : 0;
    const double group =
        (glyph != Glyph::None ? iconSize : 0) + gap + (text.empty() ? 0 : textWidth(cr, text));
    const double left = std::round((w - group) / 2);
    if (glyph != Glyph::None) drawGlyph(cr, glyph, left + iconSize / 2, h / 2.0, iconSize, ink);
    if (!text.empty()) {
        setColour(cr, ink);
        drawText(cr, text, left + (glyph != Glyph::None ? iconSize + gap : 0),
                 std::round((h - (ascent + descent)) / 2 + ascent), Align::Left);
    }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// A box with a tick in the accent when on, and its label.
bool checkbox(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    int w = 0, h = 0;
    if (!numberIn(line, diag, "width", 120, 16, 640, w) || !numberIn(line, diag, "height", 20, 14, 480, h))
        return false;
    const std::string text = line.params.text("text");
    for (const std::string& problem : line.params.bad()) diag.error(line.where, problem);
    if (!line.params.bad().empty()) return false;
    const bool on = variant == 1;

    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    // A solid chip: the whole of it, label included, takes the click.
    roundedRect(cr, 0, 0, w, h, h / 2.0);
    fillVertical(cr, 0, h, style.colour("face.top"), style.colour("face.bottom"));
    canvas.ditherInPlace();
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, h / 2.0 - 0.5);
    setColour(cr, style.colour("face.edge"));
    cairo_stroke(cr);
    const double box = h - 6, top = 3;
    roundedRect(cr, 4, top, box, box, 3);
    fillVertical(cr, top, top + box, style.colour("face.round.top"), style.colour("face.round.bottom"));
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 4.5, top + 0.5, box - 1, box - 1, 2.5);
    setColour(cr, on ? style.colour("lit.top") : style.colour("face.edge"));
    cairo_stroke(cr);
    if (on) {
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_width(cr, 2);
        setColour(cr, style.colour("lit.top"));
        cairo_move_to(cr, 4 + box * 0.24, top + box * 0.52);
        cairo_line_to(cr, 4 + box * 0.43, top + box * 0.72);
        cairo_line_to(cr, 4 + box * 0.78, top + box * 0.28);
        cairo_stroke(cr);
    }
    if (!text.empty()) {
        selectFont(cr, style.font("skin"));
        double ascent = 0, descent = 0;
        fontMetrics(cr, ascent, descent);
        setColour(cr, on ? style.colour("ink") : style.colour("ink.dim"));
        drawText(cr, text, box + 10, std::round((h - (ascent + descent)) / 2 + ascent), Align::Left);
    }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

}  // namespace

std::vector<std::string> browserVariantsOf(const std::string& recipe)
{
    if (recipe == "tool") return {"up", "down"};
    if (recipe == "checkbox") return {"off", "on"};
    return {};
}

bool paintBrowserCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag,
                      bool& known)
{
    known = true;
    if (line.recipe == "tool") return tool(line, variant, style, out, diag);
    if (line.recipe == "checkbox") return checkbox(line, variant, style, out, diag);
    known = false;
    return false;
}

}  // namespace skinc
