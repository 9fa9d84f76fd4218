// What the synth panel shows and what its controls, the computer keyboard
// and the arpeggiator mix do.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "control/BLGrooveController.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "core/kelTextCodec.h"
#include "library/BLprefs.h"
#include "panels/progress/BLProgressFeedback.h"
#include "panels/startup/PWmain.h"
#include "panels/synth/BLSynthPanel.h"
#include "ui/PWScreen.h"
#include "ui/PWpopup.h"
#include "ui/kelPanelControl.h"

namespace si = synthitem;

namespace {

constexpr int16_t kRequestArpMix = 1;
// Where the panel first shows on the stage: below the transport, inside the stage.
constexpr int16_t kPlaceX = 20;
constexpr int16_t kPlaceY = 104;
// The selected preset's ground (the accent, dimmed) and the others'.
constexpr int16_t kSelectedFill = 0x3D03;
constexpr int16_t kEntryFill = 0x0C63;

const char* const kDirections[4] = {"Up", "Dn", "Rnd", "U/D"};
const char* const kSpeedLabels[4] = {"4", "8", "16", "32"};

}  // namespace

int16_t (*BLSynthPanel_notify)(int16_t, int16_t) = BL_Notify;

void BLSynthPanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) {
        char copy[200];
        std::snprintf(copy, sizeof copy, "%s", text ? text : "");
        c->setValue(copy);
    }
}

void BLSynthPanel::setImage(int16_t item, int16_t image)
{
    if (kelPanelControl* c = control(item)) c->setValue(kelPropImageIndex, image);
}

void BLSynthPanel::setControl(int16_t item, int16_t value)
{
    if (kelPanelControl* c = control(item)) c->setValue(value);
}

void BLSynthPanel::setStatus(int16_t message, const char* value)
{
    const std::string text = KEL_NameToLatin1(blIntl.messageWithNames(message, {value ? value : ""}));
    std::snprintf(statusText, sizeof statusText, "%s", text.c_str());
    setText(si::hint, statusText);
}

void BLSynthPanel::fillPopups()
{
    auto fill = [this](int16_t item, int16_t count, auto textOf) {
        auto* p = dynamic_cast<PWpopupControl*>(control(item));
        if (!p) return;
        p->count = 0;
        for (int16_t i = 0; i < count; ++i) {
            char text[PWpopupControl::kMaxItemText + 1];
            std::snprintf(text, sizeof text, "%s", textOf(i));
            p->setValue(i, text);
        }
        p->setValue(kelPropFit, int16_t{1});
    };
    fill(si::direction, 4, [](int16_t i) { return kDirections[i]; });
    fill(si::speed, 4, [](int16_t i) { return kSpeedLabels[i]; });
    char numbers[kPrograms][4];
    for (int16_t i = 0; i < kPrograms; ++i) std::snprintf(numbers[i], sizeof numbers[i], "%d", i + 1);
    fill(si::rhythm, kPrograms, [&](int16_t i) { return numbers[i]; });
    fill(si::sound, synthCount, [this](int16_t i) { return synthNames[i]; });
}

void BLSynthPanel::showKey(int16_t key)
{
    setControl(static_cast<int16_t>(si::firstKey + key), setting.keys[key] ? 1 : 0);
}

void BLSynthPanel::showLevels()
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", setting.volume);
    setText(si::volumeLabel, text);
    // 127 is the left side alone, 0 the right.
    if (setting.pan > 64)
        std::snprintf(text, sizeof text, "L%d", setting.pan - 64);
    else if (setting.pan < 63)
        std::snprintf(text, sizeof text, "R%d", 63 - setting.pan);
    else
        std::snprintf(text, sizeof text, "C");
    setText(si::panLabel, text);
    setControl(si::volume, setting.volume);
    setControl(si::pan, setting.pan);
    // What the user has to do next to hear the keys.
    const BLPlayer* p = player();
    const bool ask = playing && p && !p->playing;
    if (ask)
        setStatus(kMsgPlayTheGroove);
    else if (!statusText[0] || askingForGroove)
        setStatus(kMsgHint);
    askingForGroove = ask;
}

