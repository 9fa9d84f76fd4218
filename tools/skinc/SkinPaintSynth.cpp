#include "tools/skinc/SkinPaintSynth.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

struct Box {
    double x, y, w, h;
};

struct Caption {
    double x, baseline;
    const char* text;
};

// Where the synth panel's layouts (3 and 4) place things.
constexpr double kKeysLeft = 27, kKeysTop = 112, kWhiteWidth = 26, kWhiteHeight = 96;
constexpr double kBlackWidth = 16, kBlackHeight = 60;
constexpr Box kKeyboardWell = {18, 106, 564, 124};
constexpr Box kPresetsWell = {14, 234, 572, 32};
constexpr Box kSliders[] = {{62, 78, 140, 16}, {278, 78, 140, 16}};
constexpr Caption kCaptions[] = {
    {84, 43, "SOUND"},  {306, 43, "DIRECTION"}, {364, 43, "RATE"},    {414, 43, "RHYTHM"},
    {14, 90, "VOLUME"}, {250, 90, "PAN"},       {22, 254, "PRESETS"},
};

// The synth browser (layout 12).
constexpr Box kBrowserWells[] = {{14, 40, 232, 157}, {262, 40, 164, 124}, {262, 168, 164, 54}};

FontStyle captionFont()
{
    FontStyle f;
    f.bold = true;
    f.size = 8;
    return f;
}

// A floating plate in one scheme: shadow, ground, header with its accent,
// outline and grip; what lies in it is painted by the caller before `finish`.
class Plate {
public:
    Plate(const Style& style, const Scheme& s, int w, int h)
        : style_(style),
          scheme_(s),
          w_(w),
          h_(h),
          shadow_(static_cast<int>(style.size("panel.shadow"))),
          header_(style.size("panel.header")),
          radius_(style.size("radius.panel")),
          canvas_(w + shadow_, h + shadow_)
    {
        cairo_t* cr = canvas_.cr();
        for (int j = 0; j < shadow_; ++j) {
            roundedRect(cr, 3, 4, w + j - 3, h + j - 4, radius_ + j);
            setColour(cr, style.colour("panel.shadow"));
            cairo_fill(cr);
        }
        roundedRect(cr, 0, 0, w, h, radius_);
        cairo_clip(cr);
        const double lift = style.size("panel.lift");
        cairo_rectangle(cr, 0, 0, w, h);
        fillVertical(cr, 0, h, s.bodyTop.lighter(lift), s.bodyBottom.lighter(lift));
        glow(cr, w / 2.0, header_, std::max(w, h) * 0.7, Colour{1, 1, 1, style.size("panel.light")});
        cairo_rectangle(cr, 0, 0, w, header_);
        fillVertical(cr, 0, header_, s.header.lighter(0.07), s.header.darker(0.08));
        canvas_.ditherInPlace();
        paintAccentRule(cr, style, s.accent, w, header_);
        cairo_rectangle(cr, 0, 0, w, 1);
        setColour(cr, style.colour("edge.light"));
        cairo_fill(cr);
    }

    cairo_t* cr() const { return canvas_.cr(); }

    bool finish(Picture& out)
    {
        cairo_t* cr = canvas_.cr();
        cairo_reset_clip(cr);
        cairo_set_line_width(cr, 1);
        roundedRect(cr, 1.5, 1.5, w_ - 3, h_ - 3, std::max(0.0, radius_ - 1));
        setColour(cr, style_.colour("edge.light"));
        cairo_stroke(cr);
        roundedRect(cr, 0.5, 0.5, w_ - 1, h_ - 1, radius_);
        setColour(cr, style_.colour("edge.dark"));
        cairo_stroke(cr);
        // Dots in the middle of the title strip: the plate can be dragged.
        setColour(cr, style_.colour("edge.light").withAlpha(0.22));
        for (int row = 0; row < 2; ++row)
            for (int col = 0; col < 4; ++col) {
                cairo_rectangle(cr, w_ / 2.0 - 7 + 4 * col, header_ / 2.0 - 3 + 4 * row, 2, 2);
                cairo_fill(cr);
            }
        out = canvas_.toPicture(false, true);
        return canvas_.ok();
    }

    const Scheme& scheme() const { return scheme_; }

private:
    const Style& style_;
    const Scheme& scheme_;
    int w_, h_, shadow_;
    double header_, radius_;
    Canvas canvas_;
};

void captions(cairo_t* cr, const Style& style, const Caption* first, const Caption* last)
{
    selectFont(cr, captionFont());
    setColour(cr, style.colour("ink.dim"));
    for (const Caption* c = first; c != last; ++c) drawText(cr, c->text, c->x, c->baseline, Align::Left);
}

