// Keeping this side's beat on another's, for both links (the program's own
// and Link): where the mixer is, as a line fitted through what the idle
// passes saw, and the nudge of the mix tempo that brings its beat to the other.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

// The mixer moves in blocks at the pace of the sound card, so its position
// read at each idle pass jumps; a line through the last 600 ms of them says
// where it is between the jumps.
class BLBeatLine {
public:
    // One idle pass at `now` (ms) saw the mixer at `position` beats since
    // playing started (< 0: not playing, and the line starts over). `bpm`
    // is the slope until enough passes went in.
    void add(double now, double position, float bpm);
    void reset();
    // Enough passes for a line that holds.
    bool known() const { return known_; }
    // The beat the line puts at `at` (ms).
    double at(double when) const { return a_ + b_ * (when - origin_); }

private:
    static constexpr size_t kSamples = 600;
    std::array<std::pair<double, double>, kSamples> fit_{};
    size_t first_ = 0, count_ = 0;
    double sumT_ = 0, sumP_ = 0, sumTT_ = 0, sumTP_ = 0;
    double a_ = 0, b_ = 0;
    double origin_ = 0;
    bool known_ = false;
};

// The mix tempo is nudged (by a little, the tempo shown stays) so that this
// side's beat meets the other's, whatever the sound cards' own paces and
// however far a fresh start runs ahead. Gently: the fitted line answers a
// nudge only after a while.
class BLBeatNudge {
public:
    // `apart`: the other's beat less ours, in beats. The factor for the tempo.
    double factor(double apart);
    void reset() { integral_ = 0; }

private:
    double integral_ = 0;
};

// `beats` brought within half of `span` either side of zero.
double BLBeatWrap(double beats, double span);
