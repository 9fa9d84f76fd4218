#include "library/BLWorkChange.h"

#include <cstring>
#include <memory>

#include "library/BLDocument.h"
#include "library/BLSynthIce.h"

namespace {

struct Decoded {
    BLIceimage ice;
    BLSynthDefaultDocument synth;
    BLWorkExtras extras;
    bool read = false;
};

std::unique_ptr<Decoded> decode(const std::vector<uint8_t>& bytes)
{
    auto d = std::make_unique<Decoded>();
    d->read = BLDocument_Decode(bytes, &d->ice, &d->synth, &d->extras).status == BLDocumentRead::read;
    return d;
}

bool sameSequence(const BLSequence& a, const BLSequence& b)
{
    if (a.length != b.length || a.userLength != b.userLength) return false;
    for (int i = 0; i < a.length; ++i)
        if (a.entries[i] != b.entries[i]) return false;
    return true;
}

bool sameGrooves(const BLSequence& a, const BLSequence& b)
{
    if (a.count != b.count) return false;
    for (int i = 0; i < a.count; ++i)
        if (!(a.grooves[i] == b.grooves[i])) return false;
    return true;
}

BLWorkChange groovesChange(const BLSequence& a, const BLSequence& b)
{
    if (b.count == a.count + 1) return {BLWorkChange::grooveAdded};
    if (b.count + 1 == a.count) return {BLWorkChange::grooveRemoved};
    if (b.count != a.count) return {BLWorkChange::grooves};
    int changed = 0;
    for (int i = 0; i < a.count; ++i)
        if (!(a.grooves[i] == b.grooves[i])) ++changed;
    return {changed == 1 ? BLWorkChange::grooveRewritten : BLWorkChange::grooves};
}

// The current groove: one track's loop, volume or pan, or several tracks.
BLWorkChange grooveChange(const BLGroove& a, const BLGroove& b)
{
    BLWorkChange found;
    for (int16_t t = 0; t < kBLGrooveTracks; ++t) {
        const BLTrack& x = a.tracks[t];
        const BLTrack& y = b.tracks[t];
        if (x == y) continue;
        if (found.kind != BLWorkChange::none) return {BLWorkChange::groove};
        if (x.group != y.group || x.slot != y.slot)
            found = {BLWorkChange::loop, t};
        else if (x.volume != y.volume && x.pan == y.pan)
            found = {BLWorkChange::volume, t};
        else if (x.pan != y.pan && x.volume == y.volume)
            found = {BLWorkChange::pan, t};
        else
            found = {BLWorkChange::groove};
    }
    return found;
}

// Lights and keep marks of one track or of several alike; the modes and the
// tracks they take otherwise.
BLWorkChange extrasChange(const BLWorkExtras& a, const BLWorkExtras& b)
{
    if (a.soloMode != b.soloMode || a.groupMode != b.groupMode || a.allMode != b.allMode)
        return {BLWorkChange::modes};
    int lights = 0, keeps = 0, others = 0;
    int16_t last = -1;
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
        const BLWorkExtras::Track& x = a.tracks[t];
        const BLWorkExtras::Track& y = b.tracks[t];
        if (x == y) continue;
        last = t;
        if (x.grouped != y.grouped)
            ++others;
        else if (x.keep != y.keep && x.on == y.on && x.soloOn == y.soloOn)
            ++keeps;
        else if (x.keep == y.keep)
            ++lights;
        else
            ++others;
    }
    if (others > 0 || (lights > 0 && keeps > 0)) return {BLWorkChange::modes};
    if (lights > 0) return {BLWorkChange::light, lights == 1 ? last : int16_t{-1}};
    if (keeps > 0) return {BLWorkChange::keep, keeps == 1 ? last : int16_t{-1}};
    return {};
}

}  // namespace

BLWorkChange BLWork_Describe(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after)
{
    if (before == after) return {};
    const std::unique_ptr<Decoded> a = decode(before), b = decode(after);
    if (!a->read || !b->read) return {BLWorkChange::work};
    if (std::strcmp(a->ice.songName, b->ice.songName) != 0) return {BLWorkChange::song};
    if (!sameGrooves(a->ice.sequence, b->ice.sequence))
        return groovesChange(a->ice.sequence, b->ice.sequence);
    if (!sameSequence(a->ice.sequence, b->ice.sequence)) return {BLWorkChange::sequence};
    if (BLWorkChange g = grooveChange(a->ice.groove, b->ice.groove); g.kind != BLWorkChange::none) return g;
    if (!(a->ice.groove.fx == b->ice.groove.fx)) {
        BLWorkChange fx{BLWorkChange::effects};
        for (int16_t r = 0; r < kFxRacks; ++r) {
            if (a->ice.groove.fx.racks[r] == b->ice.groove.fx.racks[r]) continue;
            fx.track = fx.track == -1 ? r : int16_t{-2};
        }
        if (fx.track == -2) fx.track = -1;
        return fx;
    }
    if (BLWorkChange x = extrasChange(a->extras, b->extras); x.kind != BLWorkChange::none) return x;
    if (a->ice.bpm != b->ice.bpm) return {BLWorkChange::tempo};
    if (a->extras.keyLock != b->extras.keyLock) return {BLWorkChange::keyLock};
    if (!(a->synth.state == b->synth.state)) return {BLWorkChange::synth};
    const BLWorkExtras &x = a->extras, &y = b->extras;
    if (x.userLoop != y.userLoop || x.userLoopHeard != y.userLoopHeard || x.userLoopFile != y.userLoopFile ||
        x.userLoopName != y.userLoopName || std::memcmp(x.tunerKnobs, y.tunerKnobs, sizeof x.tunerKnobs) != 0)
        return {BLWorkChange::userLoop};
    if (a->ice.selectedTrack != b->ice.selectedTrack) return {BLWorkChange::selection};
    return {BLWorkChange::work};
}