void BLSynthPanel::showOctaves()
{
    char octaves[16];
    std::snprintf(octaves, sizeof octaves, "%d-%d", keyboardOctave + 1, keyboardOctave + 2);
    setText(si::octaveLabel, KEL_NameToLatin1(blIntl.messageWithNames(kMsgOctaves, {octaves})).c_str());
}

void BLSynthPanel::showPresets()
{
    for (int16_t i = 0; i < si::kPresetsShown; ++i) {
        const int16_t index = static_cast<int16_t>(presetFirst + i);
        char text[8] = "";
        if (index < presetCount) std::snprintf(text, sizeof text, "%d", index + 1);
        if (kelPanelControl* c = control(si::presetEntry[i])) {
            c->setValue(kelPropFill, int16_t{1});
            c->setValue(kelPropFillColour, index == presetSelected ? kSelectedFill : kEntryFill);
            c->setValue(text);
        }
        if (kelPanelControl* x = control(si::presetRemove[i])) {
            if (index < presetCount)
                x->enable();
            else
                x->disable();
        }
    }
    auto able = [this](int16_t item, bool on) {
        if (kelPanelControl* c = control(item)) {
            if (on)
                c->enable();
            else
                c->disable();
        }
    };
    able(si::presetsLeft, presetFirst > 0);
    able(si::presetsRight, presetFirst + si::kPresetsShown < presetCount);
    able(si::presetAdd, presetCount < kBLSynthPresets);
}

void BLSynthPanel::showAll()
{
    for (int16_t k = 0; k < kKeys; ++k) showKey(k);
    int16_t sound = 0;
    for (int16_t i = 0; i < synthCount; ++i)
        if (std::strcmp(synthNames[i], setting.synthName) == 0) sound = i;
    setControl(si::sound, sound);
    setControl(si::direction, setting.mode);
    setControl(si::speed, setting.speed);
    setControl(si::rhythm, setting.program);
    setControl(si::autoStart, autoStart ? 1 : 0);
    setImage(si::play, playing ? 2 : 1);
    showLevels();
    showPresets();
    showOctaves();
}

void BLSynthPanel::beforeShow()
{
    if (!placed && screenIndex >= 0) {
        PWScreen.setPanelPosition(screenIndex, kPlaceX, kPlaceY);
        placed = true;
    }
    // Sounds added to the library since show up; the sound chosen stays.
    synthCount = BL_ListSynthSounds(synthNames, kMaxSynths);
    fillPopups();
    showAll();
}

void BLSynthPanel::onIdle()
{
    // The groove started or stopped elsewhere: the hint follows.
    const BLPlayer* p = player();
    if ((playing && p && !p->playing) != askingForGroove) showLevels();
}

void BLSynthPanel::onItem()
{
    const int16_t item = hitItem;
    kelPanelControl* c = control(item);
    const int16_t value = c ? c->get() : 0;
    if (item >= si::firstKey && item < si::firstKey + kKeys)
        return noteHit(static_cast<int16_t>(item - si::firstKey), true);
    if (item == si::volume) return act(Setting::volume, value);
    if (item == si::pan) return act(Setting::pan, value);
    if (liveChange) return;
    for (int16_t i = 0; i < si::kPresetsShown; ++i) {
        if (item == si::presetEntry[i]) return synths_hit(i, false);
        if (item == si::presetRemove[i]) return synths_hit(i, true);
    }
    switch (item) {
        case si::close: PWScreen.hide(screenIndex); break;
        case si::play: act(Setting::playing, playing ? 0 : 1); break;
        case si::sound:
            if (value >= 0 && value < synthCount) {
                if (blGroove)
                    blGroove->chooseSynthSound(synthNames[value]);
                else
                    chooseSynth(synthNames[value]);
            }
            break;
        case si::browse: PWScreen.show(kPWLoadSynthPanel); break;
        case si::direction: act(Setting::mode, value); break;
        case si::speed: act(Setting::speed, value); break;
        case si::rhythm: act(Setting::program, value); break;
        case si::autoStart: autoStart = value != 0; break;
        case si::arpMix: onItem_arpMix(); break;
        case si::presetsLeft: synths_scroll(-1); break;
        case si::presetsRight: synths_scroll(1); break;
        case si::presetAdd: synths_add(); break;
        default: break;
    }
}

