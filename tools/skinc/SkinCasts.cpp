#include "tools/skinc/SkinCasts.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "tools/skinc/SkinPaintBrowser.h"
#include "tools/skinc/SkinPaintGroove.h"
#include "tools/skinc/SkinPaintNet.h"
#include "tools/skinc/SkinPaintPrefs.h"
#include "tools/skinc/SkinPaintScreen.h"
#include "tools/skinc/SkinPaintSynth.h"
#include "tools/skinc/SkinPaintTuner.h"
#include "tools/skinc/SkinPaintVMix.h"

namespace skinc {

namespace {

bool validName(const std::string& name)
{
    if (name.empty()) return false;
    for (const char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-')) return false;
    return !std::isdigit(static_cast<unsigned char>(name[0])) && name != "-";
}

}  // namespace

std::vector<std::string> CastTable::variantsOf(const CastLine& line)
{
    const std::string& recipe = line.recipe;
    if (std::vector<std::string> groove = grooveVariants(line); !groove.empty()) return groove;
    if (std::vector<std::string> synth = synthVariants(line); !synth.empty()) return synth;
    if (std::vector<std::string> vmix = vmixVariants(line); !vmix.empty()) return vmix;
    if (std::vector<std::string> tuner = tunerVariants(line); !tuner.empty()) return tuner;
    if (std::vector<std::string> screen = screenVariants(line); !screen.empty()) return screen;
    if (recipe == "backpane") {
        // A panel the screen never recolours keeps scheme 0 alone.
        const int schemes = std::clamp(line.params.number("schemes", 8), 1, 8);
        std::vector<std::string> names;
        for (int i = 0; i < schemes; ++i) names.push_back(std::to_string(i));
        return names;
    }
    if (recipe == "button") return {"up", "down"};
    if (recipe == "font" || recipe == "splash" || recipe == "label" || recipe == "bubble" ||
        recipe == "progress" || recipe == "library")
        return {""};
    if (std::vector<std::string> prefs = prefsVariantsOf(recipe); !prefs.empty()) return prefs;
    if (std::vector<std::string> net = netVariantsOf(line); !net.empty()) return net;
    return browserVariantsOf(recipe);
}

bool CastTable::load(const std::string& path, Diag& diag)
{
    std::vector<SourceLine> source;
    if (!readSourceLines(path, source, diag)) return false;
    const size_t before = diag.errors().size();
    for (const SourceLine& s : source) {
        if (s.words.size() < 3) {
            diag.error(s.where(), "expected: ID NAME RECIPE [key=value ...]");
            continue;
        }
        CastLine line;
        line.where = s.where();
        int id = 0;
        if (!parseInt(s.words[0], id) || id <= 0) {
            diag.error(s.where(), "a cast id is a positive number, not '" + s.words[0] + "'");
            continue;
        }
        line.id = id;
        line.name = s.words[1];
        line.recipe = s.words[2];
        line.params = Params(s.words, 3);
        if (!validName(line.name)) {
            diag.error(s.where(), "'" + line.name + "' is not a cast name (letters, digits, . _ -)");
            continue;
        }
        const std::vector<std::string> variants = variantsOf(line);
        if (variants.empty()) {
            diag.error(s.where(), "unknown recipe '" + line.recipe + "'");
            continue;
        }
        if (!line.params.plain().empty()) {
            diag.error(s.where(), "'" + line.params.plain()[0] + "' is not key=value");
            continue;
        }
        const size_t index = lines_.size();
        lines_.push_back(line);
        for (size_t v = 0; v < variants.size(); ++v) {
            CastEntry e;
            e.id = id + static_cast<int32_t>(v);
            e.name = variants[v].empty() ? line.name : line.name + "." + variants[v];
            e.variant = static_cast<int>(v);
            e.line = index;
            if (byID_.count(e.id)) {
                diag.error(s.where(),
                           "cast id " + std::to_string(e.id) + " is used by '" + byID_[e.id] + "' already");
                continue;
            }
            if (byName_.count(e.name)) {
                diag.error(s.where(), "cast name '" + e.name + "' is given twice");
                continue;
            }
            byID_[e.id] = e.name;
            byName_[e.name] = e.id;
            entries_.push_back(e);
        }
    }
    std::sort(entries_.begin(), entries_.end(),
              [](const CastEntry& a, const CastEntry& b) { return a.id < b.id; });
    return diag.errors().size() == before;
}

bool CastTable::idOf(const std::string& name, int32_t& id) const
{
    const auto it = byName_.find(name);
    if (it == byName_.end()) return false;
    id = it->second;
    return true;
}

std::string CastTable::nameOf(int32_t id) const
{
    const auto it = byID_.find(id);
    return it == byID_.end() ? std::string() : it->second;
}

}  // namespace skinc
