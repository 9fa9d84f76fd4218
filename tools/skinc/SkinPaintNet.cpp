#include "tools/skinc/SkinPaintNet.h"

#include <algorithm>
#include <cmath>

namespace skinc {

namespace {

// The states of a state button: at rest, lit in the accent, lit in the
// second colour (played on the other side).
constexpr int kStates = 3;

std::vector<std::string> split(const std::string& text)
{
    std::vector<std::string> parts;
    size_t from = 0;
    while (true) {
        const size_t bar = text.find('|', from);
        parts.push_back(text.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
        if (bar == std::string::npos) return parts;
        from = bar + 1;
    }
}

FontStyle captionFont()
{
    FontStyle f;
    f.bold = true;
    f.size = 8;
    return f;
}

bool stateButton(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag)
{
    const int w = line.params.number("width", 44);
    const int h = line.params.number("height", 24);
    const std::vector<std::string> texts = split(line.params.text("texts"));
    if (w < 8 || w > 320 || h < 8 || h > 64) {
        diag.error(line.where, "a state button is 8 to 320 wide and 8 to 64 high");
        return false;
    }
    // One text for every state, or one for each.
    if (texts.size() != 1 && texts.size() != static_cast<size_t>(kStates)) {
        diag.error(line.where, "texts= names one text or three, split by |");
        return false;
    }
    const std::string& text = texts[std::min(texts.size() - 1, static_cast<size_t>(variant))];
    Colour second;
    if (!style.colourOrLiteral(line.params.text("second", "#3fd6c8"), second)) {
        diag.error(line.where, "second= is neither a colour of the style sheet nor #rrggbb");
        return false;
    }
    const Colour lit = variant == 2 ? second : style.colour("lit.top");
    const double radius = style.size("radius.button");

    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    roundedRect(cr, 0, 0, w, h, radius);
    if (variant == 0)
        fillVertical(cr, 0, h, style.colour("face.top"), style.colour("face.bottom"));
    else
        fillVertical(cr, 0, h, lit, lit.darker(0.28));
    canvas.ditherInPlace();

    cairo_set_line_width(cr, 1);
    roundedRect(cr, 1.5, 1.5, w - 3, h - 3, std::max(0.0, radius - 1.5));
    setColour(cr, variant == 0 ? style.colour("face.highlight") : Colour{1, 1, 1, 0.25});
    cairo_save(cr);
    cairo_rectangle(cr, 0, 0, w, h / 2.0);
    cairo_clip(cr);
    cairo_stroke(cr);
    cairo_restore(cr);
    cairo_new_path(cr);
    roundedRect(cr, 0.5, 0.5, w - 1, h - 1, std::max(0.0, radius - 0.5));
    setColour(cr, style.colour("face.edge"));
    cairo_stroke(cr);

    // A lamp at the left tells the state without reading the colour alone:
    // hollow at rest, full when lit.
    const double lampX = std::min(10.0, w / 4.0), lampY = h / 2.0, lampR = 3;
    cairo_arc(cr, lampX, lampY, lampR, 0, 2 * M_PI);
    if (variant == 0) {
        setColour(cr, style.colour("ink.dim"));
        cairo_stroke(cr);
    } else {
        setColour(cr, style.colour("ink.dark"));
        cairo_fill(cr);
    }
    selectFont(cr, style.font("button"));
    double ascent = 0, descent = 0;
    fontMetrics(cr, ascent, descent);
    setColour(cr, variant == 0 ? style.colour("ink") : style.colour("ink.dark"));
    const double left = lampX + lampR + 3;
    drawText(cr, text, left + (w - left) / 2.0 - 1, std::round((h - (ascent + descent)) / 2 + ascent),
             Align::Centre);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

// A well's caption, as the groove panel letters its own.
bool caption(const CastLine& line, const Style& style, Picture& out, Diag& diag)
{
    const std::string text = line.params.text("text");
    if (text.empty()) {
        diag.error(line.where, "a caption needs text=...");
        return false;
    }
    Canvas probe(1, 1);
    selectFont(probe.cr(), captionFont());
    double ascent = 0, descent = 0;
    fontMetrics(probe.cr(), ascent, descent);
    const int w = static_cast<int>(std::ceil(textWidth(probe.cr(), text))) + 2;
    const int h = static_cast<int>(std::ceil(ascent + descent)) + 1;
    Canvas canvas(w, h);
    cairo_t* cr = canvas.cr();
    selectFont(cr, captionFont());
    setColour(cr, style.colour("ink.dim"));
    drawText(cr, text, 1, std::round(ascent), Align::Left);
    out = canvas.toPicture(false, true);
    return canvas.ok();
}

}  // namespace

std::vector<std::string> netVariantsOf(const CastLine& line)
{
    if (line.recipe == "netstate") return {"0", "1", "2"};
    if (line.recipe == "netcaption") return {""};
    return {};
}

bool paintNetCast(const CastLine& line, int variant, const Style& style, Picture& out, Diag& diag,
                  bool& known)
{
    known = true;
    if (line.recipe == "netstate") return stateButton(line, variant, style, out, diag);
    if (line.recipe == "netcaption") return caption(line, style, out, diag);
    known = false;
    return false;
}

}  // namespace skinc
