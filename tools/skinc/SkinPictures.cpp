#include "tools/skinc/SkinPictures.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "tools/skinc/SkinPaintBrowser.h"
#include "tools/skinc/SkinPaintGroove.h"
#include "tools/skinc/SkinPaintNet.h"
#include "tools/skinc/SkinPaintPrefs.h"
#include "tools/skinc/SkinPaintScreen.h"
#include "tools/skinc/SkinPaintSynth.h"
#include "tools/skinc/SkinPaintTuner.h"
#include "tools/skinc/SkinPaintVMix.h"

namespace skinc {

namespace {

// What every recipe gets: the line, the style, and a place for problems.
struct Recipe {
    const CastLine& line;
    const Style& style;
    Diag& diag;

    int number(const char* key, int fallback, int low, int high) const
    {
        const int v = line.params.number(key, fallback);
        if (v < low || v > high) {
            diag.error(line.where, std::string(key) + " must be from " + std::to_string(low) + " to " +
                                       std::to_string(high));
            return fallback;
        }
        return v;
    }
    Colour colour(const char* key, const std::string& fallbackName) const
    {
        const std::string text = line.params.text(key, fallbackName);
        Colour c;
        if (!style.colourOrLiteral(text, c)) {
            diag.error(line.where,
                       std::string(key) + "=" + text + " is neither a colour of the style sheet nor #rrggbb");
            return style.colour(fallbackName);
        }
        return c;
    }
    FontStyle font(const char* key, const std::string& fallbackName) const
    {
        return style.font(line.params.text(key, fallbackName));
    }
    bool checked() const
    {
        for (const std::string& problem : line.params.bad()) diag.error(line.where, problem);
        return line.params.bad().empty();
    }
};

struct Box {
    double x, y, w, h;
};

// "x,y,w,h;x,y,w,h"
bool parseBoxes(const std::string& text, std::vector<Box>& boxes)
{
    std::stringstream all(text);
    std::string one;
    while (std::getline(all, one, ';')) {
        int v[4];
        std::stringstream parts(one);
        std::string part;
        int n = 0;
        while (std::getline(parts, part, ',')) {
            if (n == 4 || !parseInt(part, v[n])) return false;
            ++n;
        }
        if (n != 4 || v[2] <= 0 || v[3] <= 0) return false;
        boxes.push_back(Box{double(v[0]), double(v[1]), double(v[2]), double(v[3])});
    }
    return true;
}

Align alignOf(const std::string& text)
{
    if (text == "centre" || text == "center") return Align::Centre;
    if (text == "right") return Align::Right;
    return Align::Left;
}

// Panel background in one colour scheme. Floating panels are rounded plates
// with a mask; the full-stage panels are opaque.
bool backpane(const Recipe& r, int variant, Picture& out)
{
    const int w = r.number("width", 640, 16, 640);
    const int h = r.number("height", 480, 16, 480);
    const int header = r.number("header", static_cast<int>(r.style.size("panel.header")), 0, h);
    const bool floating = r.line.params.number("floating", 0) != 0;
    const double radius = floating ? r.style.size("radius.panel") : 0;
    // A floating plate casts a soft shadow to the right and below, inside
    // the picture, so it stands off what lies under it.
    const int shadow = floating ? static_cast<int>(r.style.size("panel.shadow")) : 0;
    std::vector<Box> wells;
    if (!parseBoxes(r.line.params.text("wells"), wells)) {
        r.diag.error(r.line.where, "wells are x,y,w,h;x,y,w,h ...");
        return false;
    }
    if (!r.checked()) return false;
    const Scheme& s = r.style.schemes()[static_cast<size_t>(variant)];

    Canvas canvas(w + shadow, h + shadow);
    cairo_t* cr = canvas.cr();
    const Colour dark = r.style.colour("panel.shadow");
    for (int j = 0; j < shadow; ++j) {
        roundedRect(cr, 3, 4, w + j - 3, h + j - 4, radius + j);
        setColour(cr, dark);
        cairo_fill(cr);
    }
    roundedRect(cr, 0, 0, w, h, radius);
    cairo_clip(cr);

    // Ground, then a soft light from above; floating plates a shade lighter
    // than the stage they float over.
    const double lift = floating ? r.style.size("panel.lift") : 0;
    cairo_rectangle(cr, 0, 0, w, h);
    fillVertical(cr, 0, h, s.bodyTop.lighter(lift), s.bodyBottom.lighter(lift));
    glow(cr, w / 2.0, header, std::max(w, h) * 0.7, Colour{1, 1, 1, r.style.size("panel.light")});

    if (header > 0) {
        cairo_rectangle(cr, 0, 0, w, header);
        fillVertical(cr, 0, header, s.header.lighter(0.07), s.header.darker(0.08));
    }
    canvas.ditherInPlace();

    if (header > 0) {
        paintAccentRule(cr, r.style, s.accent, w, header);
        cairo_rectangle(cr, 0, 0, w, 1);
        setColour(cr, r.style.colour("edge.light"));
        cairo_fill(cr);
    }
    for (const Box& b : wells) paintWell(cr, r.style, b.x, b.y, b.w, b.h);

    cairo_reset_clip(cr);
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 1.5, 1.5, w - 3, h - 3, std::max(0.0, radius - 1));
    setColour(cr, r.style.colour("edge.light"));
    cairo_stroke(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, radius);
    setColour(cr, r.style.colour("edge.dark"));
    cairo_stroke(cr);

