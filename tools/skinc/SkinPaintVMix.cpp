#include "tools/skinc/SkinPaintVMix.h"

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

// The sections of the virtual mix (layout 5 places the controls inside
// them): the transport as on the groove panel, the four mixes and what
// plays, the tracks, the length of the mix.
constexpr Well kWells[] = {
    {8, 36, 140, 60, nullptr},         {156, 36, 116, 60, "POSITION"}, {280, 36, 220, 60, "TEMPO  BPM"},
    {508, 36, 124, 60, "MAIN VOLUME"}, {8, 130, 404, 204, nullptr},    {420, 130, 212, 204, nullptr},
    {8, 342, 624, 54, nullptr},
};

constexpr Caption kCaptions[] = {
    {16, 143, "MIXES"},   {16, 229, "NOW PLAYING"}, {16, 287, "PLAY ORDER"},
    {428, 143, "TRACKS"}, {558, 143, "LEVEL"},      {16, 355, "LENGTH OF THE MIX"},
};

// The duration and tempo sliders.
constexpr Well kSliders[] = {{16, 366, 300, 14, nullptr}, {288, 74, 204, 14, nullptr}};

constexpr const char* kHints[] = {
    "Play runs the mixes one after another, like a radio: In order or Random choose the next one,",
    "Radio makes each mix anew before it plays. Keys: 1 to 4 the mixes, space play or stop, N new mixes.",
    "Close (or Esc) asks whether the mix becomes your sequence on the groove panel.",
};

void paintSliderGround(cairo_t* cr, const Style& style, double x, double y, double w, double h)
{
    roundedRect(cr, x + 2, y + h / 2.0 - 2, w - 4, 4, 2);
    setColour(cr, Colour{0, 0, 0, 0.75});
    cairo_fill(cr);
    setColour(cr, style.colour("ink.dim").withAlpha(0.5));
    for (int i = 0; i <= 4; ++i) {
        cairo_rectangle(cr, std::round(x + 6 + (w - 12) * i / 4.0), y + h - 2, 1, 2);
        cairo_fill(cr);
    }
}

FontStyle captionFont()
{
    FontStyle f;
    f.bold = true;
    f.size = 8;
    return f;
}

bool vmixPane(int variant, const Style& style, Picture& out)
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
    paintWell(cr, style, 14, 254, 392, 14);  // the progress of the mix
    // The tracks' rows: every other one a shade lighter, so a row reads across.
    for (int r = 0; r < 8; r += 2) {
        cairo_rectangle(cr, 423, 147 + 23 * r, 206, 22);
        setColour(cr, Colour{1, 1, 1, 0.035});
        cairo_fill(cr);
    }
    const Colour dim = style.colour("ink.dim");
    selectFont(cr, captionFont());
    for (const Well& b : kWells)
        if (b.caption) {
            setColour(cr, dim);
            drawText(cr, b.caption, b.x + 7, b.y + 11, Align::Left);
        }
    for (const Caption& c : kCaptions) {
        setColour(cr, dim);
        drawText(cr, c.text, c.x, c.baseline, Align::Left);
    }
    // Accent lines under the captions of the mixes' well.
    setColour(cr, s.accent.withAlpha(0.5));
    for (double y : {146.0, 232.0, 290.0}) {
        cairo_rectangle(cr, 16, y, 388, 1);
        cairo_fill(cr);
    }
    cairo_rectangle(cr, 428, 146, 196, 1);
    cairo_fill(cr);
    for (const Well& t : kSliders) paintSliderGround(cr, style, t.x, t.y, t.w, t.h);
    FontStyle small;
    small.size = 8;
    selectFont(cr, small);
    setColour(cr, dim);
    double y = 420;
    for (const char* hint : kHints) {
        drawText(cr, hint, 16, y, Align::Left);
        y += 14;
    }
    out = canvas.toPicture(false, false);
    return canvas.ok();
}

// A section's caption on a transparent ground, as the panels paint theirs.
bool caption(const CastLine& line, const Style& style, Picture& out, Diag& diag)
{
    const std::string text = line.params.text("text");
    if (text.empty()) {
        diag.error(line.where, "a caption needs text=...");
        return false;
    }
    Canvas measure(4, 4);
    selectFont(measure.cr(), captionFont());
    const int w = static_cast<int>(std::ceil(textWidth(measure.cr(), text))) + 2;
    Canvas canvas(w, 12);
    cairo_t* cr = canvas.cr();
    selectFont(cr, captionFont());
    setColour(cr, style.colour("ink.dim"));
    drawText(cr, text, 0, 9, Align::Left);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// The ground a straight slider's thumb runs on, with its scale marks.
bool sliderGround(const CastLine& line, const Style& style, Picture& out)
{
    const int w = line.params.number("width", 200), h = line.params.number("height", 14);
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    paintSliderGround(cr, style, 0, 0, w, h);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

}  // namespace

std::vector<std::string> vmixVariants(const CastLine& line)
{
    if (line.recipe == "vmixpane") return {"0", "1", "2", "3", "4", "5", "6", "7"};
    if (line.recipe == "caption" || line.recipe == "sliderground") return {""};
    return {};
}

bool paintVMixCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    if (line.recipe == "vmixpane") return vmixPane(variant, style, out);
    if (line.recipe == "caption") return caption(line, style, out, diag);
    if (line.recipe == "sliderground") return sliderGround(line, style, out);
    return false;
}

}  // namespace skinc
