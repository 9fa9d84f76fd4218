#include "panels/synth/BLLoadSynthPanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/Synth.h"
#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelTextCodec.h"
#include "library/BLGrooveLinks.h"
#include "panels/synth/BLSynthPanel.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace {

constexpr const char* kSynthFolder = ":Library:Synth:";
// The selected line's ground: the accent, dimmed so the text stays readable.
constexpr int16_t kSelectedFill = 0x3D03;
// Two clicks on one line closer than this (ticks) take the sound.
constexpr uint32_t kDoubleClickTicks = 30;

std::string folderOf(const char* name)
{
    return std::string(kSynthFolder) + name + ":";
}

}  // namespace

BLLoadSynthPanel::BLLoadSynthPanel(BLEngineCalls* engine, BLPlayer* player)
    : fixedEngine(engine), fixedPlayer(player)
{
    // Everything goes to the browser while it shows.
    modal = 1;
}

BLEngineCalls& BLLoadSynthPanel::engine()
{
    static BLEngineCalls facade;
    return fixedEngine ? *fixedEngine : facade;
}

BLPlayer* BLLoadSynthPanel::player() const
{
    return fixedPlayer ? fixedPlayer : blPlayer;
}

void BLLoadSynthPanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) {
        char copy[160];
        std::snprintf(copy, sizeof copy, "%s", text ? text : "");
        c->setValue(copy);
    }
}

void BLLoadSynthPanel::setMessage(int16_t item, int16_t message, const char* value)
{
    setText(item, KEL_NameToLatin1(blIntl.messageWithNames(message, {value ? value : ""})).c_str());
}

void BLLoadSynthPanel::beforeShow()
{
    if (!placed && screenIndex >= 0) {
        PWScreen.setPanelPositionCentered(screenIndex);
        placed = true;
    }
    for (int16_t i = 0; i < kLines; ++i)
        if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstLine + i))) {
            c->setValue(kelPropTextAlign, int16_t{0});
            c->setValue(kelPropFit, int16_t{1});
            c->setValue(kelPropFillColour, kSelectedFill);
        }
    for (int16_t item : {kItemCount, kItemName, kItemNotes, kItemLength, kItemStatus})
        if (kelPanelControl* c = control(item)) {
            c->setValue(kelPropTextAlign, static_cast<int16_t>(item == kItemCount ? 2 : 0));
            c->setValue(kelPropFit, int16_t{1});
        }
    previewing = false;
    startedPlayer = false;
    scan();
}

void BLLoadSynthPanel::afterHide()
{
    stopPreview();
}

void BLLoadSynthPanel::scan()
{
    count = BL_ListSynthSounds(names, kMaxSounds);
    // The synth panel's sound is the one selected at first.
    int16_t current = count > 0 ? 0 : -1;
    if (blSynthPanel)
        for (int16_t i = 0; i < count; ++i)
            if (std::strcmp(names[i], blSynthPanel->setting.synthName) == 0) current = i;
    first = 0;
    selection = -1;
    if (count == 0) {
        refresh();
        setMessage(kItemStatus, kMsgNoSounds);
        return;
    }
    char number[8];
    std::snprintf(number, sizeof number, "%d", count);
    setMessage(kItemCount, kMsgCount, number);
    setMessage(kItemStatus, kMsgHint);
    select(current, false);
}

void BLLoadSynthPanel::refresh()
{
    for (int16_t line = 0; line < kLines; ++line) {
        kelPanelControl* c = control(static_cast<int16_t>(kItemFirstLine + line));
        if (!c) continue;
        const int16_t index = static_cast<int16_t>(first + line);
        char text[kNameSize + 4] = "";
        if (index < count) std::snprintf(text, sizeof text, " %s", names[index]);
        c->setValue(kelPropFill, static_cast<int16_t>(index < count && index == selection ? 1 : 0));
        c->setValue(text);
    }
    auto able = [this](int16_t item, bool on) {
        if (kelPanelControl* c = control(item)) {
            if (on)
                c->enable();
            else
                c->disable();
        }
    };
    able(kItemUp, first > 0);
    able(kItemDown, first + kLines < count);
    able(kItemChoose, selection >= 0);
    able(kItemPreview, selection >= 0);
    if (kelPanelControl* c = control(kItemPreview))
        c->setValue(kelPropImageIndex, static_cast<int16_t>(previewing ? 2 : 1));
}

void BLLoadSynthPanel::refreshInfo()
{
    for (int16_t item : {kItemName, kItemNotes, kItemLength}) setText(item, "");
    pictureShown = false;
    if (kelPanelControl* c = control(kItemPicture)) c->setValue(int16_t{0}, static_cast<uint8_t*>(nullptr));
    const char* name = selectedName();
    if (!name) return;
    setText(kItemName, name);
    const std::string folder = folderOf(name);
    int notes = 0, channels = 0, frames = 0;
    for (int i = 0; i < kSynthNotes; ++i) {
        int ch = 0, fr = 0;
        void* file = OpenWave((folder + SynthNoteFile(i)).c_str(), &ch, &fr);
        if (file == F_NOFILE) continue;
        F_close(file);
        ++notes;
        if (i == 12 || channels == 0) {
            channels = ch;
            frames = fr;
        }
    }
    char value[48];
    std::snprintf(value, sizeof value, "%d/36 %s", notes,
                  channels == 2   ? "stereo"
                  : channels == 1 ? "mono"
                                  : "");
    setMessage(kItemNotes, kMsgNotes, value);
    std::snprintf(value, sizeof value, "%.1f s", frames / 44100.0);
    setMessage(kItemLength, kMsgLength, value);
    showPicture(name);
}

