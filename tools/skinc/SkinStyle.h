// The style sheet (skin/style.txt): every colour, radius, size and font of
// the look, by name, and the eight interface colour schemes.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "tools/skinc/SkinSource.h"

namespace skinc {

struct Colour {
    double r = 0, g = 0, b = 0, a = 1;  // 0..1

    Colour withAlpha(double alpha) const { return Colour{r, g, b, alpha}; }
    Colour mix(const Colour& other, double t) const;  // t = 0: this, 1: other
    Colour lighter(double t) const;                   // towards white
    Colour darker(double t) const;                    // towards black
};

bool parseColour(const std::string& text, Colour& colour);

struct FontStyle {
    std::string family = "DejaVu Sans";
    bool bold = false;
    double size = 10;
};

// One interface colour scheme: the grounds and the accent of a panel background.
struct Scheme {
    std::string name;
    Colour bodyTop, bodyBottom, header, accent;
};

class Style {
public:
    bool load(const std::string& path, Diag& diag);

    // Missing names are reported once to the diagnostics and give a
    // conspicuous magenta / 0 / the default font, so a build never passes
    // with a typo in it.
    Colour colour(const std::string& name) const;
    double size(const std::string& name) const;
    FontStyle font(const std::string& name) const;
    const std::vector<Scheme>& schemes() const { return schemes_; }
    // A colour by name, or a literal #rrggbb[aa].
    bool colourOrLiteral(const std::string& text, Colour& out) const;

    void setDiag(Diag* diag) { diag_ = diag; }

private:
    void missing(const std::string& what) const;

    std::map<std::string, Colour> colours_;
    std::map<std::string, double> sizes_;
    std::map<std::string, FontStyle> fonts_;
    std::vector<Scheme> schemes_;
    Diag* diag_ = nullptr;
    std::string path_;
};

}  // namespace skinc
