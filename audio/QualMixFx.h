// The effects of a mixdown, the live chain's own: each track's on the
// song's timeline before its volume and pan, the main mix's on the frames
// as they are written (after the tempo), groove by groove as the plan has
// them, one running unit a slot across the whole render as in the live mix.
// The mixdown keeps its own 16-bit sums: a track's effects are added into
// them, held to 16 bits, as its loop is.
//
// Threads: the render's (the main thread).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/MixPlan.h"

class FxBoard;

class QualMixFx {
public:
    // spb, ospb: frames a beat at the song's tempo and at the mix's; tempo
    // the mix's in BPM. Without a plan, or one without effects, nothing runs.
    QualMixFx(const MixPlan* plan, int spb, int ospb, int tempo, bool keyLock);
    ~QualMixFx();
    bool active() const { return board_ != nullptr; }

    // Block `block` of the script, with `lines` track lines: its effects set
    // from its first frame on. Line k's track, -1 when the block's lines are
    // not the plan's.
    void beginBlock(int block, int lines);
    int trackOfLine(int k) const;
    // Whether the track has effects running (its line is painted here).
    bool hasEffects(int track);
    // Paints the track's loop (sample, volume already scaled, pan 0..127)
    // through its effects into the block's 32 beats of groove frames; with
    // sample -1, what its effects still ring of.
    void paintTrack(int track, int sample, int volume, int pan, int16_t* groove);
    // Every track with effects and no line in this block: its tail.
    void paintTails(int16_t* groove);
    // The main mix's effects over `count` frames about to be written from
    // output frame `at`; the frames to write instead (frames itself when
    // there are none).
    const int16_t* main(const int16_t* frames, int count, int64_t at);

private:
    const MixPlan* plan_;
    int spb_, ospb_, tempo_;
    bool keyLock_;
    std::unique_ptr<FxBoard> board_;
    int block_ = -1;
    std::vector<int> lineTracks_;
    bool painted_[kFxTracks] = {};
    int gainLeft_[kFxTracks] = {}, gainRight_[kFxTracks] = {};
    std::vector<float> l_, r_;
    std::vector<int16_t> reading_;
    std::vector<int16_t> out_;
};
