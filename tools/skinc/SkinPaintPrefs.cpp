#include "tools/skinc/SkinPaintPrefs.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

struct Section {
    double x, y, w, h;
    const char* caption;
};

// The sections of the preferences plate (skin/layouts/prefs.txt places the
// controls inside them).
constexpr int kPlateWidth = 460;
constexpr int kPlateHeight = 448;
constexpr Section kSections[] = {
    {10, 36, 220, 182, "EXPORT FORMAT"},     {10, 224, 220, 114, "FORMAT OPTIONS"},
    {240, 36, 210, 50, "DISK MIX WRITES"},   {240, 92, 210, 50, "TEMPO CHANGE"},
    {240, 148, 210, 44, "LOUDNESS"},         {240, 198, 210, 88, "RANDOM GROOVE SIZE"},
    {240, 292, 210, 46, "INTERFACE COLOUR"}, {10, 344, 120, 70, "LAUNCH GRID"},
    {140, 344, 310, 70, "SOUND OUTPUT"},
};

FontStyle captionFont()
{
    FontStyle f;
    f.bold = true;
    f.size = 8;
    return f;
}

bool numberIn(const CastLine& line, Diag& diag, const char* key, int fallback, int low, int high, int& out)
{
    out = line.params.number(key, fallback);
    if (out >= low && out <= high) return true;
    diag.error(line.where,
               std::string(key) + " must be from " + std::to_string(low) + " to " + std::to_string(high));
    return false;
}

// The plate: a floating panel of scheme 0 (the preferences are not
// recoloured) with its title strip, wells and captions in the groove
// panel's manner.
bool prefsPane(const Style& style, Picture& out)
{
    const int w = kPlateWidth, h = kPlateHeight;
    const int header = static_cast<int>(style.size("panel.header"));
    const int shadow = static_cast<int>(style.size("panel.shadow"));
    const double radius = style.size("radius.panel");
    const Scheme& s = style.schemes()[0];
    Canvas canvas(w + shadow, h + shadow);
    cairo_t* cr = canvas.cr();
    for (int j = 0; j < shadow; ++j) {
        roundedRect(cr, 3, 4, w + j - 3, h + j - 4, radius + j);
        setColour(cr, style.colour("panel.shadow"));
        cairo_fill(cr);
    }
    roundedRect(cr, 0, 0, w, h, radius);
    cairo_clip(cr);
    const double lift = style.size("panel.lift");
    cairo_rectangle(cr, 0, 0, w, h);
    fillVertical(cr, 0, h, s.bodyTop.lighter(lift), s.bodyBottom.lighter(lift));
    glow(cr, w / 2.0, header, std::max(w, h) * 0.7, Colour{1, 1, 1, style.size("panel.light")});
    cairo_rectangle(cr, 0, 0, w, header);
    fillVertical(cr, 0, header, s.header.lighter(0.07), s.header.darker(0.08));
    canvas.ditherInPlace();
    paintAccentRule(cr, style, s.accent, w, header);
    cairo_rectangle(cr, 0, 0, w, 1);
    setColour(cr, style.colour("edge.light"));
    cairo_fill(cr);

    const Colour dim = style.colour("ink.dim");
    selectFont(cr, captionFont());
    for (const Section& b : kSections) {
        paintWell(cr, style, b.x, b.y, b.w, b.h);
        setColour(cr, dim);
        drawText(cr, b.caption, b.x + 7, b.y + 11, Align::Left);
        // A thin accent line under the caption, as the groove panel's.
        setColour(cr, s.accent.withAlpha(0.5));
        cairo_rectangle(cr, b.x + 7, b.y + 14, b.w - 14, 1);
        cairo_fill(cr);
    }
    cairo_reset_clip(cr);
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 1.5, 1.5, w - 3, h - 3, std::max(0.0, radius - 1));
    setColour(cr, style.colour("edge.light"));
    cairo_stroke(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, radius);
    setColour(cr, style.colour("edge.dark"));
    cairo_stroke(cr);
    // The grip: the plate can be dragged by its title strip.
    setColour(cr, style.colour("edge.light").withAlpha(0.22));
    for (int row = 0; row < 2; ++row)
        for (int col = 0; col < 4; ++col) {
            cairo_rectangle(cr, w / 2.0 - 7 + 4 * col, header / 2.0 - 3 + 4 * row, 2, 2);
            cairo_fill(cr);
        }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// A chip to choose one of several: a raised face with a lamp at its left,