    if (floating && header > 0 && r.line.params.number("grip", 1) != 0) {
        // Dots in the middle of the title strip: the plate can be dragged.
        setColour(cr, r.style.colour("edge.light").withAlpha(0.22));
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 4; ++col) {
                cairo_rectangle(cr, w / 2.0 - 7 + 4 * col, header / 2.0 - 3 + 4 * row, 2, 2);
                cairo_fill(cr);
            }
    }
    out = canvas.toPicture(false, floating);
    return canvas.ok();
}

// A line of text on a transparent ground, with a faint shadow for contrast.
bool label(const Recipe& r, Picture& out)
{
    const std::string text = r.line.params.text("text");
    const FontStyle font = r.font("font", "title");
    const Colour ink = r.colour("colour", "ink");
    const Align align = alignOf(r.line.params.text("align", "left"));
    if (text.empty()) {
        r.diag.error(r.line.where, "a label needs text=...");
        return false;
    }
    Canvas probe(1, 1);
    selectFont(probe.cr(), font);
    double ascent = 0, descent = 0;
    fontMetrics(probe.cr(), ascent, descent);
    const int natural = static_cast<int>(std::ceil(textWidth(probe.cr(), text))) + 2;
    const int w = r.number("width", natural, 1, 640);
    const int h = r.number("height", static_cast<int>(std::ceil(ascent + descent)) + 1, 1, 480);
    if (!r.checked()) return false;

    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    selectFont(cr, font);
    const double x = align == Align::Left ? 1 : align == Align::Centre ? w / 2.0 : w - 1;
    const double baseline = std::round((h - (ascent + descent)) / 2 + ascent);
    setColour(cr, r.style.colour("shadow"));
    drawText(cr, text, x, baseline + 1, align);
    setColour(cr, ink);
    drawText(cr, text, x, baseline, align);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// A push button: variant 0 up, variant 1 pressed and lit.
bool button(const Recipe& r, int variant, Picture& out)
{
    const int w = r.number("width", 20, 6, 640);
    const int h = r.number("height", 20, 6, 480);
    const std::string shape = r.line.params.text("shape", "rect");
    const std::string text = r.line.params.text("text");
    Icon icon = Icon::None;
    if (!iconFromName(r.line.params.text("icon", "none"), icon)) {
        r.diag.error(r.line.where, "unknown icon '" + r.line.params.text("icon") + "'");
        return false;
    }
    if (shape != "rect" && shape != "round") {
        r.diag.error(r.line.where, "shape is rect or round");
        return false;
    }
    const Colour litTop = r.colour("lit", "lit.top");
    const FontStyle font = r.font("font", "button");
    if (!r.checked()) return false;
    const bool lit = variant == 1;
    const double radius = shape == "round" ? std::min(w, h) / 2.0 : r.style.size("radius.button");

    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0, 0, w, h, radius);
    if (lit)
        fillVertical(cr, 0, h, litTop, litTop.darker(0.28));
    else if (shape == "round")  // small round buttons sit in title strips: darker, to stand out
        fillVertical(cr, 0, h, r.style.colour("face.round.top"), r.style.colour("face.round.bottom"));
    else
        fillVertical(cr, 0, h, r.style.colour("face.top"), r.style.colour("face.bottom"));
    canvas.ditherInPlace();

    cairo_set_line_width(cr, 1);
    // Raised: light along the top edge; pressed: shadow there instead.
    roundedRect(cr, 1.5, 1.5, w - 3, h - 3, std::max(0.0, radius - 1.5));
    setColour(cr, lit ? r.style.colour("shadow") : r.style.colour("face.highlight"));
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, w, h / 2.0);
    cairo_clip(cr);
    cairo_stroke(cr);
    cairo_restore(cr);
    cairo_new_path(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, std::max(0.0, radius - 0.5));
    setColour(cr, r.style.colour("face.edge"));
    cairo_stroke(cr);

    // Icon and text side by side, centred together.
    const Colour ink = lit ? r.style.colour("ink.dark") : r.style.colour("ink");
    const double iconSize = std::round(std::min(w, h) * 0.5);
    selectFont(cr, font);
    double ascent = 0, descent = 0;
    fontMetrics(cr, ascent, descent);
    const double gap = icon != Icon::None && !text.empty() ? 5 : 0;
    const double group = (icon != Icon::None ? iconSize : 0) + gap + (text.empty() ? 0 : textWidth(cr, text));
    const double left = std::round((w - group) / 2);
    if (icon != Icon::None) drawIcon(cr, icon, left + iconSize / 2, h / 2.0, iconSize, ink);
    if (!text.empty()) {
        setColour(cr, ink);
        const double x = left + (icon != Icon::None ? iconSize + gap : 0);
        drawText(cr, text, x, std::round((h - (ascent + descent)) / 2 + ascent), Align::Left);
    }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// The frame of a help bubble for a number of text lines; the program
