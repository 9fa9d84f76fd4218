// The tracks: lights, selection, the menus, volume and pan, the solo, group
// and all modes, keeping, emptying and the random grooves.
#include <algorithm>
#include <cstdio>

#include "core/kelCore.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/groove/BLGroovePanelParts.h"
#include "ui/PWpopup.h"

namespace gi = grooveitem;

namespace {

int16_t clampVolume(int v) { return static_cast<int16_t>(std::clamp(v, 0, 127)); }
int16_t clampPan(int v) { return static_cast<int16_t>(std::clamp(v, -63, 63)); }

// The track colours of the loop menus (15-bit pixels): red when the track
// is silent, grey-blue when heard; brighter for the selected track, and in
// the blink phase of kept tracks.
constexpr int16_t kColourSilentBlinkSelected = 0x7C00;
constexpr int16_t kColourSilentBlink = 0x2C00;
constexpr int16_t kColourSilentSelected = 0x3C00;
constexpr int16_t kColourSilent = 0x1C00;
constexpr int16_t kColourHeardBlinkSelected = 0x016F;
constexpr int16_t kColourHeardBlink = 0x0C63;
constexpr int16_t kColourHeardSelected = 0x00EF;
constexpr int16_t kColourHeard = 0x0421;

}  // namespace

bool BLGroovePanel::affected(int16_t t) const
{
    if (t < 0 || t >= gi::kTracks) return false;
    if (allMode) return true;
    if (groupMode) return tracks[t].groupSelected;
    return t == model.selectedTrack;
}

// ---- Lights and colours ---------------------------------------------------------

int16_t BLGroovePanel::trackLedImage(int16_t t) const
{
    // A change waiting for its boundary: the lamp dims under the beats left.
    if (t < kBLEngineTracks && waitBeats[t] > 0) return 1;
    if (model.sampleIds[t] == kBLNoSample) return 1;
    if (!soloMode) return tracks[t].on ? 2 : 3;
    return tracks[t].soloOn ? 4 : 3;
}

int16_t BLGroovePanel::trackLedLevel(int16_t t) const
{
    return tracks[t].keep && blinkPhase ? 127 : 255;
}

int16_t BLGroovePanel::sampColor(int16_t t) const
{
    const bool selected = t == model.selectedTrack;
    const bool heard = model.audible[t];
    if (blinkPhase && tracks[t].keep) {
        if (heard) return selected ? kColourHeardBlinkSelected : kColourHeardBlink;
        return selected ? kColourSilentBlinkSelected : kColourSilentBlink;
    }
    if (heard) return selected ? kColourHeardSelected : kColourHeard;
    return selected ? kColourSilentSelected : kColourSilent;
}

void BLGroovePanel::adjustTrackLed(int16_t t)
{
    if (t < 0 || t >= gi::kTracks) return;
    if (kelPanelControl* c = control(gi::trackLight[t])) {
        c->setValue(kelPropImageIndex, trackLedImage(t));
        c->setValue(kelPropLevel, trackLedLevel(t));
    }
}

void BLGroovePanel::adjustSampColor(int16_t t)
{
    if (t < 0 || t >= gi::kTracks) return;
    const int16_t colour = sampColor(t);
    for (int16_t item : {gi::groupMenu[t], gi::loopMenu[t]})
        if (kelPanelControl* c = control(item)) {
            c->setValue(kelPropFill, int16_t{1});
            c->setValue(kelPropFillColour, colour);
            c->draw();
        }
}

void BLGroovePanel::refreshAllLights()
{
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        adjustTrackLed(t);
        adjustSampColor(t);
    }
    showKeep();
}

// ---- Menus ------------------------------------------------------------------------

void BLGroovePanel::fillMenus(int16_t t)
{
    const BLSongLibrary& lib = model.library();
    const BLTrack& k = model.current.tracks[t];
    if (auto* g = dynamic_cast<PWpopupControl*>(control(gi::groupMenu[t]))) {
        g->count = 0;
        g->setValue(int16_t{0}, const_cast<char*>(" -"));
        for (int16_t i = 0; i < lib.groupCount && i + 1 < PWpopupControl::kMaxItems; ++i) {
            // Group names show with their first letter upper-cased.
            char name[sizeof lib.groups[i].name + 1];
            std::snprintf(name, sizeof name, "%s", lib.groups[i].name[0] ? lib.groups[i].name : "?");
            if (name[0] >= 'a' && name[0] <= 'z') name[0] = static_cast<char>(name[0] - 32);
            g->setValue(static_cast<int16_t>(i + 1), name);
        }
        g->setValue(static_cast<int16_t>(k.group + 1));
    }
    if (auto* m = dynamic_cast<PWpopupControl*>(control(gi::loopMenu[t]))) {
        m->count = 0;
        if (k.group >= 0 && k.group < lib.groupCount && lib.groups[k.group].count > 0) {
            const BLSongGroup& g = lib.groups[k.group];
            for (int16_t s = 0; s < g.count && s < PWpopupControl::kMaxItems; ++s)
                m->setValue(s, const_cast<char*>(g.label[s][0] ? g.label[s] : g.file[s][0] ? g.file[s] : "?"));
        } else {
            m->setValue(int16_t{0}, const_cast<char*>(" -"));
        }
        m->setValue(static_cast<int16_t>(std::max<int16_t>(k.slot, 0)));
    }
}

