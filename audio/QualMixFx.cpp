#include "audio/QualMixFx.h"

#include <algorithm>
#include <cmath>

#include "audio/AudioFormat.h"
#include "audio/QualMix.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"
#include "audio/fx/FxRack.h"

namespace {

constexpr int kBeatsPerBlock = 32;
constexpr int kReadingSamples = 65536;

int16_t held(double v)
{
    return static_cast<int16_t>(v > 32767.0 ? 32767 : v < -32767.0 ? -32767 : static_cast<int>(v));
}

}  // namespace

QualMixFx::QualMixFx(const MixPlan* plan, int spb, int ospb, int tempo, bool keyLock)
    : plan_(plan), spb_(spb), ospb_(ospb), tempo_(tempo), keyLock_(keyLock)
{
    if (!plan || !plan->anyEffects() || spb <= 0 || ospb <= 0 || tempo <= 0) return;
    board_ = std::make_unique<FxBoard>();
    board_->resetSound(0);
    const size_t frames = static_cast<size_t>(spb) * kBeatsPerBlock;
    l_.resize(frames);
    r_.resize(frames);
    reading_.resize(kReadingSamples);
}

QualMixFx::~QualMixFx() = default;

void QualMixFx::beginBlock(int block, int lines)
{
    block_ = block;
    lineTracks_.assign(static_cast<size_t>(std::max(lines, 0)), -1);
    std::fill(std::begin(painted_), std::end(painted_), false);
    if (!board_ || block < 0 || block >= static_cast<int>(plan_->grooves.size())) return;
    const MixPlanGroove& g = plan_->grooves[static_cast<size_t>(block)];
    int k = 0;
    for (int t = 0; t < kFxTracks; ++t)
        if (g.tracks[t].line) {
            if (k < lines) lineTracks_[static_cast<size_t>(k)] = t;
            ++k;
        }
    if (k != lines) std::fill(lineTracks_.begin(), lineTracks_.end(), -1);
    // As the live chain: a track's plugin runs at the rate its song frames
    // are heard at, the main mix's at the engine's.
    const double ratio = static_cast<double>(spb_) / ospb_;
    FxUnitPlace track;
    track.pluginRate = keyLock_ ? MIXFREQ : MIXFREQ * ratio;
    const int64_t songAt = int64_t{block} * spb_ * kBeatsPerBlock;
    const int64_t heardAt = int64_t{block} * ospb_ * kBeatsPerBlock;
    for (int r = 0; r < kFxRacks; ++r)
        for (int s = 0; s < kFxSlots; ++s) {
            if (r == kFxMain && !plan_->mainEffects) continue;
            board_->set(r, s, g.fx.racks[r].slots[s], r == kFxMain ? heardAt : songAt,
                        r == kFxMain ? FxUnitPlace{} : track);
        }
    board_->service();
}

int QualMixFx::trackOfLine(int k) const
{
    return k >= 0 && k < static_cast<int>(lineTracks_.size()) ? lineTracks_[static_cast<size_t>(k)] : -1;
}

bool QualMixFx::hasEffects(int track)
{
    return board_ && track >= 0 && track < kFxTracks && board_->rack(track).busy();
}

