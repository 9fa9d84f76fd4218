// The effects this program can run: its own (filter, delay, reverb,
// limiter) and the LV2 plugins installed, each with its parameters in the
// units it is set in; and the making of a running unit from a slot's
// settings, which says what it could not take as it was.
//
// Threads: the main thread (or one render's). The plugins are looked for on
// a thread of their own from Fx_StartDiscovery on; asking for one waits for
// that search to end.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/fx/FxSettings.h"
#include "audio/fx/FxUnit.h"

struct FxParamInfo {
    std::string name;   // as settings and the command line name it (an LV2 port's symbol)
    std::string label;  // as people read it
    std::string unit;   // "Hz", "dB", "beats" ... or ""
    float minimum = 0.0f;
    float maximum = 1.0f;
    float deflt = 0.0f;
    bool logarithmic = false;
    bool integer = false;
    bool toggled = false;
    std::vector<std::pair<float, std::string>> choices;  // named values, by value
};

struct FxEffectInfo {
    std::string name;   // a built-in's name, or the plugin's URI
    std::string title;  // as people read it
    bool plugin = false;
    std::vector<FxParamInfo> params;
    int audioIn = 2;
    int audioOut = 2;
    bool hasState = false;
    std::string unusable;  // a plugin this program cannot run: why
    // The parameter of this name, -1 when none.
    int index(const std::string& param) const;
};

// Starts looking for the installed plugins, off the main path.
void Fx_StartDiscovery();
const std::vector<FxEffectInfo>& Fx_Builtins();
// Every plugin found, usable or not (waits for the search).
const std::vector<FxEffectInfo>& Fx_Plugins();
// A built-in by name or an installed plugin by URI; null when neither.
const FxEffectInfo* Fx_Find(const std::string& effect);
// A value as a parameter takes it: within its range, a whole number or a
// choice where it must be one; the default when it is not a number.
float Fx_Held(const FxParamInfo& p, float value);

// What a slot's settings could not be taken as they were.
struct FxNote {
    enum Kind {
        unknownEffect,   // no built-in has that name
        missingPlugin,   // no plugin of that URI is installed: the slot plays dry
        unusablePlugin,  // installed, but not one this program can run (detail: why)
        unknownParam,    // the effect has no such parameter: kept, not used
        outOfRange,      // a value outside the parameter's range (or no number): held to it
        badState,        // the plugin's state could not be read: it starts without it
        failedPlugin,    // the plugin would not start (detail: why)
    };
    Kind kind;
    std::string effect;
    std::string detail;  // the parameter, or why
};

// Where a unit will run: the rate an LV2 plugin is started at (the rate a
// second of the stream is heard at).
struct FxUnitPlace {
    double pluginRate = 44100.0;
};

// A unit for the slot's settings, its parameters set and a plugin's state
// put back; null for an empty slot and for an effect that cannot run here
// (the slot plays dry). What it could not take as it was goes into notes.
std::unique_ptr<FxUnit> Fx_MakeUnit(const FxSlot& slot, const FxUnitPlace& place, std::vector<FxNote>* notes);
// The notes the slot's settings give, without making anything.
std::vector<FxNote> Fx_Check(const FxSlot& slot);
// The state of a plugin unit made by Fx_MakeUnit ("" for other units).
std::string Fx_SaveState(FxUnit* unit);
