// What a mix of a sequence plays, groove by groove: each groove's eight
// tracks (the samples list's entry, -1 none; volume 0 to 127; pan 0 to 127
// as the engine takes it, 63 centred) and its effects. The disk mix hands
// it to the mixdown beside its mix script (whose track lines are, block by
// block, the tracks marked `line`, in order); the live chain run offline
// plays it alone.
#pragma once

#include <vector>

#include "audio/fx/FxSettings.h"

struct MixPlanTrack {
    int sample = -1;
    int volume = 0;
    int pan = 63;
    bool line = false;  // the mix script has a line for it
};

struct MixPlanGroove {
    MixPlanTrack tracks[kFxTracks];
    FxSetup fx;
};

struct MixPlan {
    std::vector<MixPlanGroove> grooves;
    // A stem has its tracks' effects; the main mix's are the whole mix's only.
    bool mainEffects = true;

    bool anyEffects() const
    {
        for (const MixPlanGroove& g : grooves)
            for (int r = 0; r < kFxRacks; ++r)
                if (!g.fx.racks[r].empty() && (r != kFxMain || mainEffects)) return true;
        return false;
    }
};
