// What the tracks show: lights and colours, the menus, the track and mode
// buttons, the volume and pan controls, the random set's name.
#include <algorithm>
#include <cstdio>

#include "core/kelCore.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "ui/PWpopup.h"

namespace gi = grooveitem;

namespace {

int16_t clampVolume(int v)
{
    return static_cast<int16_t>(std::clamp(v, 0, 127));
}
int16_t clampPan(int v)
{
    return static_cast<int16_t>(std::clamp(v, -63, 63));
}

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

// ---- Lights and colours ---------------------------------------------------------

int16_t BLGroovePanel::trackLedImage(int16_t t) const
{
    // A change waiting for its boundary: the lamp dims under the beats left.
    if (t < kBLEngineTracks && waitBeats[t] > 0) return 1;
    if (groove.model.sampleIds[t] == kBLNoSample) return 1;
    const BLGrooveController::Track& k = groove.tracks[t];
    if (!groove.soloMode) return k.on ? 2 : 3;
    return k.soloOn ? 4 : 3;
}

int16_t BLGroovePanel::trackLedLevel(int16_t t) const
{
    return groove.tracks[t].keep && blinkPhase ? 127 : 255;
}

int16_t BLGroovePanel::sampColor(int16_t t) const
{
    const bool selected = t == groove.model.selectedTrack;
    const bool heard = groove.model.audible[t];
    if (blinkPhase && groove.tracks[t].keep) {
        if (heard) return selected ? kColourHeardBlinkSelected : kColourHeardBlink;
        return selected ? kColourSilentBlinkSelected : kColourSilentBlink;
    }
    if (heard) return selected ? kColourHeardSelected : kColourHeard;
    return selected ? kColourSilentSelected : kColourSilent;
}

void BLGroovePanel::adjustTrackLed(int16_t t)
{
    if (t < 0 || t >= gi::kTracks) return;
    if (kelPanelControl* k = control(gi::trackLight[t])) {
        k->setValue(kelPropImageIndex, trackLedImage(t));
        k->setValue(kelPropLevel, trackLedLevel(t));
    }
}

void BLGroovePanel::adjustSampColor(int16_t t)
{
    if (t < 0 || t >= gi::kTracks) return;
    const int16_t colour = sampColor(t);
    for (int16_t item : {gi::groupMenu[t], gi::loopMenu[t]})
        if (kelPanelControl* k = control(item)) {
            k->setValue(kelPropFill, int16_t{1});
            k->setValue(kelPropFillColour, colour);
            k->draw();
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

void BLGroovePanel::lampsShown()
{
    refreshAllLights();
}

// ---- Menus ------------------------------------------------------------------------

void BLGroovePanel::fillMenus(int16_t t)
{
    const BLSongLibrary& lib = groove.model.library();
    const BLTrack& k = groove.model.current.tracks[t];
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
                m->setValue(s, const_cast<char*>(g.label[s][0]  ? g.label[s]
                                                 : g.file[s][0] ? g.file[s]
                                                                : "?"));
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

void BLGroovePanel::trackShown(int16_t t)
{
    showTrack(t);
}

void BLGroovePanel::grooveShown()
{
    for (int16_t t = 0; t < gi::kTracks; ++t) showTrack(t);
}

void BLGroovePanel::onItem_sampSelGroup(int16_t t)
{
    kelPanelControl* k = control(gi::groupMenu[t]);
    if (!k || liveChange) return;
    groove.chooseGroup(t, static_cast<int16_t>(k->get() - 1));
}

void BLGroovePanel::onItem_sampSelIndex(int16_t t)
{
    kelPanelControl* k = control(gi::loopMenu[t]);
    if (!k || liveChange) return;
    groove.chooseLoop(t, k->get());
}

// ---- Selection and the mode buttons ------------------------------------------------

void BLGroovePanel::showTrackButtons()
{
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        bool lit = t == groove.model.selectedTrack;
        if (groove.allMode)
            lit = true;
        else if (groove.groupMode)
            lit = groove.tracks[t].groupSelected;
        setImage(gi::trackButton[t], lit ? 2 : 1);
    }
    showKeep();
}

void BLGroovePanel::showModeButtons()
{
    setImage(gi::solo, groove.soloMode ? 2 : 1);
    setImage(gi::group, groove.groupMode ? 2 : 1);
    setImage(gi::all, groove.allMode ? 2 : 1);
}

void BLGroovePanel::modesShown()
{
    showModeButtons();
    showTrackButtons();
    refreshAllLights();
    // Group and all mode start their relative controls at no change.
    if (groove.groupMode || groove.allMode) showControls(true);
}

void BLGroovePanel::selectionShown()
{
    if (!groove.groupMode && !groove.allMode) showControls(false);
    showTrackButtons();
    refreshAllLights();
}

void BLGroovePanel::controlsShown()
{
    showControls(false);
}

// The knobs where the controller has them, and their labels: the selected
// track's values, or in group and all mode the change made ("--" before any).
void BLGroovePanel::showControls(bool relativeStart)
{
    setVolumeControl(groove.volumeControl());
    setPanControl(groove.panControl());
    const bool relative = groove.groupMode || groove.allMode;
    if (relative && relativeStart) {
        std::snprintf(volumeText, sizeof volumeText, "--");
        std::snprintf(panText, sizeof panText, "--");
    } else {
        std::snprintf(volumeText, sizeof volumeText, "%d", relative ? volumeShown - 64 : volumeShown);
        std::snprintf(panText, sizeof panText, "%d", panShown);
    }
    setText(gi::volumeLabel, volumeText);
    setText(gi::panLabel, panText);
}

void BLGroovePanel::setVolumeControl(int16_t v)
{
    volumeShown = clampVolume(v);
    if (kelPanelControl* k = control(gi::volume)) k->setValue(volumeShown);
}

void BLGroovePanel::setPanControl(int16_t v)
{
    panShown = clampPan(v);
    if (kelPanelControl* k = control(gi::pan)) k->setValue(panShown);
}

// ---- Random grooves -------------------------------------------------------------------------

void BLGroovePanel::setRndStyleName(int16_t set)
{
    const BLSongLibrary& lib = groove.model.library();
    if (set < 0)
        std::snprintf(randomNameText, sizeof randomNameText, "-");
    else if (set < lib.randomSetCount)
        std::snprintf(randomNameText, sizeof randomNameText, "%s", lib.randomSets[set].name);
    else
        std::snprintf(randomNameText, sizeof randomNameText, "Unkn");
    shownRandomName = set;
    setText(gi::randomName, randomNameText);
}

void BLGroovePanel::randomShown(int16_t set, bool lit)
{
    setImage(gi::randomButton[set], lit ? 2 : 1);
    if (lit) setRndStyleName(set);
}