bool synthPane(const CastLine& line, int variant, const Style& style, Picture& out)
{
    const int w = line.params.number("width", 600), h = line.params.number("height", 306);
    Plate plate(style, style.schemes()[static_cast<size_t>(variant)], w, h);
    cairo_t* cr = plate.cr();
    const Colour dim = style.colour("ink.dim");
    const Colour accent = plate.scheme().accent;

    paintWell(cr, style, kKeyboardWell.x, kKeyboardWell.y, kKeyboardWell.w, kKeyboardWell.h);
    // The felt the keys rest under, in the scheme's accent.
    cairo_rectangle(cr, kKeysLeft - 3, kKeysTop - 4, 21 * kWhiteWidth + 6, 3);
    setColour(cr, accent.darker(0.45));
    cairo_fill(cr);
    // The octaves' names under their C keys.
    selectFont(cr, captionFont());
    for (int octave = 0; octave < 3; ++octave) {
        setColour(cr, octave == 0 ? accent.withAlpha(0.85) : dim);
        const double x = kKeysLeft + octave * 7 * kWhiteWidth + kWhiteWidth / 2.0;
        const char name[3] = {'C', static_cast<char>('1' + octave), '\0'};
        drawText(cr, name, x, kKeysTop + kWhiteHeight + 12, Align::Centre);
    }
    paintWell(cr, style, kPresetsWell.x, kPresetsWell.y, kPresetsWell.w, kPresetsWell.h);
    // The chips of the six preset entries.
    for (int i = 0; i < 6; ++i) {
        roundedRect(cr, 100.5 + 62 * i, 238.5, 59, 23, 4);
        setColour(cr, Colour{1, 1, 1, 0.06});
        cairo_fill_preserve(cr);
        setColour(cr, Colour{0, 0, 0, 0.5});
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
    }
    captions(cr, style, std::begin(kCaptions), std::end(kCaptions));
    // The tracks the sliders' thumbs run on; the pan's centre marked.
    for (const Box& t : kSliders) {
        roundedRect(cr, t.x + 2, t.y + t.h / 2.0 - 2, t.w - 4, 4, 2);
        setColour(cr, Colour{0, 0, 0, 0.75});
        cairo_fill(cr);
        setColour(cr, dim.withAlpha(0.5));
        for (int i = 0; i <= 4; ++i) {
            cairo_rectangle(cr, std::round(t.x + 6 + (t.w - 12) * i / 4.0), t.y + t.h - 2, 1, 2);
            cairo_fill(cr);
        }
    }
    const Box& pan = kSliders[1];
    setColour(cr, accent.withAlpha(0.7));
    cairo_rectangle(cr, std::round(pan.x + pan.w / 2.0) - 1, pan.y - 1, 2, 3);
    cairo_fill(cr);
    return plate.finish(out);
}

bool synthLibPane(const CastLine& line, const Style& style, Picture& out)
{
    const int w = line.params.number("width", 440), h = line.params.number("height", 300);
    Plate plate(style, style.schemes()[0], w, h);
    cairo_t* cr = plate.cr();
    for (const Box& b : kBrowserWells) paintWell(cr, style, b.x, b.y, b.w, b.h);
    // Every other list line a shade lighter, so a line reads across.
    for (int i = 0; i < 9; i += 2) {
        cairo_rectangle(cr, 17, 44 + 17 * i, 200, 17);
        setColour(cr, Colour{1, 1, 1, 0.03});
        cairo_fill(cr);
    }
    return plate.finish(out);
}

// The outline of a white key: its top corners cut out where black keys lie
// over it, its bottom corners rounded.
void whiteShape(cairo_t* cr, const std::string& shape, double w, double h)
{
    const double notchRight = shape == "c" || shape == "d" ? 9 : 0;
    const double notchLeft = shape == "d" || shape == "e" ? 9 : 0;
    const double notchDown = kBlackHeight + 1, r = 3;
    cairo_new_path(cr);
    cairo_move_to(cr, notchLeft, 0);
    cairo_line_to(cr, w - notchRight, 0);
    if (notchRight > 0) {
        cairo_line_to(cr, w - notchRight, notchDown);
        cairo_line_to(cr, w, notchDown);
    }
    cairo_line_to(cr, w, h - r);
    cairo_arc(cr, w - r, h - r, r, 0, M_PI / 2);
    cairo_line_to(cr, r, h);
    cairo_arc(cr, r, h - r, r, M_PI / 2, M_PI);
    if (notchLeft > 0) {
        cairo_line_to(cr, 0, notchDown);
        cairo_line_to(cr, notchLeft, notchDown);
    }
    cairo_close_path(cr);
}

