#include "panels/vmix/BLRandMixPanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "control/BLGrooveController.h"
#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/vmix/BLVMixPanel.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr int16_t kEscape = 20;

bool sameGroups(const BLVMixSettings& a, const BLVMixSettings& b)
{
    if (a.leftOutCount != b.leftOutCount) return false;
    for (int16_t i = 0; i < a.leftOutCount; ++i)
        if (b.groupTakesPart(a.leftOut[i])) return false;
    return true;
}

}  // namespace

BLRandMixPanel::BLRandMixPanel(const BLSongLibrary* s) : fixedSong(s) {}

void BLRandMixPanel::connected()
{
    // Names read from the left, cut to their chips.
    auto left = [this](int16_t item) {
        kelPanelControl* c = control(item);
        if (!c || !c->layout) return;
        c->setValue(kelPropTextAlign, int16_t{0});
        c->setValue(kelPropFit, int16_t{1});
    };
    for (int16_t s = 0; s < kStyles; ++s) left(static_cast<int16_t>(kItemFirstStyleName + s));
    for (int16_t g = 0; g < kGroups; ++g) left(static_cast<int16_t>(kItemFirstGroupName + g));
    left(kItemLengthText);
    left(kItemNote);
}

const BLSongLibrary* BLRandMixPanel::song() const
{
    if (fixedSong) return fixedSong;
    return blGroove ? &blGroove->model.library() : nullptr;
}

void BLRandMixPanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) c->setValue(const_cast<char*>(text ? text : ""));
}

void BLRandMixPanel::beforeShow()
{
    before = blPrefs.vmix;
    // In the middle of the stage, whatever the size of the window.
    if (screenIndex >= 0) PWScreen.setPanelPositionCentered(screenIndex);
    refresh();
}

void BLRandMixPanel::afterShow()
{
    previousModal = PWScreen.modalPanel;
    PWScreen.modalPanel = screenIndex;
}

void BLRandMixPanel::afterHide()
{
    if (PWScreen.modalPanel == screenIndex) PWScreen.modalPanel = previousModal;
    const BLVMixSettings& now = blPrefs.vmix;
    const bool mixes = now.styles != before.styles || !sameGroups(now, before);
    const bool length = now.duration != before.duration;
    if (!mixes && !length) return;
    blPrefs.saveTelling();
    if (blVMixPanel) blVMixPanel->optionsChanged(mixes, length);
    before = now;
}

void BLRandMixPanel::close()
{
    if (screenIndex >= 0 && PWScreen.isVisible(screenIndex))
        PWScreen.hide(screenIndex);
    else
        afterHide();
}

void BLRandMixPanel::refresh()
{
    const BLSongLibrary* lib = song();
    const BLVMixSettings& v = blPrefs.vmix;
    const int16_t styles = lib ? std::min<int16_t>(lib->styleCount, kStyles) : 0;
    for (int16_t s = 0; s < kStyles; ++s) {
        const bool here = s < styles;
        showControl(static_cast<int16_t>(kItemFirstStyle + s), here);
        showControl(static_cast<int16_t>(kItemFirstStyleName + s), here);
        if (!here) continue;
        if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstStyle + s)))
            c->setValue(static_cast<int16_t>(v.styleTakesPart(s) ? 1 : 0));
        setText(static_cast<int16_t>(kItemFirstStyleName + s), lib->styles[s].name);
    }
    const int16_t groups = lib ? std::min<int16_t>(lib->groupCount, kGroups) : 0;
    for (int16_t g = 0; g < kGroups; ++g) {
        const bool here = g < groups;
        showControl(static_cast<int16_t>(kItemFirstGroup + g), here);
        showControl(static_cast<int16_t>(kItemFirstGroupName + g), here);
        if (!here) continue;
        if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstGroup + g)))
            c->setValue(static_cast<int16_t>(v.groupTakesPart(lib->groups[g].name) ? 1 : 0));
        setText(static_cast<int16_t>(kItemFirstGroupName + g), lib->groups[g].name);
    }
    setText(kItemNote, blIntl.message(styles == 0 ? kMsgNoStyles : kMsgStylesNote).c_str());
    if (kelPanelControl* c = control(kItemLength)) c->setValue(v.duration);
    if (v.duration <= 0) {
        std::snprintf(lengthText, sizeof lengthText, "%s", blIntl.message(kMsgAsWritten).c_str());
    } else {
        char barsText[24], timeText[24];
        BLVMix_durationText(v.duration, true, 0.0f, barsText, sizeof barsText);
        BLVMix_durationText(v.duration, false, blPlayer ? blPlayer->bpm : 0.0f, timeText, sizeof timeText);
        std::snprintf(lengthText, sizeof lengthText, "%s   %s", barsText, timeText);
    }
    setText(kItemLengthText, lengthText);
}

void BLRandMixPanel::toggleStyle(int16_t style)
{
    blPrefs.vmix.setStyle(style, !blPrefs.vmix.styleTakesPart(style));
    refresh();
}

void BLRandMixPanel::toggleGroup(int16_t group)
{
    const BLSongLibrary* lib = song();
    if (!lib || group < 0 || group >= lib->groupCount) return;
    BLVMixSettings& v = blPrefs.vmix;
    const char* name = lib->groups[group].name;
    const bool on = !v.groupTakesPart(name);
    // The last group taking part stays: a mix of nothing would be silence.
    int16_t taking = 0;
    for (int16_t g = 0; g < lib->groupCount && g < kGroups; ++g)
        taking += v.groupTakesPart(lib->groups[g].name);
    if (on || taking > 1) v.setGroup(name, on);
    refresh();
}

void BLRandMixPanel::allGroups()
{
    if (const BLSongLibrary* lib = song())
        for (int16_t g = 0; g < lib->groupCount && g < kGroups; ++g)
            blPrefs.vmix.setGroup(lib->groups[g].name, true);
    refresh();
}

void BLRandMixPanel::setLength(int16_t entries)
{
    blPrefs.vmix.duration = std::clamp<int16_t>(entries, 0, kBLVMixMaxDuration);
    refresh();
}

void BLRandMixPanel::onItem()
{
    const int16_t item = hitItem;
    if (item == kItemLength) {
        if (kelPanelControl* c = control(item)) setLength(c->get());
        return;
    }
    if (liveChange) return;
    if (item >= kItemFirstStyle && item < kItemFirstStyle + kStyles)
        return toggleStyle(static_cast<int16_t>(item - kItemFirstStyle));
    if (item >= kItemFirstGroup && item < kItemFirstGroup + kGroups)
        return toggleGroup(static_cast<int16_t>(item - kItemFirstGroup));
    switch (item) {
        case kItemClose:
        case kItemDone: close(); break;
        case kItemAllGroups: allGroups(); break;
        default: break;
    }
}

void BLRandMixPanel::onKey()
{
    if (kelGlo.what != kelKeyDown) return;
    if (kelGlo.specialKey == kEscape || kelGlo.keyChar == kelKeyReturn) close();
}
