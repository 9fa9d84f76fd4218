#include "library/BLTakeConvert.h"

#include <algorithm>
#include <cmath>

std::vector<BLTakeCycle> BLTakeConversion::distinct() const
{
    std::vector<BLTakeCycle> out;
    for (const BLTakeCycle& c : cycles)
        if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
    return out;
}

BLTakeConversion BLTake_Convert(const BLTake& take, int64_t cycleFrames)
{
    using Op = BLTakeCall::Op;
    BLTakeConversion out;
    out.changes = BLTake_Changes(take);
    const BLTakeStart& s = take.start;
    out.bpm = s.bpm;
    out.fx = s.fx;
    BLTakeCycle now;
    if (s.playing)
        for (int t = 0; t < kBLTakeTracks; ++t) {
            now.samples[t] = s.samples[t];
            now.volumes[t] = s.volumes[t];
            now.pans[t] = s.pans[t];
        }
    if (cycleFrames <= 0 || out.bpm <= 0) {
        out.lost = out.changes;
        return out;
    }
    // Cycles of output frames at the starting tempo: the take's length.
    const double outputCycle = 32.0 * 44100.0 * 60.0 / out.bpm;
    const auto cycles =
        static_cast<int64_t>(std::ceil(static_cast<double>(take.frames) / outputCycle - 1e-9));
    const int64_t kept = std::min<int64_t>(cycles, kBLMaxSequence);
    out.cyclesLost = static_cast<int>(cycles - kept);
    // Song frames are counted from the take's own start.
    const int64_t origin = s.playing ? s.songFrame : 0;
    size_t i = 0;
    const std::vector<BLTakeCall>& calls = take.calls;
    for (int64_t k = 0; k < kept; ++k) {
        const int64_t boundary = k * cycleFrames;
        for (; i < calls.size(); ++i) {
            const BLTakeCall& c = calls[i];
            // Before the first sound everything is the start.
            const bool atStart = c.at <= 0;
            const int64_t heard = atStart ? 0 : c.heard - origin;
            if (!atStart && heard > boundary) break;
            const bool onBoundary = atStart || heard == boundary;
            const bool track = c.a >= 0 && c.a < kBLTakeTracks;
            switch (c.op) {
                case Op::changesBegin:
                case Op::changesEnd:
                case Op::play:
                case Op::stop:
                case Op::sync: break;
                case Op::trackSample:
                case Op::trackVolume:
                case Op::trackPan:
                    if (!onBoundary || !track) {
                        ++out.lost;
                        break;
                    }
                    if (c.op == Op::trackSample) now.samples[c.a] = c.b;
                    if (c.op == Op::trackVolume) now.volumes[c.a] = c.b;
                    if (c.op == Op::trackPan) now.pans[c.a] = c.b;
                    break;
                case Op::mixerBpm:
                    if (atStart)
                        out.bpm = c.value;
                    else if (c.value != out.bpm)
                        ++out.lost;
                    break;
                case Op::effects: {
                    FxSetup fx;
                    if (atStart && BLTake_DecodeEffects(c.data, fx))
                        out.fx = fx;
                    else
                        ++out.lost;
                    break;
                }
                default:
                    if (!atStart) ++out.lost;
                    break;
            }
        }
        out.cycles.push_back(now);
    }
    // The changes after the last cycle kept.
    for (; i < calls.size(); ++i) {
        const Op op = calls[i].op;
        if (op != Op::changesBegin && op != Op::changesEnd && op != Op::play && op != Op::stop &&
            op != Op::sync)
            ++out.lost;
    }
    return out;
}
