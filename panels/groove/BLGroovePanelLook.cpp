// What the groove panel shows beside its transport and tracks: the hint line
// naming the control under the mouse and its keys, the main volume knob
// turned to its value, the Keep button lit for a kept track, the launch grid
// and the beats a track's waiting change has still to wait.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/help/BLGuide.h"
#include "panels/help/BLHelps.h"
#include "panels/startup/PWmain.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace gi = grooveitem;

namespace {
// The frames of the main volume knob's film, from 0 to 127.
constexpr int16_t kKnobFrames = 32;
constexpr int16_t kMsgDefaultHint = 278;
constexpr int16_t kMsgRolloverHint = 279;  // then the tour's
// Shown for no control: the idle text or help mode's.
constexpr int16_t kNoControl = -1;
constexpr int16_t kHintSaid = -3;
// "Cycle", "Beat", "Bar", "2 bars", "4 bars", "8 bars": in LaunchGrid's order.
constexpr int16_t kMsgLaunchGridFirst = 400;
// A dark red under the hint line's words while MIDI learn waits.
constexpr int16_t kLearnFill = 0x5084;
}  // namespace

void BLGroovePanel::loadHints()
{
    // The hint line shows the roll-over texts of the help mode's table, in
    // the language of the messages.
    hints.clear();
    if (!blHelpp) return;
    for (int16_t i = 0; i < blHelpp->count; ++i) {
        const BLHelps::Entry& e = blHelpp->entries[i];
        if (!e.rollover || e.panel != kPWGroovePanel || hintFor(e.item)) continue;
        std::string text;
        for (int16_t k = 0; k < e.lineCount; ++k) {
            if (k) text += ' ';
            text += e.lines[k];
        }
        hints.emplace_back(e.item, text);
    }
}

const char* BLGroovePanel::hintFor(int16_t item) const
{
    for (const auto& [control, text] : hints)
        if (control == item) return text.c_str();
    return nullptr;
}

void BLGroovePanel::learnShown()
{
    if (groove.learning() == learnLit) return;
    learnLit = groove.learning();
    if (kelPanelControl* c = control(gi::hint)) {
        c->set(kelPropFillColour, kLearnFill);
        c->set(kelPropFill, learnLit ? 1 : 0);
        c->draw();
    }
}

void BLGroovePanel::hintIdle()
{
    learnShown();
    // MIDI learn says what it waits for until it ends.
    if (groove.learning()) return;
    if (kelGlo.mouseX == hintMouseX && kelGlo.mouseY == hintMouseY) return;
    hintMouseX = kelGlo.mouseX;
    hintMouseY = kelGlo.mouseY;
    // Only for the panel the mouse is really over: none in front of it there.
    // In help mode the bubbles explain the controls; the line says how help
    // mode works.
    int16_t item = kNoControl;
    bool covered = PWScreen.modalPanel != -1 || helpMode >= 0;
    for (int16_t i = 1; i < PWScreen.count && !covered; ++i)
        if (PWPanelClass* p = PWScreen.panel(i);
            p && PWScreen.isVisible(i) && p->backgroundHit(hintMouseX, hintMouseY))
            covered = true;
    if (!covered)
        for (int16_t i = 1; i < controlCount; ++i) {
            const kelPanelControl* c = control(i);
            if (c && c->visible && c->rect.contains(hintMouseX, hintMouseY) && hintFor(i)) item = i;
        }
    if (item == shownHint) return;
    shownHint = item;
    const int16_t message =
        helpMode >= 0 ? static_cast<int16_t>(kMsgRolloverHint + (helpMode ? 0 : 1)) : kMsgDefaultHint;
    const kelText idle = blIntl.message(message);
    std::string text = item >= 0 ? hintFor(item) : idle.c_str();
    // A bound control names its binding too.
    if (const std::string midi = item >= 0 ? midiHint(item) : std::string(); !midi.empty())
        text += "  " + KEL_NameToLatin1(midi);
    if (kelPanelControl* c = control(gi::hint)) {
        c->set(kelPropFit, 1);
        c->setValue(const_cast<char*>(text.c_str()));
    }
}

void BLGroovePanel::onClick()
{
    const kelPanelControl* line = control(gi::hint);
    if (helpMode == 1 && !groove.learning() && line && line->visible &&
        line->rect.contains(kelGlo.mouseX, kelGlo.mouseY))
        BL_OpenGuide();
}

void BLGroovePanel::sayInHint(const std::string& text)
{
    said = text;
    // It stays until the mouse moves on to name another control.
    shownHint = kHintSaid;
    hintMouseX = kelGlo.mouseX;
    hintMouseY = kelGlo.mouseY;
    if (kelPanelControl* c = control(gi::hint)) {
        c->set(kelPropFit, 1);
        c->setValue(const_cast<char*>(KEL_NameToLatin1(said).c_str()));
    }
}

void BLGroovePanel::showMainVolume(int16_t volume)
{
    const int16_t frame = static_cast<int16_t>(std::clamp<int>(volume, 0, 127) * (kKnobFrames - 1) / 127);
    if (kelPanelControl* c = control(gi::mainVolume)) c->set(kelPropImageIndex, frame);
}

void BLGroovePanel::onItem_keyLock()
{
    groove.setKeyLock(blPrefs.keyLock == 0);
}

void BLGroovePanel::onItem_launchGrid()
{
    groove.stepLaunchGrid(kelGlo.shiftDown != 0);
}

void BLGroovePanel::keyLockShown()
{
    setImage(gi::keyLock, blPrefs.keyLock ? 2 : 1);
}

void BLGroovePanel::recordShown()
{
    setImage(gi::record, groove.recordLit() ? 2 : 1);
}

void BLGroovePanel::showKeep()
{
    // Lit while the track the Keep button acts on keeps its loop (in group
    // or all mode: while every track it acts on does).
    bool kept = false;
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        if (!groove.affected(t)) continue;
        if (!groove.tracks[t].keep) {
            kept = false;
            break;
        }
        kept = true;
    }
    setImage(gi::keep, kept ? 2 : 1);
}

void BLGroovePanel::waitingIdle()
{
    // Twenty times a second: the count steps with the beat, at little cost.
    if (!KEL_EveTimeoutRepeated(&waitDeadline, 3)) return;
    for (int16_t t = 0; t < gi::kTracks && t < kBLEngineTracks; ++t) {
        const int16_t beats = groove.trackWaitBeats(t);
        if (beats == waitBeats[t]) continue;
        const bool lampChanges = (beats > 0) != (waitBeats[t] > 0);
        waitBeats[t] = beats;
        if (beats > 0)
            setNumber(gi::waitCount[t], beats);
        else
            setText(gi::waitCount[t], "");
        if (lampChanges) adjustTrackLed(t);
    }
}

void BLGroovePanel::launchGridShown()
{
    showLaunchGrid();
}

void BLGroovePanel::showLaunchGrid()
{
    const auto grid = static_cast<int16_t>(LaunchGridFromCode(blPrefs.launchGrid));
    const kelText name = blIntl.message(static_cast<int16_t>(kMsgLaunchGridFirst + grid));
    setText(gi::launchGridLabel, name.c_str());
}