void BLGroovePanel::showTrack(int16_t t)
{
    if (t < 0 || t >= gi::kTracks) return;
    fillMenus(t);
    adjustTrackLed(t);
    adjustSampColor(t);
}

void BLGroovePanel::onItem_sampSelGroup(int16_t t)
{
    kelPanelControl* c = control(gi::groupMenu[t]);
    if (!c || liveChange) return;
    chooseGroup(t, static_cast<int16_t>(c->get() - 1));
}

void BLGroovePanel::onItem_sampSelIndex(int16_t t)
{
    kelPanelControl* c = control(gi::loopMenu[t]);
    if (!c || liveChange) return;
    chooseLoop(t, c->get());
}

void BLGroovePanel::chooseGroup(int16_t t, int16_t group)
{
    if (t < 0 || t >= gi::kTracks) return;
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
    fillMenus(t);
    userChangedTrack(t);
    model.groove_launch(t);
    waitDeadline = 0;  // its count shows at once
    net().sendSample(t, k.group, k.slot);
    adjustTrackLed(t);
}

void BLGroovePanel::chooseLoop(int16_t t, int16_t slot)
{
    if (t < 0 || t >= gi::kTracks) return;
    BLTrack& k = model.current.tracks[t];
    if (k.group < 0 || slot < 0 || slot >= model.library().groups[k.group].count) return;
    model.chooseLoop(t, k.group, slot);
    userChangedTrack(t);
    model.groove_launch(t);
    waitDeadline = 0;  // its count shows at once
    net().sendSample(t, k.group, k.slot);
    adjustTrackLed(t);
}

void BLGroovePanel::userChangedTrack(int16_t t)
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
    adjustTrackLed(t);
    if (t == model.selectedTrack) trackSelectionChanged();
}

void BLGroovePanel::enableTrack(int16_t t, bool on)
{
    if (t < 0 || t >= gi::kTracks) return;
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
    adjustTrackLed(t);
    adjustSampColor(t);
}

// ---- Selection and the mode buttons ------------------------------------------------

void BLGroovePanel::showTrackButtons()
{
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        bool lit = t == model.selectedTrack;
        if (allMode) lit = true;
        else if (groupMode) lit = tracks[t].groupSelected;
        setImage(gi::trackButton[t], lit ? 2 : 1);
    }
    showKeep();
}

void BLGroovePanel::showModeButtons()
{
    setImage(gi::solo, soloMode ? 2 : 1);
    setImage(gi::group, groupMode ? 2 : 1);
    setImage(gi::all, allMode ? 2 : 1);
}

void BLGroovePanel::trackSelectionChanged()
{
    const int16_t s = model.selectedTrack;
    if (!groupMode && !allMode && s >= 0 && s < gi::kTracks) {
        const BLTrack& k = model.current.tracks[s];
        setVolumeControl(static_cast<int16_t>(k.volume));
        setPanControl(k.pan);
        std::snprintf(volumeText, sizeof volumeText, "%d", k.volume);
        std::snprintf(panText, sizeof panText, "%d", k.pan);
        setText(gi::volumeLabel, volumeText);
        setText(gi::panLabel, panText);
    }
    showTrackButtons();
    refreshAllLights();
}

void BLGroovePanel::trackSelected() { trackSelectionChanged(); }
void BLGroovePanel::showSelectedTrack() { trackSelectionChanged(); }

void BLGroovePanel::onItem_trackButton(int16_t t)
{
    if (t < 0 || t >= gi::kTracks || liveChange) return;
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
        showTrackButtons();
        return;
    }
    setAllMode(false);
    const int16_t old = model.selectedTrack;
    model.selectTrack(t);
    if (soloMode && old != t) {
        if (old >= 0 && old < gi::kTracks) {
            tracks[old].soloOn = false;
            enableTrack(old, false);
        }
        tracks[t].soloOn = true;
        enableTrack(t, true);
    }
}

