#include "tools/skinc/SkinPaintGroove.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

struct Well {
    double x, y, w, h;
    const char* caption;
};

struct Caption {
    double x, baseline;
    const char* text;
};

// The sections of the groove panel (layouts 1, 2 and 8 place the controls
// inside them): transport, position, tempo, main volume; the eight tracks;
// the selected track's controls; the two strips.
constexpr Well kWells[] = {
    {8, 36, 140, 60, nullptr},         {156, 36, 116, 60, "POSITION"}, {280, 36, 220, 60, "TEMPO  BPM"},
    {508, 36, 124, 60, "MAIN VOLUME"}, {8, 130, 404, 204, nullptr},    {420, 130, 212, 204, nullptr},
    {8, 342, 624, 130, nullptr},
};

constexpr Caption kCaptions[] = {
    {14, 142, "TRACK"},          {64, 142, "GROUP"},    {180, 142, "LOOP"},  {336, 142, "LEVEL"},
    {428, 142, "VOLUME"},        {428, 178, "PAN"},     {428, 214, "MODES"}, {428, 286, "RANDOM GROOVE"},
    {16, 354, "STORED GROOVES"}, {16, 398, "SEQUENCE"},
};

// Volume, pan and tempo sliders.
constexpr Well kSliders[] = {
    {428, 146, 150, 16, nullptr}, {428, 182, 150, 16, nullptr}, {288, 74, 204, 14, nullptr}};

FontStyle captionFont()
{
    FontStyle f;
    f.bold = true;
    f.size = 8;
    return f;
}

// The whole-stage background of the groove panel in one colour scheme.
bool groovePane(const CastLine& line, int variant, const Style& style, Picture& out)
{
    const int w = 640, h = 480;
    const int header = static_cast<int>(style.size("panel.header"));
    const Scheme& s = style.schemes()[static_cast<size_t>(variant)];
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    cairo_rectangle(cr, 0, 0, w, h);
    fillVertical(cr, 0, h, s.bodyTop, s.bodyBottom);
    glow(cr, w / 2.0, header, w * 0.7, Colour{1, 1, 1, style.size("panel.light")});
    cairo_rectangle(cr, 0, 0, w, header);
    fillVertical(cr, 0, header, s.header.lighter(0.07), s.header.darker(0.08));
    canvas.ditherInPlace();

    paintAccentRule(cr, style, s.accent, w, header);

    for (const Well& b : kWells) paintWell(cr, style, b.x, b.y, b.w, b.h);
    // The tracks' rows: every other one a shade lighter, so a row reads across.
    for (int r = 0; r < 8; ++r) {
        if (r % 2) continue;
        cairo_rectangle(cr, 11, 145 + 23 * r, 398, 22);
        setColour(cr, Colour{1, 1, 1, 0.035});
        cairo_fill(cr);
    }
    selectFont(cr, captionFont());
    const Colour dim = style.colour("ink.dim");
    for (const Well& b : kWells)
        if (b.caption) {
            setColour(cr, dim);
            drawText(cr, b.caption, b.x + 7, b.y + 11, Align::Left);
        }
    for (const Caption& c : kCaptions) {
        setColour(cr, dim);
        drawText(cr, c.text, c.x, c.baseline, Align::Left);
    }
    // A thin accent line under each caption of the selected-track column.
    setColour(cr, s.accent.withAlpha(0.5));
    for (double y : {145.0, 181.0, 217.0, 289.0}) {
        cairo_rectangle(cr, 428, y, 196, 1);
        cairo_fill(cr);
    }
    // The tracks the sliders' thumbs run on (the sliders show the ground).
    for (const Well& t : kSliders) {
        roundedRect(cr, t.x + 2, t.y + t.h / 2.0 - 2, t.w - 4, 4, 2);
        setColour(cr, Colour{0, 0, 0, 0.75});
        cairo_fill(cr);
        setColour(cr, dim.withAlpha(0.5));
        for (int i = 0; i <= 4; ++i) {
            cairo_rectangle(cr, std::round(t.x + 6 + (t.w - 12) * i / 4.0), t.y + t.h - 2, 1, 2);
            cairo_fill(cr);
        }
    }
    // The hint line at the bottom is the panel's own text control.
    (void)line;
    out = canvas.toPicture(false, false);
    return canvas.ok();
}

