#include "app/ListEffects.h"

#include <string>

#include "audio/fx/FxCatalog.h"

namespace {

std::string number(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return text;
}

std::string valueOf(const FxParamInfo& p, float v)
{
    for (const auto& [value, name] : p.choices)
        if (value == v) return name;
    // Beats as the fractions they are given in.
    if (p.unit == "beats")
        for (int d = 1; d <= 64; d *= 2) {
            const float n = v * static_cast<float>(d);
            if (n == static_cast<float>(static_cast<int>(n)))
                return d == 1 ? number(v) : std::to_string(static_cast<int>(n)) + "/" + std::to_string(d);
        }
    return number(v);
}

void printParams(FILE* out, const FxEffectInfo& s)
{
    for (const FxParamInfo& p : s.params) {
        std::string range;
        if (!p.choices.empty()) {
            for (const auto& [value, name] : p.choices) range += (range.empty() ? "" : " | ") + name;
        } else if (p.toggled) {
            range = "0 | 1";
        } else {
            range = valueOf(p, p.minimum) + " to " + valueOf(p, p.maximum) +
                    (p.unit.empty() ? "" : " " + p.unit) + (p.logarithmic ? ", logarithmic" : "") +
                    (p.integer ? ", whole numbers" : "");
        }
        std::fprintf(out, "      %-14s %s (default %s)%s\n", p.name.c_str(), range.c_str(),
                     valueOf(p, p.deflt).c_str(), p.label == p.name ? "" : ("  " + p.label).c_str());
    }
}

const char* channels(const FxEffectInfo& s)
{
    if (s.audioIn == 1 && s.audioOut == 1) return "mono, run once a side";
    if (s.audioIn == 1) return "mono in, stereo out";
    if (s.audioOut == 1) return "stereo in, mono out";
    return "stereo";
}

}  // namespace

int ListEffects_Main(FILE* out)
{
    Fx_StartDiscovery();
    std::fprintf(out, "Built-in effects (--fx TRACK:NAME:PARAM=VALUE,...):\n");
    for (const FxEffectInfo& s : Fx_Builtins()) {
        std::fprintf(out, "  %s  %s\n", s.name.c_str(), s.title.c_str());
        printParams(out, s);
    }
    const std::vector<FxEffectInfo>& plugins = Fx_Plugins();
    int usable = 0;
    for (const FxEffectInfo& s : plugins) usable += s.unusable.empty();
    std::fprintf(out, "\nLV2 plugins (--lv2 TRACK:URI:SYMBOL=VALUE,...): %d found, %d usable\n",
                 static_cast<int>(plugins.size()), usable);
    for (const FxEffectInfo& s : plugins) {
        if (!s.unusable.empty()) continue;
        std::fprintf(out, "  %s  %s (%s%s)\n", s.name.c_str(), s.title.c_str(), channels(s),
                     s.hasState ? ", keeps a state" : "");
        printParams(out, s);
    }
    if (usable < static_cast<int>(plugins.size())) {
        std::fprintf(out, "\nFound, but not usable here:\n");
        for (const FxEffectInfo& s : plugins)
            if (!s.unusable.empty())
                std::fprintf(out, "  %s  %s: %s\n", s.name.c_str(), s.title.c_str(), s.unusable.c_str());
    }
    return 0;
}