// writes the text over it.
bool bubble(const Recipe& r, Picture& out)
{
    const int w = r.number("width", 200, 16, 640);
    const int lines = r.number("lines", 1, 1, 12);
    if (!r.checked()) return false;
    const int h = bubbleHeight(r.style, lines);
    const double radius = r.style.size("radius.bubble");
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0, 0, w, h, radius);
    const Colour fill = r.style.colour("bubble.fill");
    fillVertical(cr, 0, h, fill.lighter(0.05), fill);
    canvas.ditherInPlace();
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, radius - 0.5);
    setColour(cr, r.style.colour("bubble.edge"));
    cairo_stroke(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// The full, lit bar of a progress display.
bool progress(const Recipe& r, Picture& out)
{
    const int w = r.number("width", 200, 4, 640);
    const int h = r.number("height", 10, 4, 64);
    const Colour top = r.colour("colour", "lit.top");
    if (!r.checked()) return false;
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0, 0, w, h, h / 2.0);
    fillVertical(cr, 0, h, top.lighter(0.15), top.darker(0.3));
    roundedRect(cr, 1, 1, w - 2, h / 2.0 - 1, h / 4.0);
    setColour(cr, Colour{1, 1, 1, 0.22});
    cairo_fill(cr);
    canvas.ditherInPlace();
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// Woven ribbons: the loops of a groove running side by side and crossing.
void ribbons(cairo_t* cr, double w, double h, const std::vector<Colour>& colours, double width)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (size_t i = 0; i < colours.size(); ++i) {
        const double phase = i * 2.1;
        const double period = w / (1.5 + 0.5 * i);
        const double mid = h * (0.5 + 0.06 * (double(i) - (colours.size() - 1) / 2.0));
        cairo_new_path(cr);
        for (int x = -4; x <= static_cast<int>(w) + 4; x += 2) {
            const double y = mid + std::sin(x / period * 2 * M_PI + phase) * h * 0.16;
            if (x == -4)
                cairo_move_to(cr, x, y);
            else
                cairo_line_to(cr, x, y);
        }
        cairo_set_line_width(cr, width);
        setColour(cr, colours[i]);
        cairo_stroke(cr);
    }
}

// The start-up picture.
bool splash(const Recipe& r, Picture& out)
{
    const int w = r.number("width", 420, 64, 640);
    const int h = r.number("height", 260, 64, 480);
    const std::string title = r.line.params.text("title", "Beatloom");
    const std::string version = r.line.params.text("version", "2.0");
    const std::string tagline = r.line.params.text("tagline");
    if (!r.checked()) return false;
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    cairo_rectangle(cr, 0, 0, w, h);
    fillVertical(cr, 0, h, r.style.colour("splash.top"), r.style.colour("splash.bottom"));
    glow(cr, w * 0.5, h * 0.42, w * 0.55, r.style.colour("splash.glow"));
    cairo_save(cr);
    cairo_translate(cr, 0, h * 0.62);
    cairo_scale(cr, 1, 0.55);
    cairo_translate(cr, 0, -h * 0.5);
    ribbons(cr, w, h,
            {r.style.colour("splash.ribbon.1"), r.style.colour("splash.ribbon.2"),
             r.style.colour("splash.ribbon.3"), r.style.colour("splash.ribbon.4")},
            3);
    cairo_restore(cr);
    canvas.ditherInPlace();

    const FontStyle big = r.style.font("splash.title");
    const FontStyle small = r.style.font("splash.text");
    selectFont(cr, big);
    double ascent = 0, descent = 0;
    fontMetrics(cr, ascent, descent);
    const double titleWidth = textWidth(cr, title);
    selectFont(cr, small);
    const double versionWidth = textWidth(cr, version) + 6;
    const double x = std::round((w - titleWidth - versionWidth) / 2);
    const double baseline = std::round(h * 0.3 + ascent / 2);
    selectFont(cr, big);
    setColour(cr, r.style.colour("shadow"));
    drawText(cr, title, x + 1, baseline + 2, Align::Left);
    setColour(cr, r.style.colour("ink"));
    drawText(cr, title, x, baseline, Align::Left);
    selectFont(cr, small);
    setColour(cr, r.style.colour("lit.top"));
    drawText(cr, version, x + titleWidth + 6, baseline, Align::Left);
    if (!tagline.empty()) {
        setColour(cr, r.style.colour("ink.dim"));
        drawText(cr, tagline, w / 2.0, h - 22, Align::Centre);
    }
    cairo_rectangle(cr, 0, h - 3, w, 3);
    setColour(cr, r.style.colour("lit.top"));
    cairo_fill(cr);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, w - 1, h - 1);
    setColour(cr, r.style.colour("edge.dark"));
    cairo_stroke(cr);
    out = canvas.toPicture(false, false);
    return canvas.ok();
}

