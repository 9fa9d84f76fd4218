// The tracks: loops and groups, muting and selection, the solo, group and
// all modes, volume and pan, keeping, emptying and the random grooves.
#include <algorithm>

#include "control/BLGrooveAct.h"
#include "control/BLGrooveController.h"
#include "core/kelCore.h"
#include "library/BLprefs.h"

namespace {

int16_t clampVolume(int v)
{
    return static_cast<int16_t>(std::clamp(v, 0, 127));
}

int16_t clampPan(int v)
{
    return static_cast<int16_t>(std::clamp(v, -63, 63));
}

bool isTrack(int16_t t)
{
    return t >= 0 && t < kBLEngineTracks;
}

}  // namespace

bool BLGrooveController::affected(int16_t t) const
{
    if (!isTrack(t)) return false;
    if (allMode) return true;
    if (groupMode) return tracks[t].groupSelected;
    return t == model.selectedTrack;
}

int16_t BLGrooveController::trackWaitBeats(int16_t t)
{
    return player().playing && isTrack(t) ? engine().trackWaitBeats(t) : int16_t{0};
}

// ---- Loops ------------------------------------------------------------------------------

void BLGrooveController::chooseGroup(int16_t t, int16_t group, BLOrigin from)
{
    if (!isTrack(t)) return;
    Act act(*this, from);
    if (group < -1 || group >= model.library().groupCount) group = -1;
    BLTrack& k = model.current.tracks[t];
    model.modified = true;
    if (group == k.group) return;
    // The loop menu shows the group's first loop, and that is what the track
    // plays from the next boundary on: the menus, the lamp and the sound
    // agree. A group without loops (or none) leaves the track silent.
    const bool hasLoop = group >= 0 && model.library().groups[group].count > 0;
    k.group = group;
    k.slot = hasLoop ? 0 : -1;
    if (hasLoop) model.chooseLoop(t, group, 0);
    model.sampleIds[t] = model.trackSampleId(t);
    userChangedTrack(t);
    model.groove_launch(t);
    display().waitShown();
    told({BLGrooveChange::Kind::loop, t, k.group, k.slot});
    display().trackShown(t);
}

void BLGrooveController::chooseLoop(int16_t t, int16_t slot, BLOrigin from)
{
    if (!isTrack(t)) return;
    BLTrack& k = model.current.tracks[t];
    if (k.group < 0 || slot < 0 || slot >= model.library().groups[k.group].count) return;
    Act act(*this, from);
    model.chooseLoop(t, k.group, slot);
    userChangedTrack(t);
    model.groove_launch(t);
    display().waitShown();
    told({BLGrooveChange::Kind::loop, t, k.group, k.slot});
    display().trackShown(t);
}

void BLGrooveController::stepGroup(int16_t t, int16_t step, BLOrigin from)
{
    if (!isTrack(t)) return;
    const int16_t g = static_cast<int16_t>(model.current.tracks[t].group + step);
    if (g >= -1 && g < model.library().groupCount) chooseGroup(t, g, from);
}

void BLGrooveController::stepLoop(int16_t t, int16_t step, BLOrigin from)
{
    if (!isTrack(t)) return;
    chooseLoop(t, static_cast<int16_t>(model.current.tracks[t].slot + step), from);
}

// A loop chosen by the user brings its own volume and pan; in group and all
// mode they become the track's base, and the relative controls act on it.
void BLGrooveController::userChangedTrack(int16_t t)
{
    BLTrack& k = model.current.tracks[t];
    const BLSongLibrary& lib = model.library();
    if (lib.hasSlot(k.group, k.slot)) {
        k.volume = static_cast<uint16_t>(clampVolume(lib.groups[k.group].volume[k.slot]));
        k.pan = clampPan(lib.groups[k.group].pan[k.slot] - 63);
        if (groupMode || allMode) {
            tracks[t].baseVolume = static_cast<int16_t>(k.volume);
            tracks[t].basePan = k.pan;
            if (affected(t)) {
                k.volume = static_cast<uint16_t>(clampVolume(tracks[t].baseVolume + 2 * (volumeValue - 64)));
                k.pan = clampPan(tracks[t].basePan + 2 * panValue);
            }
        }
    }
    display().trackShown(t);
    if (t == model.selectedTrack) trackSelectionChanged();
}

