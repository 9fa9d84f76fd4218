#include "audio/fx/FxCatalog.h"

#include <algorithm>
#include <cmath>

#include "audio/fx/FxDelay.h"
#include "audio/fx/FxFilter.h"
#include "audio/fx/FxLimiter.h"
#include "audio/fx/FxLv2Unit.h"
#include "audio/fx/FxReverb.h"
#include "platform/PlatLv2.h"

namespace {

FxParamInfo param(const char* name, const char* label, const char* unit, float lo, float hi, float def)
{
    FxParamInfo p;
    p.name = name;
    p.label = label;
    p.unit = unit;
    p.minimum = lo;
    p.maximum = hi;
    p.deflt = def;
    return p;
}

FxEffectInfo builtin(const char* name, const char* title)
{
    FxEffectInfo s;
    s.name = name;
    s.title = title;
    return s;
}

std::vector<FxEffectInfo> makeBuiltins()
{
    std::vector<FxEffectInfo> all;
    FxEffectInfo filter = builtin("filter", "Filter");
    FxParamInfo type = param("type", "Type", "", 0, 2, 0);
    type.integer = true;
    type.choices = {{0.0f, "lowpass"}, {1.0f, "highpass"}, {2.0f, "bandpass"}};
    FxParamInfo cutoff = param("cutoff", "Cutoff", "Hz", 20, 20000, 1000);
    cutoff.logarithmic = true;
    filter.params = {type, cutoff, param("resonance", "Resonance", "", 0, 1, 0)};
    all.push_back(filter);

    FxEffectInfo delay = builtin("delay", "Delay");
    FxParamInfo ping = param("pingpong", "Ping-pong", "", 0, 1, 0);
    ping.toggled = true;
    delay.params = {param("time", "Time", "beats", 1.0f / 64, 4, 0.25f),
                    param("feedback", "Feedback", "", 0, 1, 0.4f), param("mix", "Mix", "", 0, 1, 0.35f),
                    ping};
    all.push_back(delay);

    FxEffectInfo reverb = builtin("reverb", "Reverb");
    reverb.params = {param("size", "Size", "", 0, 1, 0.5f), param("damping", "Damping", "", 0, 1, 0.5f),
                     param("mix", "Mix", "", 0, 1, 0.25f)};
    all.push_back(reverb);

    FxEffectInfo limiter = builtin("limiter", "Limiter");
    limiter.params = {param("ceiling", "Ceiling", "dBFS", -24, 0, -1)};
    all.push_back(limiter);
    return all;
}

FxEffectInfo infoOf(const plat::Lv2Plugin& p)
{
    FxEffectInfo s;
    s.name = p.uri;
    s.title = p.name;
    s.plugin = true;
    s.audioIn = p.audioIn;
    s.audioOut = p.audioOut;
    s.hasState = p.hasState;
    s.unusable = p.unusable;
    for (const plat::Lv2Control& c : p.controls) {
        FxParamInfo q = param(c.symbol.c_str(), c.name.c_str(), "", c.minimum, c.maximum, c.deflt);
        q.logarithmic = c.logarithmic;
        q.integer = c.integer || c.enumeration;
        q.toggled = c.toggled;
        if (c.enumeration) q.choices = c.points;
        s.params.push_back(q);
    }
    return s;
}

std::unique_ptr<FxUnit> makeBuiltin(const std::string& name, const std::vector<float>& v)
{
    if (name == "filter") return std::make_unique<FxFilter>(static_cast<int>(v[0]), v[1], v[2]);
    if (name == "delay") return std::make_unique<FxDelay>(v[0], v[1], v[2], v[3] >= 0.5f);
    if (name == "reverb") return std::make_unique<FxReverb>(v[0], v[1], v[2]);
    if (name == "limiter") return std::make_unique<FxLimiter>(v[0]);
    return nullptr;
}

// The values a slot gives its effect, defaults where it gives none.
std::vector<float> valuesFor(const FxSlot& slot, const FxEffectInfo& info, std::vector<FxNote>* notes)
{
    std::vector<float> v;
    for (const FxParamInfo& p : info.params) v.push_back(p.deflt);
    for (const FxParamValue& given : slot.params) {
        const int i = info.index(given.name);
        if (i < 0) {
            if (notes) notes->push_back({FxNote::unknownParam, slot.effect, given.name});
            continue;
        }
        const float held = Fx_Held(info.params[static_cast<size_t>(i)], given.value);
        if (!(held == given.value) && notes) notes->push_back({FxNote::outOfRange, slot.effect, given.name});
        v[static_cast<size_t>(i)] = held;
    }
    return v;
}

// What is known of the slot's effect, or the note why nothing is.
const FxEffectInfo* infoFor(const FxSlot& slot, std::vector<FxNote>* notes)
{
    const FxEffectInfo* info = Fx_Find(slot.effect);
    if (!info) {
        if (notes)
            notes->push_back(
                {slot.isPlugin() ? FxNote::missingPlugin : FxNote::unknownEffect, slot.effect, ""});
        return nullptr;
    }
    if (!info->unusable.empty()) {
        if (notes) notes->push_back({FxNote::unusablePlugin, slot.effect, info->unusable});
        return nullptr;
    }
    return info;
}

}  // namespace

