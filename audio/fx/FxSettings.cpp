#include "audio/fx/FxSettings.h"

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "audio/fx/FxCatalog.h"

bool FxParamValue::operator==(const FxParamValue& o) const
{
    return name == o.name && std::bit_cast<uint32_t>(value) == std::bit_cast<uint32_t>(o.value);
}

const float* FxSlot::param(const std::string& name) const
{
    for (const FxParamValue& p : params)
        if (p.name == name) return &p.value;
    return nullptr;
}

void FxSlot::setParam(const std::string& name, float value)
{
    for (FxParamValue& p : params)
        if (p.name == name) {
            p.value = value;
            return;
        }
    params.push_back({name, value});
}

bool FxSetup::empty() const
{
    for (const FxRackSettings& r : racks)
        if (!r.empty()) return false;
    return true;
}

namespace {

bool number(const std::string& s, float* v)
{
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const float f = std::strtof(s.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(f)) return false;
    *v = f;
    return true;
}

// A number, a fraction, or one of the parameter's named choices.
bool valueOf(const std::string& text, const FxParamInfo* info, float* v)
{
    if (info)
        for (const auto& [value, name] : info->choices)
            if (text == name) {
                *v = value;
                return true;
            }
    const size_t slash = text.find('/');
    if (slash == std::string::npos) return number(text, v);
    float a = 0, b = 0;
    if (!number(text.substr(0, slash), &a) || !number(text.substr(slash + 1), &b) || b == 0.0f) return false;
    *v = a / b;
    return std::isfinite(*v);
}

std::string names(const FxEffectInfo& info)
{
    std::string all;
    for (const FxParamInfo& p : info.params) all += (all.empty() ? "" : ", ") + p.name;
    return all.empty() ? "none" : all;
}

std::string shown(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", static_cast<double>(v));
    return text;
}

}  // namespace

bool FxSlot_FromText(const std::string& text, FxSlot* slot, std::string* problem)
{
    auto fail = [problem](const std::string& why) {
        if (problem) *problem = why;
        return false;
    };
    FxSlot s;
    std::string list;
    // The parameters follow the last ':' when what follows names one (a
    // plugin's URI holds ':' of its own).
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos &&
        (colon + 1 == text.size() || text.find('=', colon) != std::string::npos)) {
        s.effect = text.substr(0, colon);
        list = text.substr(colon + 1);
    } else {
        s.effect = text;
    }
    if (s.effect.empty()) return fail("no effect named in '" + text + "'");
    const FxEffectInfo* info = Fx_Find(s.effect);
    if (!info) {
        if (s.isPlugin()) return fail("no LV2 plugin " + s.effect + " is installed");
        std::string all;
        for (const FxEffectInfo& b : Fx_Builtins()) all += (all.empty() ? "" : ", ") + b.name;
        return fail("no effect is named '" + s.effect + "' (" + all + ")");
    }
    if (!info->unusable.empty()) return fail(s.effect + " " + info->unusable);
    size_t from = 0;
    while (from < list.size()) {
        size_t comma = list.find(',', from);
        if (comma == std::string::npos) comma = list.size();
        const std::string item = list.substr(from, comma - from);
        from = comma + 1;
        const size_t eq = item.find('=');
        if (eq == std::string::npos) return fail("'" + item + "' is no PARAM=VALUE");
        const std::string name = item.substr(0, eq);
        const int i = info->index(name);
        if (i < 0) return fail(s.effect + " has no parameter '" + name + "' (" + names(*info) + ")");
        const FxParamInfo& p = info->params[static_cast<size_t>(i)];
        float v = 0;
        if (!valueOf(item.substr(eq + 1), &p, &v))
            return fail("'" + item + "' is no value " + name + " takes");
        if (v < p.minimum || v > p.maximum)
            return fail(name + " of " + s.effect + " goes from " + shown(p.minimum) + " to " +
                        shown(p.maximum));
        s.setParam(name, Fx_Held(p, v));
    }
    *slot = std::move(s);
    return true;
}

bool FxParam_FromText(const std::string& effect, const std::string& param, const std::string& text,
                      float* value, std::string* problem)
{
    const FxEffectInfo* info = Fx_Find(effect);
    const int i = info ? info->index(param) : -1;
    if (i < 0) {
        if (problem)
            *problem = (effect.empty() ? std::string("an empty slot") : effect) + " has no parameter '" +
                       param + "'";
        return false;
    }
    const FxParamInfo& p = info->params[static_cast<size_t>(i)];
    float v = 0;
    if (!valueOf(text, &p, &v) || v < p.minimum || v > p.maximum) {
        if (problem)
            *problem = param + " of " + effect + " takes " + shown(p.minimum) + " to " + shown(p.maximum) +
                       ", not '" + text + "'";
        return false;
    }
    *value = Fx_Held(p, v);
    return true;
}

std::string FxSlot_ToText(const FxSlot& slot)
{
    std::string t = slot.effect;
    const FxEffectInfo* info = slot.empty() ? nullptr : Fx_Find(slot.effect);
    for (size_t i = 0; i < slot.params.size(); ++i) {
        const FxParamValue& p = slot.params[i];
        t += (i == 0 ? ":" : ",") + p.name + "=";
        const int k = info ? info->index(p.name) : -1;
        std::string value = shown(p.value);
        if (k >= 0)
            for (const auto& [v, name] : info->params[static_cast<size_t>(k)].choices)
                if (v == p.value) value = name;
        t += value;
    }
    return t;
}

std::string FxSetup_Describe(const FxSetup& setup)
{
    std::string out;
    for (int r = 0; r < kFxRacks; ++r)
        for (int k = 0; k < kFxSlots; ++k) {
            const FxSlot& s = setup.racks[r].slots[k];
            if (s.empty()) continue;
            out += (r == kFxMain ? std::string("main") : "track " + std::to_string(r + 1)) + ", slot " +
                   std::to_string(k + 1) + ": " + FxSlot_ToText(s) + (s.bypass ? " (bypassed)" : "") + "\n";
        }
    return out;
}