// A round lamp: dark when off, glowing in its colour when lit.
bool lamp(const CastLine& line, const Style& style, Picture& out, Diag& diag)
{
    const int size = line.params.number("size", 14);
    Colour c;
    if (!style.colourOrLiteral(line.params.text("colour", "lit.top"), c)) {
        diag.error(line.where, "colour is neither a colour of the style sheet nor #rrggbb");
        return false;
    }
    const bool lit = line.params.number("lit", 1) != 0;
    const bool square = line.params.text("shape", "round") == "square";
    Canvas canvas(size, size);
    cairo_t* cr = canvas.cr();
    const double r = size / 2.0;
    auto shape = [&](double inset) {
        if (square)
            roundedRect(cr, inset, inset, size - 2 * inset, size - 2 * inset, 2);
        else
            cairo_arc(cr, r, r, r - inset, 0, 2 * M_PI);
    };
    shape(0);
    setColour(cr, style.colour("edge.dark"));
    cairo_fill(cr);
    shape(1.5);
    if (lit) {
        cairo_pattern_t* g = cairo_pattern_create_radial(r * 0.8, r * 0.7, 0, r, r, r);
        const Colour hi = c.lighter(0.55);
        cairo_pattern_add_color_stop_rgba(g, 0, hi.r, hi.g, hi.b, 1);
        cairo_pattern_add_color_stop_rgba(g, 1, c.r * 0.75, c.g * 0.75, c.b * 0.75, 1);
        cairo_set_source(cr, g);
        cairo_fill(cr);
        cairo_pattern_destroy(g);
    } else {
        setColour(cr, c.darker(0.72));
        cairo_fill(cr);
    }
    shape(1.5);
    setColour(cr, Colour{1, 1, 1, lit ? 0.35 : 0.12});
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// One segment of a level meter.
bool segment(const CastLine& line, const Style& style, Picture& out, Diag& diag)
{
    const int w = line.params.number("width", 6), h = line.params.number("height", 12);
    Colour c;
    if (!style.colourOrLiteral(line.params.text("colour", "lit.top"), c)) {
        diag.error(line.where, "colour is neither a colour of the style sheet nor #rrggbb");
        return false;
    }
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0, 0, w, h, 1.5);
    fillVertical(cr, 0, h, c.lighter(0.25), c.darker(0.2));
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// The thumb of a straight slider: a small raised cap with a lit line.
bool thumb(const CastLine& line, const Style& style, Picture& out)
{
    const int w = line.params.number("width", 12), h = line.params.number("height", 16);
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0, 0, w, h, 3);
    fillVertical(cr, 0, h, style.colour("face.top").lighter(0.15), style.colour("face.bottom"));
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, 2.5);
    setColour(cr, style.colour("face.edge"));
    cairo_stroke(cr);
    cairo_rectangle(cr, std::floor(w / 2.0) - 1, 3, 2, h - 6);
    setColour(cr, style.colour("lit.top"));
    cairo_fill(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// The main volume: a knob to drag up and down.
bool knob(const CastLine& line, const Style& style, Picture& out)
{
    const int size = line.params.number("size", 36);
    Canvas canvas(size, size);
    cairo_t* cr = canvas.cr();
    const double r = size / 2.0;
    cairo_arc(cr, r, r, r - 1, 0, 2 * M_PI);
    setColour(cr, style.colour("edge.dark"));
    cairo_fill(cr);
    cairo_arc(cr, r, r, r - 3, 0, 2 * M_PI);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, size);
    const Colour top = style.colour("face.top").lighter(0.1), bottom = style.colour("face.bottom");
    cairo_pattern_add_color_stop_rgba(g, 0, top.r, top.g, top.b, 1);
    cairo_pattern_add_color_stop_rgba(g, 1, bottom.r, bottom.g, bottom.b, 1);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    // Grip ridges up and down: the knob is dragged vertically.
    setColour(cr, style.colour("lit.top"));
    cairo_set_line_width(cr, 2);
    cairo_move_to(cr, r, 6);
    cairo_line_to(cr, r, size - 6);
    cairo_stroke(cr);
    setColour(cr, Colour{1, 1, 1, 0.25});
    cairo_set_line_width(cr, 1);
    for (double dy : {-6.0, 0.0, 6.0}) {
        cairo_move_to(cr, r - 9, r + dy + 0.5);
        cairo_line_to(cr, r - 4, r + dy + 0.5);
        cairo_move_to(cr, r + 4, r + dy + 0.5);
        cairo_line_to(cr, r + 9, r + dy + 0.5);
    }
    cairo_stroke(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// A strip entry: variant 0 the shape of its number plate, variant 1 the ring
// that marks the selected entry.
bool entry(const CastLine& line, int variant, const Style& style, Picture& out)
{
    const int w = line.params.number("width", 20), h = line.params.number("height", 18);
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    if (variant == 0) {
        roundedRect(cr, 0, 0, w, h, 3);
        setColour(cr, Colour{0, 0, 0, 1});
        cairo_fill(cr);
    } else {
        cairo_set_line_width(cr, 2);
        roundedRect(cr, 1, 1, w - 2, h - 2, 3);
        setColour(cr, style.colour("ink"));
        cairo_stroke(cr);
    }
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

}  // namespace

std::vector<std::string> grooveVariants(const CastLine& line)
{
    const std::string& r = line.recipe;
    if (r == "groovepane") return {"0", "1", "2", "3", "4", "5", "6", "7"};
    if (r == "entry") return {"label", "ring"};
    if (r == "lamp" || r == "segment" || r == "thumb" || r == "knob") return {""};
    return {};
}

bool paintGrooveCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    const std::string& r = line.recipe;
    if (r == "groovepane") return groovePane(line, variant, style, out);
    if (r == "lamp") return lamp(line, style, out, diag);
    if (r == "segment") return segment(line, style, out, diag);
    if (r == "thumb") return thumb(line, style, out);
    if (r == "knob") return knob(line, style, out);
    if (r == "entry") return entry(line, variant, style, out);
    return false;
}

}  // namespace skinc