void BLGrooveController::enableTrack(int16_t t, bool on)
{
    if (!isTrack(t)) return;
    model.audible[t] = on;
    model.sampleIds[t] = model.trackSampleId(t);
    const uint16_t id = model.sampleIds[t];
    if (on && id != kBLNoSample) {
        const BLTrack& k = model.current.tracks[t];
        engine().setTrackSample(t, static_cast<short>(id));
        engine().setTrackVolume(t, static_cast<short>(k.volume));
        engine().setTrackPan(t, k.pan);
    } else {
        engine().setTrackSample(t, -1);
    }
    told({BLGrooveChange::Kind::audible, t, static_cast<int16_t>(on ? 1 : 0)});
    display().trackShown(t);
}

// ---- Muting and selection ----------------------------------------------------------------

void BLGrooveController::toggleMute(int16_t t, BLOrigin from)
{
    if (!isTrack(t)) return;
    Act act(*this, from);
    model.modified = true;
    bool state;
    if (soloMode) {
        soloApplied = false;
        state = tracks[t].soloOn = !tracks[t].soloOn;
    } else {
        state = tracks[t].on = !tracks[t].on;
    }
    enableTrack(t, state);
    if ((groupMode || allMode) && affected(t))
        for (int16_t u = 0; u < kBLEngineTracks; ++u) {
            if (u == t || !affected(u)) continue;
            (soloMode ? tracks[u].soloOn : tracks[u].on) = state;
            enableTrack(u, state);
        }
    if (soloMode && !groupMode && !allMode && model.audible[t] && t != model.selectedTrack)
        model.selectTrack(t);
}

void BLGrooveController::setAudible(int16_t t, bool on, BLOrigin from)
{
    if (!isTrack(t) || model.audible[t] == on) return;
    Act act(*this, from);
    (soloMode ? tracks[t].soloOn : tracks[t].on) = on;
    enableTrack(t, on);
}

void BLGrooveController::selectTrack(int16_t t, BLOrigin from)
{
    if (!isTrack(t)) return;
    Act act(*this, from);
    if (groupMode) {
        tracks[t].groupSelected = !tracks[t].groupSelected;
        if (soloMode) {
            tracks[t].soloOn = tracks[t].groupSelected;
            enableTrack(t, tracks[t].soloOn);
        }
        if (tracks[t].groupSelected) {
            tracks[t].baseVolume = static_cast<int16_t>(model.current.tracks[t].volume);
            tracks[t].basePan = model.current.tracks[t].pan;
        }
        display().modesShown();
        told({BLGrooveChange::Kind::modes});
        return;
    }
    setAllMode(false, from);
    const int16_t old = model.selectedTrack;
    model.selectTrack(t);
    if (soloMode && old != t) {
        if (isTrack(old)) {
            tracks[old].soloOn = false;
            enableTrack(old, false);
        }
        tracks[t].soloOn = true;
        enableTrack(t, true);
    }
    told({BLGrooveChange::Kind::selection, t});
}

void BLGrooveController::trackSelectionChanged()
{
    const int16_t s = model.selectedTrack;
    if (!groupMode && !allMode && isTrack(s)) {
        const BLTrack& k = model.current.tracks[s];
        volumeValue = clampVolume(k.volume);
        panValue = clampPan(k.pan);
    }
    display().selectionShown();
}

// ---- Modes ----------------------------------------------------------------------------------

// The relative controls' starting point: every track's values become its base.
void BLGrooveController::takeBases()
{
    for (int16_t t = 0; t < kBLGrooveTracks; ++t) {
        tracks[t].baseVolume = static_cast<int16_t>(model.current.tracks[t].volume);
        tracks[t].basePan = model.current.tracks[t].pan;
    }
}

void BLGrooveController::setSoloMode(bool on, BLOrigin from)
{
    if (soloMode == on) return;
    Act act(*this, from);
    soloMode = on;
    if (on) {
        for (int16_t t = 0; t < kBLGrooveTracks; ++t) tracks[t].soloOn = affected(t);
        for (int16_t t = 0; t < kBLEngineTracks; ++t) enableTrack(t, tracks[t].soloOn);
        soloApplied = true;
    } else {
        soloApplied = false;
        for (int16_t t = 0; t < kBLEngineTracks; ++t) enableTrack(t, tracks[t].on);
    }
    display().modesShown();
    told({BLGrooveChange::Kind::modes});
}