void BLSynthPanel::onKey()
{
    if (kelGlo.what != kelKeyDown && kelGlo.what != kelAutoKey) return;
    const uint8_t c = kelGlo.keyChar;
    const bool firstPress = kelGlo.what == kelKeyDown && PWScreen.keyHeld[c] <= 1;
    // Escape never comes here (the screen closes the panel in front); Page
    // Up and Page Down play nothing.
    if (kelGlo.specialKey != 0) return;
    if (c == kelArrowLeft || c == kelArrowRight) {
        shiftKeyboard(c == kelArrowLeft ? -1 : 1);
        return;
    }
    if (!firstPress || kelGlo.controlDown) return;
    if (c == ' ') {
        // The groove's own transport, so that the keys can be heard with it.
        if (BLPlayer* p = player()) {
            if (p->playing)
                p->stop();
            else
                p->play();
        }
        showLevels();
        return;
    }
    if (const int16_t key = keyOfCharacter(c); key >= 0) noteHit(key);
}

// ---- Arpeggiator mix -----------------------------------------------------------------

void BLSynthPanel::onItem_arpMix()
{
    bool any = false;
    for (int16_t k = 0; k < kKeys; ++k) any = any || setting.keys[k] != 0;
    if (!any) {
        BLSynthPanel_notify(kMsgEmptyPattern, 0);
        return;
    }
    if (BLPath::dialogPending()) return;
    // The name and the filter the file will have: the export format's.
    char extension[16] = "x";
    kelQt_soundConvert_setFileExtension(extension, blPrefs.exportFormat, sizeof extension);
    mixPath.setExtension(extension + 1);
    mixPath.userDialogTypes(0, 0, 0, 0, (std::string("*") + (extension + 1)).c_str());
    mixPath.asyncDialogPut(screenIndex, kRequestArpMix, 0);
}

void BLSynthPanel::asyncDialogMessage(BLPath* path)
{
    if (path && path->requestCode == kRequestArpMix) arpMixResult(path);
}

void BLSynthPanel::arpMixResult(BLPath* path)
{
    if (!path || !path->dialogOk) return;
    char pattern[kPatternSize];
    buildPattern(pattern, sizeof pattern);
    if (!pattern[0]) {
        BLSynthPanel_notify(kMsgEmptyPattern, 0);
        return;
    }
    mixPath.set(path->path);

    // The file takes the panel's setting even while the panel does not play.
    if (playing) {
        synth_activate();
    } else {
        engine().synth_Arp(setting.mode, kSpeeds[std::clamp<int16_t>(setting.speed, 0, 3)], pattern);
    }
    BLProgressFeedback feedback;
    const BLDiskMixOutcome outcome = BLDiskMix_ArpMix(
        path->path, blPrefs.exportFormat, &blPrefs.exportSettings, blPrefs.normalize != 0,
        [this](const std::string& wav) { return engine().synth_mix(wav.c_str()) != 0; }, feedback);
    if (!playing) engine().synth_Stop();
    if (BLPlayer* p = player()) p->stop();
    // The synth's own words for a render that wrote nothing for want of a song.
    for (size_t i = 0; i < feedback.notes.size(); ++i) {
        if (feedback.notes[i] == kBLMsgMixFailed && feedback.noteNames[i].empty()) {
            BLSynthPanel_notify(kMsgMixFailed, 0);
        } else {
            BL_NotifyNames(feedback.notes[i], 0, feedback.noteNames[i]);
        }
    }
    if (outcome.files.empty()) return;
    char shown[kKelPathMax + 1] = {};
    kelPath(outcome.files.back().c_str()).getName(shown);
    setStatus(kMsgMixWritten, shown);
}
