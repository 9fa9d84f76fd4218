#include "audio/fx/FxKnob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace {

// A time in beats moves through the note values a player counts in.
constexpr float kBeatSteps[] = {1.0f / 64, 1.0f / 32, 1.0f / 16, 3.0f / 32, 1.0f / 8,
                                3.0f / 16, 1.0f / 4,  3.0f / 8,  1.0f / 2,  3.0f / 4,
                                1.0f,      3.0f / 2,  2.0f,      3.0f,      4.0f};

bool inBeats(const FxParamInfo& p)
{
    return p.unit == "beats";
}

// The stepped values a parameter takes, or none when it is continuous.
std::vector<float> steps(const FxParamInfo& p)
{
    std::vector<float> out;
    if (!p.choices.empty()) {
        for (const auto& c : p.choices) out.push_back(c.first);
    } else if (p.toggled) {
        out = {p.minimum, p.maximum};
    } else if (inBeats(p)) {
        for (float v : kBeatSteps)
            if (v >= p.minimum && v <= p.maximum) out.push_back(v);
    } else if (p.integer && p.maximum - p.minimum <= 64) {
        for (float v = p.minimum; v <= p.maximum; v += 1.0f) out.push_back(v);
    }
    return out;
}

}  // namespace

float Fx_ValueAt(const FxParamInfo& p, double place)
{
    const double x = std::clamp(std::isfinite(place) ? place : 0.0, 0.0, 1.0);
    const std::vector<float> s = steps(p);
    if (!s.empty()) return s[static_cast<size_t>(std::lround(x * static_cast<double>(s.size() - 1)))];
    double v;
    if (p.logarithmic && p.minimum > 0 && p.maximum > p.minimum)
        v = p.minimum * std::pow(static_cast<double>(p.maximum) / p.minimum, x);
    else
        v = p.minimum + (p.maximum - p.minimum) * x;
    return Fx_Held(p, static_cast<float>(v));
}

double Fx_PlaceOf(const FxParamInfo& p, float value)
{
    const float v = Fx_Held(p, value);
    const std::vector<float> s = steps(p);
    if (s.size() > 1) {
        size_t best = 0;
        for (size_t i = 1; i < s.size(); ++i)
            if (std::fabs(s[i] - v) < std::fabs(s[best] - v)) best = i;
        return static_cast<double>(best) / static_cast<double>(s.size() - 1);
    }
    if (!(p.maximum > p.minimum)) return 0.0;
    if (p.logarithmic && p.minimum > 0)
        return std::log(static_cast<double>(v) / p.minimum) /
               std::log(static_cast<double>(p.maximum) / p.minimum);
    return (static_cast<double>(v) - p.minimum) / (static_cast<double>(p.maximum) - p.minimum);
}

int Fx_StepCount(const FxParamInfo& p)
{
    return static_cast<int>(steps(p).size());
}

std::string Fx_ValueText(const FxParamInfo& p, float value)
{
    const float v = Fx_Held(p, value);
    for (const auto& [c, name] : p.choices)
        if (c == v) return name;
    char text[48];
    if (p.toggled) return v >= p.maximum ? "on" : "off";
    if (inBeats(p)) {
        for (int den : {1, 2, 4, 8, 16, 32, 64}) {
            const double num = static_cast<double>(v) * den;
            if (std::fabs(num - std::round(num)) < 1e-4) {
                if (den == 1)
                    std::snprintf(text, sizeof text, "%ld", std::lround(num));
                else
                    std::snprintf(text, sizeof text, "%ld/%d", std::lround(num), den);
                return text;
            }
        }
    }
    const double a = std::fabs(v);
    if (p.integer)
        std::snprintf(text, sizeof text, "%ld", std::lround(v));
    else if (a >= 10000)
        std::snprintf(text, sizeof text, "%.1fk", v / 1000.0);
    else if (a >= 100)
        std::snprintf(text, sizeof text, "%.0f", static_cast<double>(v));
    else if (a >= 10)
        std::snprintf(text, sizeof text, "%.1f", static_cast<double>(v));
    else
        std::snprintf(text, sizeof text, "%.2f", static_cast<double>(v));
    std::string out = text;
    if (!p.unit.empty()) out += " " + p.unit;
    return out;
}

float Fx_ValueOf(const FxSlot& slot, const FxParamInfo& p)
{
    const float* v = slot.param(p.name);
    return v ? Fx_Held(p, *v) : p.deflt;
}