// Group and all mode share the relative controls: switched on, they start at
// no change, and every track's values become its base.
void BLGrooveController::relativeModeChanged(bool on)
{
    if (on) {
        volumeValue = 64;
        panValue = 0;
        takeBases();
    }
    if (soloApplied) {
        // The solo follows the new set of affected tracks.
        soloMode = false;
        setSoloMode(true, acting);
    }
    display().modesShown();
    trackSelectionChanged();
    told({BLGrooveChange::Kind::modes});
}

void BLGrooveController::setGroupMode(bool on, BLOrigin from)
{
    if (groupMode == on) return;
    Act act(*this, from);
    groupMode = on;
    relativeModeChanged(on);
}

void BLGrooveController::setAllMode(bool on, BLOrigin from)
{
    if (allMode == on) return;
    Act act(*this, from);
    allMode = on;
    relativeModeChanged(on);
}

void BLGrooveController::toggleGroupMode(BLOrigin from)
{
    Act act(*this, from);
    setAllMode(false, from);
    setGroupMode(!groupMode, from);
}

void BLGrooveController::toggleAllMode(BLOrigin from)
{
    Act act(*this, from);
    setGroupMode(false, from);
    setAllMode(!allMode, from);
}

void BLGrooveController::restoreTracks()
{
    soloMode = groupMode = allMode = soloApplied = false;
    for (Track& t : tracks) t.on = true;
    display().modesShown();
}

void BLGrooveController::modesOff()
{
    soloMode = groupMode = allMode = soloApplied = false;
    display().modesShown();
}

// ---- Volume and pan ---------------------------------------------------------------------------

void BLGrooveController::withSyncOff(const std::function<void()>& change)
{
    const bool sync = model.syncMode;
    if (sync) engine().sync_atGrooveSet(0);
    change();
    if (sync) engine().sync_atGrooveSet(1);
}

void BLGrooveController::setVolume(int16_t value, BLOrigin from)
{
    Act act(*this, from);
    model.modified = true;
    volumeValue = clampVolume(value);
    withSyncOff([this] {
        if (groupMode || allMode) return applyRelative(true, false);
        const int16_t s = model.selectedTrack;
        if (!isTrack(s)) return;
        model.current.tracks[s].volume = static_cast<uint16_t>(volumeValue);
        engine().setTrackVolume(s, volumeValue);
        told({BLGrooveChange::Kind::volume, s, volumeValue});
    });
    display().controlsShown();
}

void BLGrooveController::setPan(int16_t value, BLOrigin from)
{
    Act act(*this, from);
    model.modified = true;
    panValue = clampPan(value);
    withSyncOff([this] {
        if (groupMode || allMode) return applyRelative(false, true);
        const int16_t s = model.selectedTrack;
        if (!isTrack(s)) return;
        model.current.tracks[s].pan = panValue;
        engine().setTrackPan(s, panValue);
        told({BLGrooveChange::Kind::pan, s, panValue});
    });
    display().controlsShown();
}

void BLGrooveController::applyRelative(bool volumeChanged, bool panChanged)
{
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
        if (!affected(t)) continue;
        BLTrack& k = model.current.tracks[t];
        if (volumeChanged) {
            k.volume = static_cast<uint16_t>(clampVolume(tracks[t].baseVolume + 2 * (volumeValue - 64)));
            engine().setTrackVolume(t, static_cast<short>(k.volume));
            told({BLGrooveChange::Kind::volume, t, static_cast<int16_t>(k.volume)});
        }
        if (panChanged) {
            k.pan = clampPan(tracks[t].basePan + 2 * panValue);
            engine().setTrackPan(t, k.pan);
            told({BLGrooveChange::Kind::pan, t, k.pan});
        }
    }
}

void BLGrooveController::setTrackVolume(int16_t t, int16_t volume, BLOrigin from)
{
    if (!isTrack(t)) return;
    // The track the controls show: as if its control moved.
    if (!groupMode && !allMode && t == model.selectedTrack) return setVolume(volume, from);
    Act act(*this, from);
    model.modified = true;
    const int16_t v = clampVolume(volume);
    withSyncOff([&] {
        model.current.tracks[t].volume = static_cast<uint16_t>(v);
        // In group and all mode the relative control goes on from here.
        tracks[t].baseVolume = static_cast<int16_t>(v - 2 * (volumeValue - 64));
        engine().setTrackVolume(t, v);
        told({BLGrooveChange::Kind::volume, t, v});
    });
}

