// A take played again: the engine as it was when recording began, then each
// of its calls at its output frame, through the same engine calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "audio/LiveMix.h"
#include "library/BLEngineCalls.h"
#include "library/BLTake.h"

class BLSongLibrary;

// The song (the library's, in its kel folder) opened into the live chain's
// own engine: armed at its tempo, its loops in memory as the program plays them.
void BLTake_OpenSong(LiveMix& live, BLSongLibrary& library, const std::string& folder);
// The take mixed by the live chain run offline into the WAV at the kel
// path, as it was heard. A kQualMix result.
int BLTake_Render(const BLTake& take, BLSongLibrary& library, const std::string& folder,
                  const std::string& wav, const std::function<void(float)>& progress = {},
                  const std::function<bool()>& stop = {});

// The engine's settings as the take began (its loops too when it began
// while playing: they start with a play of their own).
void BLTake_Begin(const BLTake& take, BLEngineCalls& engine);
// One call as it was made.
void BLTake_Apply(const BLTakeCall& call, BLEngineCalls& engine);

// The take as a script of the live chain run offline: begun at frame 0, the
// take's own first frame `lead` frames in.
class BLTakeScript : public LiveScript {
public:
    BLTakeScript(const BLTake& t, BLEngineCalls& e) : take(t), engine(e) {}
    int64_t lead() override;
    int64_t next() override;
    void apply(int64_t frame) override;

private:
    const BLTake& take;
    BLEngineCalls& engine;
    bool begun = false;
    size_t at = 0;
};
