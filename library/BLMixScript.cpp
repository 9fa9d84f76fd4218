#include "library/BLMixScript.h"

#include <cmath>
#include <cstdio>

#include "core/kelFiles.h"
#include "library/BLSongLibrary.h"

BLMixScript BLMixScript_Make(float tempo, const BLSequence& sequence, const BLSongLibrary& library,
                             int16_t filterGroup)
{
    BLMixScript script;
    script.plan.mainEffects = filterGroup == kBLMixAllGroups;
    char line[64];
    const double whole = std::isfinite(tempo) ? std::trunc(static_cast<double>(tempo)) : 0.0;
    std::snprintf(line, sizeof line, "%d\r\n",
                  static_cast<int>(whole > 1e6    ? 1e6
                                   : whole < -1e6 ? -1e6
                                                  : whole));
    script.text = line;
    const int16_t length = sequence.length < 0                ? 0
                           : sequence.length > kBLMaxSequence ? kBLMaxSequence
                                                              : sequence.length;
    for (int16_t e = 0; e < length; ++e) {
        const int16_t index = sequence.grooveIDtoIndex(static_cast<int16_t>(sequence.entries[e]));
        if (index < 0) continue;
        const BLGroove& groove = sequence.grooves[index];
        std::string tracks;
        int count = 0;
        MixPlanGroove planned;
        planned.fx = groove.fx;
        for (int t = 0; t < kBLEngineTracks; ++t) {
            const BLTrack& k = groove.tracks[t];
            const uint16_t id = k.group == -1 ? kBLNoSample : library.sampleId(k.group, k.slot);
            const int volume = k.volume > 127 ? 127 : k.volume;
            const int pan = 63 - (k.pan < -63 ? -63 : k.pan > 63 ? 63 : k.pan);
            MixPlanTrack& p = planned.tracks[t];
            p.sample = id == kBLNoSample ? -1 : id;
            p.volume = volume;
            p.pan = pan;
            if (k.group == -1 || (filterGroup != kBLMixAllGroups && k.group != filterGroup)) {
                if (filterGroup != kBLMixAllGroups) planned.fx.racks[t] = FxRackSettings{};
                continue;
            }
            p.line = true;
            std::snprintf(line, sizeof line, "%d %d %d%s", id == kBLNoSample ? 0 : id + 1, volume, pan,
                          "\r\n");
            tracks += line;
            ++count;
        }
        script.plan.grooves.push_back(planned);
        std::snprintf(line, sizeof line, "%d\r\n", count);
        script.text += line;
        script.text += tracks;
        if (count > 0) script.hasTrack = true;
    }
    return script;
}

bool BLMixScript_Save(const char* path, const BLMixScript& script)
{
    kelFileRec file;
    if (!KEL_FileCreateAndOpen(path, &file)) return false;
    if (!KEL_FileWrite(&file, static_cast<long>(script.text.size()), script.text.data())) {
        KEL_FileAbandon(&file);
        return false;
    }
    return KEL_FileClose(&file);
}