void BLGroovePanel::onItem_trackLed(int16_t t)
{
    if (t < 0 || t >= gi::kTracks || liveChange) return;
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
        for (int16_t u = 0; u < gi::kTracks; ++u) {
            if (u == t || !affected(u)) continue;
            (soloMode ? tracks[u].soloOn : tracks[u].on) = state;
            enableTrack(u, state);
        }
    if (soloMode && !groupMode && !allMode && model.audible[t] && t != model.selectedTrack) model.selectTrack(t);
}

// ---- Modes ------------------------------------------------------------------------------

namespace {

// The relative controls' starting point: every track's values become its base.
void takeBases(BLGroovePanel& p)
{
    for (int16_t t = 0; t < kBLGrooveTracks; ++t) {
        p.tracks[t].baseVolume = static_cast<int16_t>(p.model.current.tracks[t].volume);
        p.tracks[t].basePan = p.model.current.tracks[t].pan;
    }
}

}  // namespace

void BLGroovePanel::setSoloMode(bool on)
{
    if (soloMode == on) return;
    soloMode = on;
    if (on) {
        for (int16_t t = 0; t < kBLGrooveTracks; ++t) tracks[t].soloOn = affected(t);
        for (int16_t t = 0; t < gi::kTracks; ++t) enableTrack(t, tracks[t].soloOn);
        soloApplied = true;
    } else {
        soloApplied = false;
        for (int16_t t = 0; t < gi::kTracks; ++t) enableTrack(t, tracks[t].on);
    }
    showModeButtons();
}

// Group and all mode share the relative controls: switched on, they start at
// no change, and every track's values become its base.
void BLGroovePanel::relativeModeChanged(bool on)
{
    if (on) {
        setVolumeControl(64);
        setPanControl(0);
        std::snprintf(volumeText, sizeof volumeText, "--");
        std::snprintf(panText, sizeof panText, "--");
        setText(gi::volumeLabel, volumeText);
        setText(gi::panLabel, panText);
        takeBases(*this);
    }
    if (soloApplied) {
        // The solo follows the new set of affected tracks.
        soloMode = false;
        setSoloMode(true);
    }
    showModeButtons();
    trackSelectionChanged();
}

void BLGroovePanel::setGroupMode(bool on)
{
    if (groupMode == on) return;
    groupMode = on;
    relativeModeChanged(on);
}

void BLGroovePanel::setAllMode(bool on)
{
    if (allMode == on) return;
    allMode = on;
    relativeModeChanged(on);
}

void BLGroovePanel::onItem_solo() { setSoloMode(!soloMode); }

void BLGroovePanel::onItem_group()
{
    setAllMode(false);
    setGroupMode(!groupMode);
}

void BLGroovePanel::onItem_all()
{
    setGroupMode(false);
    setAllMode(!allMode);
}

void BLGroovePanel::restoreTracks()
{
    soloMode = groupMode = allMode = soloApplied = false;
    for (Track& t : tracks) t.on = true;
    showModeButtons();
    showTrackButtons();
}

void BLGroovePanel::modesOff()
{
    soloMode = groupMode = allMode = soloApplied = false;
    showModeButtons();
    showTrackButtons();
}

// ---- Volume and pan --------------------------------------------------------------------

void BLGroovePanel::setVolumeControl(int16_t v)
{
    volumeValue = clampVolume(v);
    if (kelPanelControl* c = control(gi::volume)) c->setValue(volumeValue);
}

void BLGroovePanel::setPanControl(int16_t v)
{
    panValue = clampPan(v);
    if (kelPanelControl* c = control(gi::pan)) c->setValue(panValue);
}

void BLGroovePanel::withSyncOff(void (BLGroovePanel::*change)())
{
    const bool sync = model.syncMode;
    if (sync) engine().sync_atGrooveSet(0);
    (this->*change)();
    if (sync) engine().sync_atGrooveSet(1);
}

void BLGroovePanel::onItem_volume()
{
    model.modified = true;
    withSyncOff(&BLGroovePanel::volumeChange);
}

void BLGroovePanel::onItem_pan()
{
    model.modified = true;
    withSyncOff(&BLGroovePanel::panChange);
}