bool BLLoadSynthPanel::showPicture(const char* name)
{
    for (const char* file : {"picture.gif", "picture.png"}) {
        kelOffmap decoded;
        if (!kelQt_imageToOffmap((folderOf(name) + file).c_str(), &decoded) ||
            decoded.depthIndex != kelDepth16 || !decoded.pixels)
            continue;
        if (!picture.pixels && !picture.allocate(kelDepth16, kPictureWidth, kPictureHeight, -1)) return false;
        picture.fill(&picture.bounds, 0);
        // Centred; a larger picture shows its middle.
        const int16_t w = std::min<int16_t>(decoded.size.h, kPictureWidth);
        const int16_t h = std::min<int16_t>(decoded.size.v, kPictureHeight);
        const int16_t sx = static_cast<int16_t>((decoded.size.h - w) / 2),
                      sy = static_cast<int16_t>((decoded.size.v - h) / 2);
        const int16_t dx = static_cast<int16_t>((kPictureWidth - w) / 2),
                      dy = static_cast<int16_t>((kPictureHeight - h) / 2);
        const kelRect from(sx, sy, static_cast<int16_t>(sx + w), static_cast<int16_t>(sy + h));
        const kelRect to(dx, dy, static_cast<int16_t>(dx + w), static_cast<int16_t>(dy + h));
        picture.copy(&decoded, &from, &to);
        pictureShown = true;
        if (kelPanelControl* c = control(kItemPicture))
            c->setValue(int16_t{0}, reinterpret_cast<uint8_t*>(&picture));
        return true;
    }
    return false;
}

void BLLoadSynthPanel::select(int16_t index, bool preview)
{
    if (count == 0) return;
    selection = std::clamp<int16_t>(index, 0, static_cast<int16_t>(count - 1));
    if (selection < first) first = selection;
    if (selection >= first + kLines) first = static_cast<int16_t>(selection - kLines + 1);
    refreshInfo();
    if (preview) startPreview();
    refresh();
}

void BLLoadSynthPanel::moveSelection(int16_t delta)
{
    select(static_cast<int16_t>(selection < 0 ? 0 : selection + delta), true);
}

void BLLoadSynthPanel::scrollPage(int16_t step)
{
    first = static_cast<int16_t>(std::clamp(first + step, 0, std::max(count - kLines, 0)));
    refresh();
}

void BLLoadSynthPanel::startPreview()
{
    const char* name = selectedName();
    if (!name) return;
    BLPlayer* p = player();
    if (!p || p->songBpm <= 0) {
        setMessage(kItemStatus, kMsgNoSong);
        return;
    }
    if (!p->playing) {
        p->play();
        startedPlayer = true;
    }
    engine().synth_SetFolder(folderOf(name).c_str());
    engine().synth_Arp(0, 4, kPreviewNotes);
    if (blSynthPanel) blSynthPanel->forgetSentPattern();
    previewing = true;
    setMessage(kItemStatus, kMsgPreviewing, name);
}

void BLLoadSynthPanel::stopPreview()
{
    if (!previewing) return;
    previewing = false;
    if (blSynthPanel && blSynthPanel->loadedSynth[0]) {
        engine().synth_Stop();
        engine().synth_SetFolder(folderOf(blSynthPanel->loadedSynth).c_str());
        if (blSynthPanel->playing) blSynthPanel->synth_activate();
    } else {
        engine().synth_Stop();
    }
    if (startedPlayer) {
        if (BLPlayer* p = player()) p->stop();
        startedPlayer = false;
    }
    setMessage(kItemStatus, kMsgHint);
    refresh();
}

void BLLoadSynthPanel::choose()
{
    const char* name = selectedName();
    if (!name) return;
    char taken[kNameSize];
    std::snprintf(taken, sizeof taken, "%s", name);
    stopPreview();
    if (blSynthPanel) blSynthPanel->chooseSynth(taken);
    close();
}

void BLLoadSynthPanel::close()
{
    if (screenIndex >= 0)
        PWScreen.hide(screenIndex);
    else
        afterHide();
}

void BLLoadSynthPanel::onItem()
{
    if (liveChange) return;
    const int16_t item = hitItem;
    if (item >= kItemFirstLine && item < kItemFirstLine + kLines) {
        const int16_t line = static_cast<int16_t>(item - kItemFirstLine);
        const int16_t index = static_cast<int16_t>(first + line);
        if (index >= count) return;
        const bool twice = line == lastClickLine && kelGlo.ticks - lineClickTicks < kDoubleClickTicks;
        lastClickLine = line;
        lineClickTicks = kelGlo.ticks;
        if (twice && index == selection) {
            choose();
            return;
        }
        select(index, true);
        return;
    }
    switch (item) {
        case kItemClose: close(); break;
        case kItemUp: scrollPage(-1); break;
        case kItemDown: scrollPage(1); break;
        case kItemChoose: choose(); break;
        case kItemPreview:
            if (previewing)
                stopPreview();
            else
                startPreview();
            refresh();
            break;
        default: break;
    }
}

void BLLoadSynthPanel::onKey()
{
    // Escape never comes here: the screen closes the panel in front.
    if (kelGlo.what != kelKeyDown && kelGlo.what != kelAutoKey) return;
    if (kelGlo.specialKey == 20 || kelGlo.specialKey == 21) {
        // Page Up and Page Down: a list's page earlier or later, the selection with it.
        if (count > 0) moveSelection(kelGlo.specialKey == 20 ? -kLines : kLines);
        return;
    }
    switch (kelGlo.keyChar) {
        case kelArrowUp: moveSelection(-1); break;
        case kelArrowDown: moveSelection(1); break;
        case kelKeyReturn:
            if (kelGlo.what == kelKeyDown) choose();
            break;
        default: break;
    }
}
