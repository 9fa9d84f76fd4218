#include "tools/skinc/SkinStyle.h"

#include <cstdlib>
#include <set>

namespace skinc {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

double channel(double a, double b, double t)
{
    return a + (b - a) * t;
}

}  // namespace

Colour Colour::mix(const Colour& other, double t) const
{
    return Colour{channel(r, other.r, t), channel(g, other.g, t), channel(b, other.b, t),
                  channel(a, other.a, t)};
}

Colour Colour::lighter(double t) const
{
    return mix(Colour{1, 1, 1, a}, t);
}
Colour Colour::darker(double t) const
{
    return mix(Colour{0, 0, 0, a}, t);
}

bool parseColour(const std::string& text, Colour& colour)
{
    if ((text.size() != 7 && text.size() != 9) || text[0] != '#') return false;
    int v[4] = {0, 0, 0, 255};
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const int hi = hexDigit(text[i + 1]);
        const int lo = i + 2 < text.size() ? hexDigit(text[i + 2]) : -1;
        if (hi < 0 || lo < 0) return false;
        v[i / 2] = hi * 16 + lo;
    }
    colour = Colour{v[0] / 255.0, v[1] / 255.0, v[2] / 255.0, v[3] / 255.0};
    return true;
}

bool Style::load(const std::string& path, Diag& diag)
{
    path_ = path;
    diag_ = &diag;
    std::vector<SourceLine> lines;
    if (!readSourceLines(path, lines, diag)) return false;
    const size_t before = diag.errors().size();
    for (const SourceLine& line : lines) {
        const auto& w = line.words;
        const std::string& key = w[0];
        if (key == "colour" && w.size() == 3) {
            Colour c;
            if (!colourOrLiteral(w[2], c)) {
                diag.error(line.where(), "'" + w[2] + "' is neither #rrggbb[aa] nor a colour named before");
                continue;
            }
            colours_[w[1]] = c;
        } else if (key == "size" && w.size() == 3) {
            char* end = nullptr;
            const double v = std::strtod(w[2].c_str(), &end);
            if (*end != '\0' || w[2].empty()) {
                diag.error(line.where(), "'" + w[2] + "' is not a number");
                continue;
            }
            sizes_[w[1]] = v;
        } else if (key == "font" && (w.size() == 4 || (w.size() == 5 && w[3] == "bold"))) {
            FontStyle f;
            f.family = w[2];
            f.bold = w.size() == 5;
            char* end = nullptr;
            f.size = std::strtod(w.back().c_str(), &end);
            if (*end != '\0' || f.size <= 0) {
                diag.error(line.where(), "'" + w.back() + "' is not a font size");
                continue;
            }
            fonts_[w[1]] = f;
        } else if (key == "scheme" && w.size() == 7) {
            int index = 0;
            Scheme s;
            s.name = w[2];
            Colour* parts[4] = {&s.bodyTop, &s.bodyBottom, &s.header, &s.accent};
            bool good = parseInt(w[1], index) && index == static_cast<int>(schemes_.size());
            if (!good) {
                diag.error(line.where(), "schemes are numbered 0, 1, 2 ... in order");
                continue;
            }
            for (int i = 0; i < 4; ++i) {
                if (!colourOrLiteral(w[3 + i], *parts[i])) {
                    diag.error(line.where(), "'" + w[3 + i] + "' is not a colour");
                    good = false;
                }
            }
            if (good) schemes_.push_back(s);
        } else {
            diag.error(line.where(),
                       "expected: colour NAME #rrggbb | size NAME N | font NAME FAMILY [bold] SIZE | "
                       "scheme N NAME BODY-TOP BODY-BOTTOM HEADER ACCENT");
        }
    }
    if (schemes_.size() != 8)
        diag.error(path, "the style sheet must define the eight interface colour schemes 0..7");
    return diag.errors().size() == before;
}

bool Style::colourOrLiteral(const std::string& text, Colour& out) const
{
    if (parseColour(text, out)) return true;
    const auto it = colours_.find(text);
    if (it == colours_.end()) return false;
    out = it->second;
    return true;
}

void Style::missing(const std::string& what) const
{
    static std::set<std::string> reported;
    if (diag_ && reported.insert(what).second) diag_->error(path_, "the style sheet has no " + what);
}

Colour Style::colour(const std::string& name) const
{
    const auto it = colours_.find(name);
    if (it != colours_.end()) return it->second;
    missing("colour '" + name + "'");
    return Colour{1, 0, 1, 1};
}

double Style::size(const std::string& name) const
{
    const auto it = sizes_.find(name);
    if (it != sizes_.end()) return it->second;
    missing("size '" + name + "'");
    return 0;
}

FontStyle Style::font(const std::string& name) const
{
    const auto it = fonts_.find(name);
    if (it != fonts_.end()) return it->second;
    missing("font '" + name + "'");
    return FontStyle{};
}

}  // namespace skinc
