// What the effects of a mix are set to: two slots on each of the eight
// tracks and two on the main mix, each empty or holding one effect (a
// built-in by its name, an LV2 plugin by its URI) with its parameters by
// name, its bypass and, for a plugin that keeps one, its own state. This
// is data only: what a groove and a document hold, whatever is installed.
// An effect or a parameter this program does not know is kept as it came,
// so that nothing of it is lost when it is written again.
#pragma once

#include <string>
#include <vector>

constexpr int kFxSlots = 2;
constexpr int kFxTracks = 8;
constexpr int kFxMain = 8;  // the main mix's rack, after the tracks'
constexpr int kFxRacks = 9;

struct FxParamValue {
    std::string name;
    float value = 0.0f;
    // The same value bit for bit (a value that is no number included).
    bool operator==(const FxParamValue& o) const;
};

struct FxSlot {
    std::string effect;  // "" for an empty slot
    std::vector<FxParamValue> params;
    bool bypass = false;
    std::string state;

    bool empty() const { return effect.empty(); }
    // Plugins are named by URIs, built-ins by plain words.
    bool isPlugin() const { return effect.find(':') != std::string::npos; }
    // The value given for a parameter, null when none.
    const float* param(const std::string& name) const;
    void setParam(const std::string& name, float value);
    bool operator==(const FxSlot&) const = default;
};

struct FxRackSettings {
    FxSlot slots[kFxSlots];
    bool empty() const { return slots[0].empty() && slots[1].empty(); }
    bool operator==(const FxRackSettings&) const = default;
};

struct FxSetup {
    FxRackSettings racks[kFxRacks];
    bool empty() const;
    bool operator==(const FxSetup&) const = default;
};

// The text form of a slot, as the command line gives it:
// NAME[:PARAM=VALUE,...] (a built-in) or URI[:SYMBOL=VALUE,...] (a plugin).
// A value is a number, a fraction (a delay's time in beats: 1/4, 3/16) or,
// for a parameter of named choices, one of the names (type=highpass).
// False, with the reason, when the text cannot be read so.
bool FxSlot_FromText(const std::string& text, FxSlot* slot, std::string* problem);
std::string FxSlot_ToText(const FxSlot& slot);
// One parameter's value in that form ("1/4", "highpass", "0.5"); false when
// it is none the effect's parameter takes (or the effect has no such one).
bool FxParam_FromText(const std::string& effect, const std::string& param, const std::string& text,
                      float* value, std::string* problem);
// A rack or a setup's slots in that form, one a line, for people to read.
std::string FxSetup_Describe(const FxSetup& setup);