// The picture the song browser shows for a library.
bool library(const Recipe& r, Picture& out)
{
    const int w = r.number("width", 128, 16, 640);
    const int h = r.number("height", 96, 16, 480);
    const std::string text = r.line.params.text("text");
    const Colour hue = r.colour("hue", "lit.top");
    if (!r.checked()) return false;
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    cairo_rectangle(cr, 0, 0, w, h);
    fillVertical(cr, 0, h, hue.darker(0.55), hue.darker(0.85));
    glow(cr, w * 0.5, h * 0.4, w * 0.6, hue.withAlpha(0.35));
    ribbons(cr, w, h * 0.8, {hue.withAlpha(0.9), hue.lighter(0.4).withAlpha(0.6), Colour{1, 1, 1, 0.35}}, 2);
    canvas.ditherInPlace();
    if (!text.empty()) {
        const double band = 18;
        cairo_rectangle(cr, 0, h - band, w, band);
        setColour(cr, Colour{0, 0, 0, 0.55});
        cairo_fill(cr);
        selectFont(cr, r.style.font("library"));
        setColour(cr, r.style.colour("ink"));
        drawText(cr, text, w / 2.0, h - 5, Align::Centre);
    }
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, 0.5, 0.5, w - 1, h - 1);
    setColour(cr, r.style.colour("edge.dark"));
    cairo_stroke(cr);
    out = canvas.toPicture(false, false);
    return canvas.ok();
}

}  // namespace

int bubbleHeight(const Style& style, int lines)
{
    const int line = static_cast<int>(style.size("help.line"));
    const int glyphs = static_cast<int>(style.size("font.height"));
    return 2 * static_cast<int>(style.size("help.pad")) + (lines - 1) * line + glyphs;
}

bool paintCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    const Recipe r{line, style, diag};
    const std::string& recipe = line.recipe;
    bool good = false;
    if (!grooveVariants(line).empty())
        good = paintGrooveCast(line, variant, style, out, diag);
    else if (!synthVariants(line).empty())
        good = paintSynthCast(line, variant, style, out, diag);
    else if (!vmixVariants(line).empty())
        good = paintVMixCast(line, variant, style, out, diag);
    else if (!tunerVariants(line).empty()) {
        bool known = false;
        good = paintTunerCast(line, variant, style, out, diag, known);
    } else if (!screenVariants(line).empty())
        good = paintScreenCast(line, variant, style, out, diag);
    else if (recipe == "backpane")
        good = backpane(r, variant, out);
    else if (recipe == "label")
        good = label(r, out);
    else if (recipe == "button")
        good = button(r, variant, out);
    else if (recipe == "bubble")
        good = bubble(r, out);
    else if (recipe == "progress")
        good = progress(r, out);
    else if (recipe == "splash")
        good = splash(r, out);
    else if (recipe == "library")
        good = library(r, out);
    else {
        bool known = false;
        good = paintPrefsCast(line, variant, style, out, diag, known);
        if (!known) good = paintBrowserCast(line, variant, style, out, diag, known);
        if (!known) good = paintNetCast(line, variant, style, out, diag, known);
        if (!known) diag.error(line.where, "recipe '" + recipe + "' cannot be painted here");
    }
    if (!good) diag.error(line.where, "'" + line.name + "' was not painted");
    return good;
}

}  // namespace skinc