void QualMixFx::paintTrack(int track, int sample, int volume, int pan, int16_t* groove)
{
    if (!hasEffects(track)) return;
    const int64_t end = int64_t{spb_} * kBeatsPerBlock;
    std::fill(l_.begin(), l_.end(), 0.0f);
    std::fill(r_.begin(), r_.end(), 0.0f);
    char path[kVTrackPathSize];
    int32_t beats = 0, extraBeats = 0;
    int channels = 0, frames = 0;
    void* file = F_NOFILE;
    if (sample >= 0 && sample < NumVTracks && VTrackLoop(sample, path, &beats, &extraBeats))
        file = OpenWave(path, &channels, &frames);
    if (file != F_NOFILE) {
        // The loop as it is, every turn of it within the block.
        const int64_t period = int64_t{spb_} * std::max(beats, 1);
        const int64_t first = int64_t{spb_} * std::max(extraBeats, 0);
        const int chunkFrames = kReadingSamples / channels;
        int64_t consumed = 0;
        while (consumed < frames && first + consumed < end) {
            const int want = static_cast<int>(std::min<int64_t>(chunkFrames, frames - consumed));
            const int got = F_read(file, reading_.data(), want * channels * 2) / (channels * 2);
            if (got <= 0) break;
            for (int64_t s = first; s + consumed < end; s += period)
                for (int i = 0; i < got && s + consumed + i < end; ++i) {
                    const size_t at = static_cast<size_t>(s + consumed + i);
                    const int16_t* f = reading_.data() + static_cast<size_t>(i * channels);
                    l_[at] = f[0] * (1.0f / 32768.0f);
                    r_[at] = f[channels == 1 ? 0 : 1] * (1.0f / 32768.0f);
                }
            consumed += got;
        }
        F_close(file);
    }
    const double ratio = static_cast<double>(spb_) / ospb_;
    FxContext c;
    c.framesPerBeat = spb_;
    c.timeRate = MIXFREQ * ratio;
    c.freqRate = keyLock_ ? MIXFREQ : MIXFREQ * ratio;
    const int64_t songAt = int64_t{block_} * spb_ * kBeatsPerBlock;
    FxRack& rack = board_->rack(track);
    for (int64_t at = 0; at < end; at += kFxMaxBlock) {
        const int n = static_cast<int>(std::min<int64_t>(kFxMaxBlock, end - at));
        rack.runFrom(l_.data() + at, r_.data() + at, n, c, songAt + at);
    }
    if (sample >= 0) {
        const int v = std::clamp(volume, 0, 127);
        const int p = std::clamp(pan, 0, 127);
        gainLeft_[track] = p > 63 ? 64 * v : p * v;
        gainRight_[track] = p > 63 ? (127 - p) * v : 64 * v;
    }
    // A gain of left / 16384 as the mixdown's quotients have it, in 16-bit units.
    const double gl = gainLeft_[track] * (32768.0 / 16384.0);
    const double gr = gainRight_[track] * (32768.0 / 16384.0);
    for (int64_t i = 0; i < end; ++i) {
        groove[2 * i] = held(groove[2 * i] + static_cast<double>(l_[static_cast<size_t>(i)]) * gl);
        groove[2 * i + 1] = held(groove[2 * i + 1] + static_cast<double>(r_[static_cast<size_t>(i)]) * gr);
    }
    painted_[track] = true;
}

void QualMixFx::paintTails(int16_t* groove)
{
    for (int t = 0; t < kFxTracks; ++t)
        if (!painted_[t] && hasEffects(t)) paintTrack(t, -1, 0, 63, groove);
}

const int16_t* QualMixFx::main(const int16_t* frames, int count, int64_t at)
{
    if (!board_ || !plan_->mainEffects || !board_->rack(kFxMain).busy()) return frames;
    if (out_.size() < static_cast<size_t>(count) * 2) out_.resize(static_cast<size_t>(count) * 2);
    FxContext c;
    c.framesPerBeat = MIXFREQ * 60.0 / tempo_;
    c.freqRate = c.timeRate = MIXFREQ;
    float l[kFxMaxBlock], r[kFxMaxBlock];
    FxRack& rack = board_->rack(kFxMain);
    for (int done = 0; done < count;) {
        const int n = std::min(kFxMaxBlock, count - done);
        for (int i = 0; i < n; ++i) {
            l[i] = frames[2 * (done + i)] * (1.0f / 32768.0f);
            r[i] = frames[2 * (done + i) + 1] * (1.0f / 32768.0f);
        }
        rack.runFrom(l, r, n, c, at + done);
        for (int i = 0; i < n; ++i) {
            out_[2 * static_cast<size_t>(done + i)] = held(l[i] * 32768.0);
            out_[2 * static_cast<size_t>(done + i) + 1] = held(r[i] * 32768.0);
        }
        done += n;
    }
    board_->service();
    return out_.data();
}
