// What the groove panel shows beside its transport and tracks: the hint line
// naming the control under the mouse and its keys, the main volume knob
// turned to its value, and the Keep button lit for a kept track.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/BLEngine.h"
#include "core/kelCore.h"
#include "core/kelTextFile.h"
#include "panels/BLGrooveItems.h"
#include "panels/BLGroovePanel.h"
#include "library/BLprefs.h"
#include "panels/PWmain.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace gi = grooveitem;

namespace {
// The frames of the main volume knob's film, from 0 to 127.
constexpr int16_t kKnobFrames = 32;
constexpr const char* kDefaultHint =
    "Point at a control to see what it does and its keys. Click a stored groove to play it; drag it onto the sequence.";
}  // namespace

void BLGroovePanel::loadHints()
{
    hints.clear();
    // The help table: one record a control, fields split by ']', records by
    // a carriage return; field 2 the panel, field 3 the control, from field
    // 10 on the lines of its text.
    kelTextFile table;
    if (!table.load(":Helps.txt")) return;
    const std::string all(table.c_str());
    size_t at = 0;
    while (at < all.size()) {
        size_t end = all.find('\r', at);
        if (end == std::string::npos) end = all.size();
        std::string record = all.substr(at, end - at);
        at = end + 1;
        std::vector<std::string> fields;
        for (size_t from = 0;;) {
            const size_t bar = record.find(']', from);
            fields.push_back(record.substr(from, bar == std::string::npos ? std::string::npos : bar - from));
            if (bar == std::string::npos) break;
            from = bar + 1;
        }
        if (fields.size() < 11 || std::atoi(fields[2].c_str()) != kPWGroovePanel) continue;
        std::string text;
        for (size_t i = 10; i < fields.size(); ++i) text += (i > 10 ? " " : "") + fields[i];
        hints.emplace_back(static_cast<int16_t>(std::atoi(fields[3].c_str())), text);
    }
}

const char* BLGroovePanel::hintFor(int16_t item) const
{
    for (const auto& [control, text] : hints)
        if (control == item) return text.c_str();
    return nullptr;
}

void BLGroovePanel::hintIdle()
{
    if (kelGlo.mouseX == hintMouseX && kelGlo.mouseY == hintMouseY) return;
    hintMouseX = kelGlo.mouseX;
    hintMouseY = kelGlo.mouseY;
    // Only for the panel the mouse is really over: none in front of it there.
    int16_t item = -1;
    bool covered = PWScreen.modalPanel != -1;
    for (int16_t i = 1; i < PWScreen.count && !covered; ++i)
        if (PWPanelClass* p = PWScreen.panel(i); p && PWScreen.isVisible(i) && p->backgroundHit(hintMouseX, hintMouseY))
            covered = true;
    if (!covered)
        for (int16_t i = 1; i < controlCount; ++i) {
            const kelPanelControl* c = control(i);
            if (c && c->visible && c->rect.contains(hintMouseX, hintMouseY) && hintFor(i)) item = i;
        }
    if (item == shownHint) return;
    shownHint = item;
    const char* text = item >= 0 ? hintFor(item) : kDefaultHint;
    if (kelPanelControl* c = control(gi::hint)) {
        c->set(kelPropFit, 1);
        c->setValue(const_cast<char*>(text));
    }
}

void BLGroovePanel::showMainVolume(int16_t volume)
{
    const int16_t frame = static_cast<int16_t>(std::clamp<int>(volume, 0, 127) * (kKnobFrames - 1) / 127);
    if (kelPanelControl* c = control(gi::mainVolume)) c->set(kelPropImageIndex, frame);
}

void BLGroovePanel::onItem_keyLock()
{
    const bool on = blPrefs.keyLock == 0;
    // Played at once, without a gap; kept for the next start.
    if (gep && !gep->setKeyLock(on)) return;
    blPrefs.keyLock = on ? 1 : 0;
    showKeyLock();
}

void BLGroovePanel::showKeyLock()
{
    setImage(gi::keyLock, blPrefs.keyLock ? 2 : 1);
}

void BLGroovePanel::showKeep()
{
    // Lit while the track the Keep button acts on keeps its loop (in group
    // or all mode: while every track it acts on does).
    bool kept = false;
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        if (!affected(t)) continue;
        if (!tracks[t].keep) {
            kept = false;
            break;
        }
        kept = true;
    }
    setImage(gi::keep, kept ? 2 : 1);
}

void BLGroovePanel::waitingIdle()
{
    // Four blinks a second are enough to read, and cost little.
    if (!KEL_EveTimeoutRepeated(&waitDeadline, 7)) return;
    waitPhase = !waitPhase;
    for (int16_t t = 0; t < gi::kTracks && t < kBLEngineTracks; ++t) {
        const bool now = player().playing && engine().trackWaiting(t);
        if (!now && !waiting[t]) continue;
        waiting[t] = now;
        adjustTrackLed(t);
    }
}
