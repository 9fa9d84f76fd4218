// A take played again: the engine as it was when recording began, then each
// of its calls at its output frame, through the same engine calls.
#pragma once

#include <cstddef>
#include <cstdint>

#include "audio/LiveMix.h"
#include "library/BLEngineCalls.h"
#include "library/BLTake.h"

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