void BLGrooveController::setTrackPan(int16_t t, int16_t pan, BLOrigin from)
{
    if (!isTrack(t)) return;
    if (!groupMode && !allMode && t == model.selectedTrack) return setPan(pan, from);
    Act act(*this, from);
    model.modified = true;
    const int16_t p = clampPan(pan);
    withSyncOff([&] {
        model.current.tracks[t].pan = p;
        tracks[t].basePan = static_cast<int16_t>(p - 2 * panValue);
        engine().setTrackPan(t, p);
        told({BLGrooveChange::Kind::pan, t, p});
    });
}

// ---- Keep and empty ------------------------------------------------------------------------------

void BLGrooveController::recountKept()
{
    keptCount = 0;
    for (int16_t t = 0; t < kBLEngineTracks; ++t)
        if (tracks[t].keep) ++keptCount;
}

void BLGrooveController::toggleKeep(int16_t t, BLOrigin from)
{
    if (t == -1) t = model.selectedTrack;
    if (!isTrack(t)) return;
    Act act(*this, from);
    const bool keep = tracks[t].keep = !tracks[t].keep;
    if ((groupMode || allMode) && affected(t))
        for (int16_t u = 0; u < kBLEngineTracks; ++u)
            if (affected(u)) tracks[u].keep = keep;
    recountKept();
    display().lampsShown();
    told({BLGrooveChange::Kind::keep, t, static_cast<int16_t>(keep ? 1 : 0)});
}

void BLGrooveController::empty(BLOrigin from)
{
    Act act(*this, from);
    model.modified = true;
    withSyncOff([this] {
        const bool many = groupMode || allMode;
        if (many) engine().changesBegin();
        for (int16_t t = 0; t < kBLEngineTracks; ++t) {
            if (!affected(t)) continue;
            model.current.tracks[t].group = -1;
            engine().setTrackSample(t, -1);
            told({BLGrooveChange::Kind::loop, t, -1, model.current.tracks[t].slot});
        }
        if (many) engine().changesEnd();
        for (int16_t t = 0; t < kBLEngineTracks; ++t) {
            model.sampleIds[t] = model.trackSampleId(t);
            display().trackShown(t);
        }
    });
}

// ---- Random grooves -------------------------------------------------------------------------------

void BLGrooveController::randomize(int16_t r, BLOrigin from)
{
    if (r < 0 || r > 3) return;
    Act act(*this, from);
    const BLSongLibrary& lib = model.library();
    model.modified = true;
    currentRandomSet = r;
    display().randomShown(r, true);
    const int16_t level = std::clamp<int16_t>(blPrefs.randomLevels[r], 0, kBLEngineTracks);
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
        if (tracks[t].keep) continue;
        BLTrack& k = model.current.tracks[t];
        int16_t group = -1;
        int16_t slot = k.slot;
        if (r < lib.randomSetCount) {
            const BLRandomSet& set = lib.randomSets[r];
            if (t < set.count && t < level) {
                group = set.groups[t];
                if (group == -1 && lib.groupCount > 0)
                    group = static_cast<int16_t>(KEL_Random(static_cast<uint16_t>(lib.groupCount)));
            }
        } else if (t < lib.groupCount) {
            group = t;
        }
        // A group without a loop that can be played (declared without loops,
        // or with files that cannot be read) leaves the track empty.
        int16_t playable = 0;
        for (int16_t s = 0; group >= 0 && group < lib.groupCount && s < lib.groups[group].count; ++s)
            if (lib.sampleId(group, s) != kBLNoSample) ++playable;
        if (playable == 0) {
            k.group = -1;
            continue;
        }
        int16_t pick = static_cast<int16_t>(KEL_Random(static_cast<uint16_t>(playable)));
        for (slot = 0; lib.sampleId(group, slot) == kBLNoSample || pick-- > 0; ++slot) {
        }
        k.group = group;
        k.slot = slot;
        k.volume = static_cast<uint16_t>(clampVolume(lib.groups[group].volume[slot]));
        k.pan = clampPan(lib.groups[group].pan[slot] - 63);
    }
    model.groove_activateAndShow();
    told({BLGrooveChange::Kind::groove});
    display().randomShown(r, false);
}

// ---- The model's view ---------------------------------------------------------------------------------

void BLGrooveController::showGroove()
{
    display().grooveShown();
    trackSelectionChanged();
}

void BLGrooveController::showSelectedTrack()
{
    trackSelectionChanged();
}

void BLGrooveController::trackSelected()
{
    trackSelectionChanged();
}