void BLGroovePanel::volumeChange()
{
    if (!groupMode && !allMode) {
        const int16_t s = model.selectedTrack;
        if (s < 0 || s >= gi::kTracks) return;
        model.current.tracks[s].volume = static_cast<uint16_t>(volumeValue);
        engine().setTrackVolume(s, volumeValue);
        net().sendVolume(s, volumeValue);
        std::snprintf(volumeText, sizeof volumeText, "%d", volumeValue);
    } else {
        applyRelative(true, false);
        std::snprintf(volumeText, sizeof volumeText, "%d", volumeValue - 64);
    }
    setText(gi::volumeLabel, volumeText);
}

void BLGroovePanel::panChange()
{
    if (!groupMode && !allMode) {
        const int16_t s = model.selectedTrack;
        if (s < 0 || s >= gi::kTracks) return;
        model.current.tracks[s].pan = panValue;
        engine().setTrackPan(s, panValue);
        net().sendPan(s, panValue);
    } else {
        applyRelative(false, true);
    }
    std::snprintf(panText, sizeof panText, "%d", panValue);
    setText(gi::panLabel, panText);
}

void BLGroovePanel::applyRelative(bool volumeChanged, bool panChanged)
{
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        if (!affected(t)) continue;
        BLTrack& k = model.current.tracks[t];
        if (volumeChanged) {
            k.volume = static_cast<uint16_t>(clampVolume(tracks[t].baseVolume + 2 * (volumeValue - 64)));
            engine().setTrackVolume(t, static_cast<short>(k.volume));
            net().sendVolume(t, static_cast<int16_t>(k.volume));
        }
        if (panChanged) {
            k.pan = clampPan(tracks[t].basePan + 2 * panValue);
            engine().setTrackPan(t, k.pan);
            net().sendPan(t, k.pan);
        }
    }
}

// ---- Keep and empty ----------------------------------------------------------------------

void BLGroovePanel::recountKept()
{
    keptCount = 0;
    for (int16_t t = 0; t < gi::kTracks; ++t)
        if (tracks[t].keep) ++keptCount;
}

void BLGroovePanel::onItem_keep(int16_t t)
{
    if (t == -1) t = model.selectedTrack;
    if (t < 0 || t >= gi::kTracks) return;
    const bool keep = tracks[t].keep = !tracks[t].keep;
    if ((groupMode || allMode) && affected(t))
        for (int16_t u = 0; u < gi::kTracks; ++u)
            if (affected(u)) tracks[u].keep = keep;
    recountKept();
    for (int16_t u = 0; u < gi::kTracks; ++u) adjustTrackLed(u);
}

void BLGroovePanel::onItem_empty()
{
    model.modified = true;
    withSyncOff(&BLGroovePanel::emptyChange);
}

void BLGroovePanel::emptyChange()
{
    const bool many = groupMode || allMode;
    if (many) engine().changesBegin();
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        if (!affected(t)) continue;
        model.current.tracks[t].group = -1;
        engine().setTrackSample(t, -1);
        net().sendSample(t, -1, model.current.tracks[t].slot);
    }
    if (many) engine().changesEnd();
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        model.sampleIds[t] = model.trackSampleId(t);
        showTrack(t);
    }
}

// ---- Random grooves -------------------------------------------------------------------------

void BLGroovePanel::setRndStyleName(int16_t set)
{
    const BLSongLibrary& lib = model.library();
    if (set < 0) std::snprintf(randomNameText, sizeof randomNameText, "-");
    else if (set < lib.randomSetCount) std::snprintf(randomNameText, sizeof randomNameText, "%s", lib.randomSets[set].name);
    else std::snprintf(randomNameText, sizeof randomNameText, "Unkn");
    shownRandomName = set;
    setText(gi::randomName, randomNameText);
}

void BLGroovePanel::randomize(int16_t r)
{
    if (r < 0 || r > 3) return;
    const BLSongLibrary& lib = model.library();
    model.modified = true;
    setImage(gi::randomButton[r], 2);
    setRndStyleName(r);
    currentRandomSet = r;
    const int16_t level = std::clamp<int16_t>(blPrefs.randomLevels[r], 0, gi::kTracks);
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        if (tracks[t].keep) continue;
        BLTrack& k = model.current.tracks[t];
        int16_t group = -1;
        int16_t slot = k.slot;
        if (r < lib.randomSetCount) {
            const BLRandomSet& set = lib.randomSets[r];
            if (t < set.count && t < level) {
                group = set.groups[t];
                if (group == -1 && lib.groupCount > 0) group = static_cast<int16_t>(KEL_Random(static_cast<uint16_t>(lib.groupCount)));
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
    setImage(gi::randomButton[r], 1);
}

void BLGroovePanel::showGroove()
{
    for (int16_t t = 0; t < gi::kTracks; ++t) showTrack(t);
    trackSelectionChanged();
}