// A lit key's lamp: a small bright dot near its front.
void keyLamp(cairo_t* cr, double cx, double cy, const Colour& c)
{
    glow(cr, cx, cy, 6, c.lighter(0.6).withAlpha(0.7));
    cairo_arc(cr, cx, cy, 2.2, 0, 2 * M_PI);
    setColour(cr, Colour{1, 1, 1, 0.95});
    cairo_fill(cr);
}

bool whiteKey(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    const std::string shape = line.params.text("shape", "d");
    if (shape != "c" && shape != "d" && shape != "e") {
        diag.error(line.where, "shape is c (cut right), d (both) or e (cut left)");
        return false;
    }
    const bool lit = variant == 1;
    const double w = kWhiteWidth - 1, h = kWhiteHeight;
    Canvas canvas(static_cast<int>(kWhiteWidth), static_cast<int>(h));
    cairo_t* cr = canvas.cr();
    whiteShape(cr, shape, w, h);
    cairo_save(cr);
    cairo_clip_preserve(cr);
    const Colour lamp = style.colour("lit.top");
    if (lit)
        fillVertical(cr, 0, h, lamp.lighter(0.35), lamp.darker(0.05));
    else
        fillVertical(cr, 0, h, Colour{0.93, 0.92, 0.89, 1}, Colour{0.80, 0.78, 0.74, 1});
    canvas.ditherInPlace();
    // The shadow of the felt at the top, and the worn front edge.
    cairo_rectangle(cr, 0, 0, w, 6);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, 6);
    cairo_pattern_add_color_stop_rgba(g, 0, 0, 0, 0, 0.35);
    cairo_pattern_add_color_stop_rgba(g, 1, 0, 0, 0, 0);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_rectangle(cr, 0, h - 5, w, 5);
    setColour(cr, lit ? lamp.darker(0.3) : Colour{0.66, 0.64, 0.6, 1});
    cairo_fill(cr);
    if (lit) keyLamp(cr, w / 2.0, h - 15, lamp);
    cairo_restore(cr);
    cairo_set_line_width(cr, 1);
    whiteShape(cr, shape, w, h);
    setColour(cr, Colour{0, 0, 0, 0.55});
    cairo_stroke(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

bool blackKey(int variant, const Style& style, Picture& out)
{
    const bool lit = variant == 1;
    const double w = kBlackWidth, h = kBlackHeight;
    Canvas canvas(static_cast<int>(w), static_cast<int>(h));
    cairo_t* cr = canvas.cr();
    const Colour lamp = style.colour("lit.top");
    roundedRect(cr, 0, -3, w, h + 3, 2.5);
    if (lit)
        fillVertical(cr, 0, h, lamp.darker(0.1), lamp.darker(0.45));
    else
        fillVertical(cr, 0, h, Colour{0.2, 0.21, 0.23, 1}, Colour{0.06, 0.065, 0.07, 1});
    canvas.ditherInPlace();
    // The sloped front of the key, lighter.
    roundedRect(cr, 2, h - 9, w - 4, 7, 1.5);
    setColour(cr, lit ? lamp.lighter(0.25).withAlpha(0.8) : Colour{1, 1, 1, 0.14});
    cairo_fill(cr);
    cairo_rectangle(cr, 2, 0, 1.5, h - 10);
    setColour(cr, Colour{1, 1, 1, lit ? 0.3 : 0.12});
    cairo_fill(cr);
    if (lit) keyLamp(cr, w / 2.0, h - 18, lamp);
    cairo_set_line_width(cr, 1);
    roundedRect(cr, 0.5, -3, w - 1, h + 2.5, 2.5);
    setColour(cr, style.colour("edge.dark"));
    cairo_stroke(cr);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

}  // namespace

std::vector<std::string> synthVariants(const CastLine& line)
{
    const std::string& r = line.recipe;
    if (r == "synthpane") return {"0", "1", "2", "3", "4", "5", "6", "7"};
    if (r == "synthlibpane") return {"0"};
    if (r == "whitekey" || r == "blackkey") return {"off", "on"};
    return {};
}

bool paintSynthCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    const std::string& r = line.recipe;
    if (r == "synthpane") return synthPane(line, variant, style, out);
    if (r == "synthlibpane") return synthLibPane(line, style, out);
    if (r == "whitekey") return whiteKey(line, variant, style, out, diag);
    if (r == "blackkey") return blackKey(variant, style, out);
    return false;
}

}  // namespace skinc