int FxEffectInfo::index(const std::string& p) const
{
    for (size_t i = 0; i < params.size(); ++i)
        if (params[i].name == p) return static_cast<int>(i);
    return -1;
}

void Fx_StartDiscovery()
{
    plat::Lv2_Discover();
}

const std::vector<FxEffectInfo>& Fx_Builtins()
{
    static const std::vector<FxEffectInfo> all = makeBuiltins();
    return all;
}

const std::vector<FxEffectInfo>& Fx_Plugins()
{
    static const std::vector<FxEffectInfo> all = [] {
        std::vector<FxEffectInfo> s;
        for (const plat::Lv2Plugin& p : plat::Lv2_Plugins()) s.push_back(infoOf(p));
        return s;
    }();
    return all;
}

const FxEffectInfo* Fx_Find(const std::string& effect)
{
    if (effect.empty()) return nullptr;
    if (effect.find(':') == std::string::npos) {
        for (const FxEffectInfo& s : Fx_Builtins())
            if (s.name == effect) return &s;
        return nullptr;
    }
    const std::vector<FxEffectInfo>& plugins = Fx_Plugins();
    const auto at =
        std::lower_bound(plugins.begin(), plugins.end(), effect,
                         [](const FxEffectInfo& s, const std::string& uri) { return s.name < uri; });
    return at != plugins.end() && at->name == effect ? &*at : nullptr;
}

float Fx_Held(const FxParamInfo& p, float value)
{
    if (!std::isfinite(value)) return p.deflt;
    float v = std::clamp(value, p.minimum, p.maximum);
    if (!p.choices.empty()) {
        float best = p.choices.front().first;
        for (const auto& [c, name] : p.choices)
            if (std::fabs(c - v) < std::fabs(best - v)) best = c;
        return best;
    }
    if (p.toggled) return v >= 0.5f * (p.minimum + p.maximum) ? p.maximum : p.minimum;
    if (p.integer) v = std::clamp(std::round(v), p.minimum, p.maximum);
    return v;
}

std::vector<FxNote> Fx_Check(const FxSlot& slot)
{
    std::vector<FxNote> notes;
    if (slot.empty()) return notes;
    if (const FxEffectInfo* info = infoFor(slot, &notes)) {
        valuesFor(slot, *info, &notes);
        const plat::Lv2Plugin* plugin = info->plugin ? plat::Lv2_Find(info->name) : nullptr;
        if (plugin && !slot.state.empty() && !plat::Lv2_StateFits(*plugin, slot.state))
            notes.push_back({FxNote::badState, slot.effect, ""});
    }
    return notes;
}

std::unique_ptr<FxUnit> Fx_MakeUnit(const FxSlot& slot, const FxUnitPlace& place, std::vector<FxNote>* notes)
{
    if (slot.empty()) return nullptr;
    const FxEffectInfo* info = infoFor(slot, notes);
    if (!info) return nullptr;
    const std::vector<float> values = valuesFor(slot, *info, notes);
    if (!info->plugin) return makeBuiltin(info->name, values);
    const plat::Lv2Plugin* plugin = plat::Lv2_Find(info->name);
    if (!plugin) return nullptr;
    const int count = plugin->audioIn == 1 && plugin->audioOut == 1 ? 2 : 1;
    std::vector<std::unique_ptr<plat::Lv2Instance>> instances;
    for (int k = 0; k < count; ++k) {
        std::string why;
        auto made = plat::Lv2Instance::make(*plugin, place.pluginRate, kFxMaxBlock, &why);
        if (!made) {
            if (notes) notes->push_back({FxNote::failedPlugin, slot.effect, why});
            return nullptr;
        }
        for (size_t i = 0; i < values.size(); ++i) made->controls()[i] = values[i];
        if (!slot.state.empty() && !made->restoreState(slot.state) && k == 0 && notes)
            notes->push_back({FxNote::badState, slot.effect, ""});
        instances.push_back(std::move(made));
    }
    return std::make_unique<FxLv2Unit>(std::move(instances));
}

std::string Fx_SaveState(FxUnit* unit)
{
    auto* plugin = dynamic_cast<FxLv2Unit*>(unit);
    return plugin ? plugin->instance().saveState() : std::string();
}
