// The launch grid's choices, as the preferences, documents and the command
// line name them. Eight bars and the cycle are both 32 beats; they stay two
// choices because a player thinks of them as two.
#pragma once

#include <cstring>

enum class LaunchGrid : int { cycle = 0, beat, bar, twoBars, fourBars, eightBars };
constexpr int kLaunchGridChoices = 6;

constexpr int LaunchGridBeatsOf(LaunchGrid g)
{
    switch (g) {
        case LaunchGrid::beat: return 1;
        case LaunchGrid::bar: return 4;
        case LaunchGrid::twoBars: return 8;
        case LaunchGrid::fourBars: return 16;
        default: return 32;
    }
}

inline const char* LaunchGridName(LaunchGrid g)
{
    static const char* const names[kLaunchGridChoices] = {"cycle", "beat", "bar", "2bars", "4bars", "8bars"};
    const int i = static_cast<int>(g);
    return names[i >= 0 && i < kLaunchGridChoices ? i : 0];
}

// False when the name is none of the grid's.
inline bool LaunchGridFromName(const char* name, LaunchGrid* g)
{
    for (int i = 0; i < kLaunchGridChoices; ++i)
        if (std::strcmp(name, LaunchGridName(static_cast<LaunchGrid>(i))) == 0) {
            *g = static_cast<LaunchGrid>(i);
            return true;
        }
    return false;
}

// A stored choice as a grid; anything unknown is the cycle.
constexpr LaunchGrid LaunchGridFromCode(int code)
{
    return code > 0 && code < kLaunchGridChoices ? static_cast<LaunchGrid>(code) : LaunchGrid::cycle;
}