// lit in the accent when chosen, and its label (none when the program
// writes the label over it).
bool choice(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    int w = 0, h = 0;
    if (!numberIn(line, diag, "width", 96, 20, 640, w) || !numberIn(line, diag, "height", 20, 12, 480, h))
        return false;
    const std::string text = line.params.text("text");
    const bool on = variant == 1;
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    const double radius = style.size("radius.button");
    roundedRect(cr, 0, 0, w, h, radius);
    fillVertical(cr, 0, h, on ? style.colour("face.top").lighter(0.06) : style.colour("face.round.top"),
                 on ? style.colour("face.bottom") : style.colour("face.round.bottom"));
    canvas.ditherInPlace();
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, radius - 0.5);
    setColour(cr, on ? style.colour("lit.top").withAlpha(0.85) : style.colour("face.edge"));
    cairo_stroke(cr);
    // The lamp.
    const double lr = std::min(4.0, (h - 8) / 2.0), lx = 5 + lr, ly = h / 2.0;
    cairo_arc(cr, lx, ly, lr + 1, 0, 2 * M_PI);
    setColour(cr, style.colour("edge.dark"));
    cairo_fill(cr);
    cairo_arc(cr, lx, ly, lr, 0, 2 * M_PI);
    setColour(cr, on ? style.colour("lit.top") : style.colour("lit.top").darker(0.75));
    cairo_fill(cr);
    if (on) glow(cr, lx, ly, lr * 2.5, style.colour("lit.glow").withAlpha(0.35));
    if (!text.empty()) {
        selectFont(cr, style.font("skin"));
        double ascent = 0, descent = 0;
        fontMetrics(cr, ascent, descent);
        setColour(cr, on ? style.colour("ink") : style.colour("ink.dim"));
        drawText(cr, text, lx + lr + 6, std::round((h - (ascent + descent)) / 2 + ascent), Align::Left);
    }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// An interface colour scheme as a chip: its ground with its accent along
// the bottom; the chosen one ringed.
bool swatch(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    int w = 0, h = 0, scheme = 0;
    if (!numberIn(line, diag, "width", 20, 8, 64, w) || !numberIn(line, diag, "height", 18, 8, 64, h) ||
        !numberIn(line, diag, "scheme", 0, 0, static_cast<int>(style.schemes().size()) - 1, scheme))
        return false;
    const Scheme& s = style.schemes()[static_cast<size_t>(scheme)];
    const bool on = variant == 1;
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0, 0, w, h, 3);
    setColour(cr, on ? style.colour("ink") : style.colour("edge.dark"));
    cairo_fill(cr);
    const double inset = on ? 2 : 1;
    roundedRect(cr, inset, inset, w - 2 * inset, h - 2 * inset, 2);
    fillVertical(cr, inset, h - inset, s.header, s.bodyBottom);
    cairo_rectangle(cr, inset, h - inset - 4, w - 2 * inset, 4);
    setColour(cr, s.accent);
    cairo_fill(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// A row of lights as a film: frame a x 6 + l shows the first a of five
// lights, the first l of them lit (l <= a), nothing where no light is.
bool lights(const CastLine& line, const Style& style, Picture& out, Diag& diag)
{
    int count = 0, size = 0, pitch = 0;
    if (!numberIn(line, diag, "count", 5, 1, 5, count) || !numberIn(line, diag, "size", 12, 6, 32, size) ||
        !numberIn(line, diag, "pitch", 17, 6, 64, pitch))
        return false;
    const int frames = 6 * 6;
    const int w = (count - 1) * pitch + size;
    Canvas canvas(w, size * frames);
    cairo_t* cr = canvas.cr();
    const Colour lit = style.colour("lit.top"), unlit = Colour{0x5a / 255.0, 0x60 / 255.0, 0x6a / 255.0, 1};
    const double r = size / 2.0;
    for (int available = 0; available <= 5; ++available)
        for (int on = 0; on <= 5; ++on) {
            const double top = size * (available * 6 + on);
            for (int j = 0; j < std::min(available, count); ++j) {
                const double cx = j * pitch + r, cy = top + r;
                const bool shine = j < on;
                cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
                setColour(cr, style.colour("edge.dark"));
                cairo_fill(cr);
                cairo_arc(cr, cx, cy, r - 1.5, 0, 2 * M_PI);
                if (shine) {
                    cairo_pattern_t* g =
                        cairo_pattern_create_radial(cx - r * 0.2, cy - r * 0.3, 0, cx, cy, r);
                    const Colour hi = lit.lighter(0.55);
                    cairo_pattern_add_color_stop_rgba(g, 0, hi.r, hi.g, hi.b, 1);
                    cairo_pattern_add_color_stop_rgba(g, 1, lit.r * 0.75, lit.g * 0.75, lit.b * 0.75, 1);
                    cairo_set_source(cr, g);
                    cairo_fill(cr);
                    cairo_pattern_destroy(g);
                } else {
                    setColour(cr, unlit.darker(0.72));
                    cairo_fill(cr);
                }
                cairo_arc(cr, cx, cy, r - 1.5, 0, 2 * M_PI);
                setColour(cr, Colour{1, 1, 1, shine ? 0.35 : 0.12});
                cairo_set_line_width(cr, 1);
                cairo_stroke(cr);
            }
        }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

}  // namespace

std::vector<std::string> prefsVariantsOf(const std::string& recipe)
{
    if (recipe == "prefspane") return {"0"};  // scheme 0 only: the preferences are not recoloured
    if (recipe == "choice" || recipe == "swatch") return {"off", "on"};
    if (recipe == "lights") return {""};
    return {};
}

bool paintPrefsCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag,
                    bool& known)
{
    known = true;
    for (const std::string& problem : line.params.bad()) diag.error(line.where, problem);
    if (!line.params.bad().empty()) return false;
    if (line.recipe == "prefspane") return prefsPane(style, out);
    if (line.recipe == "choice") return choice(line, variant, style, out, diag);
    if (line.recipe == "swatch") return swatch(line, variant, style, out, diag);
    if (line.recipe == "lights") return lights(line, style, out, diag);
    known = false;
    return false;
}

}  // namespace skinc
