#include "panels/vmix/BLVMixPanel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "library/BLVMix.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/help/BLHelps.h"
#include "panels/startup/PWmain.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

BLVMixPanel* blVMixPanel = nullptr;

namespace {

constexpr int16_t kAnswerYes = 1;
constexpr int16_t kAnswerNo = 2;
constexpr int16_t kYesNoCancel = 2;

// A message with its "%d" marks filled in from `numbers`, in order; the
// text is never used as a format, so a damaged table cannot do harm.
std::string fillNumbers(int16_t message, std::initializer_list<int> numbers)
{
    const std::string pattern = blIntl.message(message).c_str();
    std::string out;
    auto next = numbers.begin();
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 'd' && next != numbers.end()) {
            out += std::to_string(*next++);
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace

BLVMixPanel::BLVMixPanel(BLPlayer* p, BLGroovePanel* g) : fixedPlayer(p), fixedGroove(g)
{
    blVMixPanel = this;
    std::fill(std::begin(shownSamples), std::end(shownSamples), kBLNoSample);
}

BLVMixPanel::~BLVMixPanel()
{
    if (blVMixPanel == this) blVMixPanel = nullptr;
    // The player outlives the panel: it must not show on it any more.
    if (BLPlayer* p = fixedPlayer ? fixedPlayer : blPlayer) {
        p->setVMixPanel(nullptr);
        if (p->display == this) p->display = nullptr;
    }
}

BLPlayer& BLVMixPanel::player() const
{
    if (fixedPlayer) return *fixedPlayer;
    static BLPlayer none;
    return blPlayer ? *blPlayer : none;
}

BLGroovePanel* BLVMixPanel::groove() const
{
    return fixedGroove ? fixedGroove : blGroovePanel;
}

void BLVMixPanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) c->setValue(const_cast<char*>(text ? text : ""));
}

void BLVMixPanel::setImage(int16_t item, int16_t image)
{
    if (kelPanelControl* c = control(item)) c->setValue(kelPropImageIndex, image);
}

// ---- Screen hooks ---------------------------------------------------------------

void BLVMixPanel::connected()
{
    player().setVMixPanel(this);
    // Names read from the left and are cut to their place; the part counts from the right.
    auto align = [this](int16_t item, int16_t alignment, bool fit) {
        kelPanelControl* c = control(item);
        if (!c || !c->layout) return;
        c->setValue(kelPropTextAlign, alignment);
        if (fit) c->setValue(kelPropFit, int16_t{1});
    };
    for (int16_t item : {kItemSong, kItemState, kItemStyleName, kItemDurationText}) align(item, 0, true);
    align(kItemPart, 2, false);
    for (int16_t n = 0; n < kSlots; ++n) align(static_cast<int16_t>(kItemFirstSlotName + n), 1, true);
    for (int16_t t = 0; t < kTracks; ++t) align(static_cast<int16_t>(kItemFirstLoop + t), 0, true);
}

void BLVMixPanel::onPanelOpened()
{
    currentSlot = 0;
    generated = false;
    regenerate = randomOrder = listOrder = bars = false;
    songFolder[0] = '\0';
    std::fill(std::begin(slotDuration), std::end(slotDuration), blPrefs.vmix.duration);
    setImage(kItemMainVolume, 1);
    showModes();
    common_doInterfaceReset();
}

void BLVMixPanel::beforeShow()
{
    player().stop();
    BLGroovePanel* g = groove();
    if (g) {
        g->controller().model.holdWork();
        std::snprintf(documentPath, sizeof documentPath, "%s", g->controller().model.lastDocument.path);
    }
    player().userVMix();
    common_doInterfaceReset();
    player().refreshCommon();
    common_setLabel(0, "Stop");
    if (g) common_setSongLabel(g->songName);
    if (!generated || songChanged()) generateAll();
    vmixUse(0);
    showModes();
    refreshTrackLights();
}

void BLVMixPanel::afterHide()
{
    // The groove panel shows the transport again.
    if (BLGroovePanel* g = groove(); g && player().display == this) g->beforeShow();
}

bool BLVMixPanel::songChanged() const
{
    const BLGroovePanel* g = groove();
    return g && std::strcmp(songFolder, g->controller().model.songFolder.path) != 0;
}

// ---- Slots ----------------------------------------------------------------------

void BLVMixPanel::vmixStore(int16_t n)
{
    BLGroovePanel* g = groove();
    if (!g || n < 0 || n >= kSlots) return;
    slots[n] = g->controller().model.stored;
    BLVMix_setDuration(slots[n], slotDuration[n]);
    g->controller().model.stored = slots[n];
}

void BLVMixPanel::vmixRandomize(int16_t n)
{
    BLGroovePanel* g = groove();
    if (!g || n < 0 || n >= kSlots) return;
    const BLSongLibrary& lib = g->controller().model.library();
    const int16_t style = blPrefs.vmix.styleOfSlot(lib, n);
    if (style >= 0)
        g->setupVMix(style);
    else
        g->setupVMixFromGroups();
    // A style or the groups that an earlier slot uses too are told apart by number.
    int repeat = 1;
    for (int16_t k = 0; k < n; ++k) repeat += blPrefs.vmix.styleOfSlot(lib, k) == style;
    const std::string base =
        style >= 0 ? std::string(lib.styles[style].name) : blIntl.message(kMsgGroups).c_str();
    std::snprintf(slotName[n], sizeof slotName[n], "%s",
                  repeat > 1 ? (base + " " + std::to_string(repeat)).c_str() : base.c_str());
    vmixStore(n);
}

void BLVMixPanel::generateAll()
{
    for (int16_t n = 0; n < kSlots; ++n) vmixRandomize(n);
    generated = true;
    if (const BLGroovePanel* g = groove())
        std::snprintf(songFolder, sizeof songFolder, "%s", g->controller().model.songFolder.path);
    refreshSlots();
}

void BLVMixPanel::vmixUse(int16_t n)
{
    BLGroovePanel* g = groove();
    if (!g || n < 0 || n >= kSlots) return;
    currentSlot = n;
    g->controller().model.stored = slots[n];
    if (kelPanelControl* c = control(kItemDuration)) c->setValue(slots[n].userLength);
    refreshDurationText();
    refreshSlots();
    setText(kItemStyleName, slotName[n]);
    g->refreshStrips();
}

void BLVMixPanel::refreshSlots()
{
    for (int16_t n = 0; n < kSlots; ++n) {
        setImage(static_cast<int16_t>(kItemFirstSlot + n), n == currentSlot ? 2 : 1);
        setText(static_cast<int16_t>(kItemFirstSlotName + n), slotName[n]);
    }
}

void BLVMixPanel::startSequence()
{
    BLGroovePanel* g = groove();
    if (!g) return;
    g->controller().setSequencePosition(-1);
    player().syncPending = false;
    player().syncingLightWanted = false;
    player().playSequence();
}

void BLVMixPanel::onItem_vmix(int16_t n)
{
    if (n < 0 || n >= kSlots) return;
    vmixUse(n);
    player().stop();
    startSequence();
    refreshTrackLights();
}

void BLVMixPanel::onItem_newVmix()
{
    const bool wasPlaying = player().playing;
    player().stop();
    generateAll();
    vmixUse(currentSlot);
    if (wasPlaying) startSequence();
    refreshTrackLights();
}

void BLVMixPanel::onItem_duration(int16_t duration)
{
    BLGroovePanel* g = groove();
    if (!g) return;
    slotDuration[currentSlot] = std::clamp<int16_t>(duration, 0, kBLVMixMaxDuration);
    BLVMix_setDuration(slots[currentSlot], slotDuration[currentSlot]);
    g->controller().model.stored = slots[currentSlot];
    if (kelPanelControl* c = control(kItemDuration); c && !liveChange)
        c->setValue(slots[currentSlot].userLength);
    refreshDurationText();
    showProgress();
}

void BLVMixPanel::optionsChanged(bool mixes, bool length)
{
    if (!generated) return;
    if (length)
        for (int16_t n = 0; n < kSlots; ++n) {
            slotDuration[n] = blPrefs.vmix.duration;
            BLVMix_setDuration(slots[n], slotDuration[n]);
        }
    if (mixes) {
        for (int16_t n = 0; n < kSlots; ++n) vmixRandomize(n);
        refreshSlots();
    }
    vmixUse(currentSlot);
    // The groove playing ends its cycle; the new mix starts with its first.
    if (mixes && player().playing && player().sequenceMode)
        if (BLGroovePanel* g = groove()) g->controller().setSequencePosition(-1);
}

int16_t BLVMixPanel::nextSlot() const
{
    if (listOrder) return static_cast<int16_t>((currentSlot + 1) % kSlots);
    if (randomOrder) {
        int16_t n = currentSlot;
        while (n == currentSlot) n = static_cast<int16_t>(KEL_Random(kSlots));
        return n;
    }
    return currentSlot;
}

void BLVMixPanel::onItem_switchToGroove(bool restore)
{
    player().stop();
    // The groove panel's transport was not shown meanwhile: it starts afresh.
    player().resetCommon();
    refreshTrackLights();
    if (BLGroovePanel* g = groove()) g->vmixHandOver(restore);
    PWScreen.hide(screenIndex);
    afterHide();
}

void BLVMixPanel::leave()
{
    const int16_t answer = BL_Notify(kMsgKeepMix, kYesNoCancel);
    if (answer == kAnswerNo) {
        onItem_switchToGroove(true);
    } else if (answer == kAnswerYes) {
        // The mix takes the place of the user's grooves and sequence.
        if (BLGroovePanel* g = groove())
            g->controller().guardWork(BLGrooveController::WorkReason::mix, "",
                                      [this] { onItem_switchToGroove(false); });
        else
            onItem_switchToGroove(false);
    }
}

// ---- Modes and texts ------------------------------------------------------------

void BLVMixPanel::setRegenerate(bool on)
{
    regenerate = on;
    showModes();
}

void BLVMixPanel::setRandomOrder(bool on)
{
    randomOrder = on;
    if (on) listOrder = false;
    showModes();
}

void BLVMixPanel::setListOrder(bool on)
{
    listOrder = on;
    if (on) randomOrder = false;
    showModes();
}

void BLVMixPanel::setBars(bool on)
{
    bars = on;
    showModes();
    refreshDurationText();
}

void BLVMixPanel::showModes()
{
    setImage(kItemRadio, regenerate ? 2 : 1);
    setImage(kItemRandomOrder, randomOrder ? 2 : 1);
    setImage(kItemListOrder, listOrder ? 2 : 1);
    setImage(kItemTime, bars ? 1 : 2);
    setImage(kItemBars, bars ? 2 : 1);
}

void BLVMixPanel::refreshDurationText()
{
    BLVMix_durationText(slots[currentSlot].userLength, bars, player().bpm, durationText, sizeof durationText);
    setText(kItemDurationText, durationText);
}

void BLVMixPanel::showProgress()
{
    const BLGroovePanel* g = groove();
    const int16_t length = g ? g->controller().model.stored.length : 0;
    const bool playing = player().playing && player().sequenceMode && playingEntry >= 0 && length > 0;
    // Idle passes come every millisecond: only a change is shown.
    const long state =
        ((playing ? long{playingEntry} + 1 : 0) * 1000 + length) * 64 + (playing ? player().beat + 1 : 0);
    if (state == shownProgress) return;
    shownProgress = state;
    char text[sizeof partText] = {};
    if (playing) {
        const int entry = std::min<int>(playingEntry, length - 1);
        std::snprintf(text, sizeof text, "%s", fillNumbers(kMsgPart, {entry + 1, length}).c_str());
    } else if (length == 0) {
        std::snprintf(text, sizeof text, "%s", blIntl.message(kMsgNoLoops).c_str());
    } else {
        std::snprintf(text, sizeof text, "%s", fillNumbers(kMsgParts, {length}).c_str());
    }
    if (std::strcmp(text, partText) != 0) {
        std::memcpy(partText, text, sizeof partText);
        setText(kItemPart, partText);
    }
    int16_t value = 0;
    if (playing) {
        const int beat = std::max<int>(player().beat, 0);
        value = static_cast<int16_t>(
            std::min(100, (std::min<int>(playingEntry, length - 1) * 32 + beat + 1) * 100 / (length * 32)));
    }
    if (value != lastProgress) {
        lastProgress = value;
        if (kelPanelControl* c = control(kItemProgress)) c->setValue(value);
    }
}

void BLVMixPanel::refreshTrackLights()
{
    BLGroovePanel* g = groove();
    const bool playing = player().playing;
    for (int16_t t = 0; t < kTracks; ++t) {
        const uint16_t id = g ? g->controller().model.sampleIds[t] : kBLNoSample;
        const bool inUse = g && id != kBLNoSample && g->controller().model.audible[t];
        lights[t] = static_cast<int16_t>(inUse && playing ? t + 1 : -(t + 1));
        setImage(static_cast<int16_t>(kItemFirstLight + t), lights[t] > 0 ? 2 : 1);
        // The loop's name while it plays.
        const uint16_t shown = lights[t] > 0 ? id : kBLNoSample;
        if (shown == shownSamples[t]) continue;
        shownSamples[t] = shown;
        char text[2 * kBLNameSize + 4] = {};
        if (shown != kBLNoSample) {
            const BLTrack& k = g->controller().model.current.tracks[t];
            const BLSongLibrary& lib = g->controller().model.library();
            if (lib.hasSlot(k.group, k.slot))
                std::snprintf(text, sizeof text, "%s: %s", lib.groups[k.group].name,
                              lib.getIndexStr(k.group, k.slot));
        }
        setText(static_cast<int16_t>(kItemFirstLoop + t), text);
    }
    showProgress();
}

void BLVMixPanel::metersIdle()
{
    const BLGroovePanel* g = groove();
    const uint32_t now = KEL_Ticks();
    if (!g || now == lastMeterTick) return;
    lastMeterTick = now;
    for (int16_t t = 0; t < kTracks; ++t) {
        const int16_t level = lights[t] > 0 ? g->meterShown[t] : int16_t{0};
        if (level == meterShown[t]) continue;
        meterShown[t] = level;
        if (kelPanelControl* c = control(static_cast<int16_t>(kItemFirstMeter + t))) c->setValue(level);
    }
}

// ---- Events ---------------------------------------------------------------------

void BLVMixPanel::onItem()
{
    const int16_t item = hitItem;
    if (item == kItemBpmScroll) {
        if (kelPanelControl* c = control(item)) player().hitBpmScroll(c->get());
        return;
    }
    if (item == kItemDuration) {
        if (kelPanelControl* c = control(item)) onItem_duration(c->get());
        return;
    }
    if (item == kItemMainVolume) return player().hitMainVolume();
    if (liveChange) return;
    if (item >= kItemFirstSlot && item < kItemFirstSlot + kSlots)
        return onItem_vmix(static_cast<int16_t>(item - kItemFirstSlot));
    switch (item) {
        case kItemClose:
        case kItemGrooves: leave(); break;
        case kItemPlay:
            if (!(player().playing && player().sequenceMode)) {
                player().stop();
                startSequence();
            }
            break;
        case kItemStop: player().stop(); break;
        case kItemBpmDown: player().hitBpmUp(-0.2f); break;
        case kItemBpmUp: player().hitBpmUp(0.2f); break;
        case kItemTap: player().hitBpmTap(); break;
        case kItemNewMixes: onItem_newVmix(); break;
        case kItemRadio: setRegenerate(!regenerate); break;
        case kItemRandomOrder: setRandomOrder(!randomOrder); break;
        case kItemListOrder: setListOrder(!listOrder); break;
        case kItemTime: setBars(false); break;
        case kItemBars: setBars(true); break;
        case kItemLibrary: PWScreen.show(kPWLoadPanel); break;
        case kItemHelp: BL_HelpButton(kPWVMixPanel); break;
        case kItemNetwork: PWScreen.toggle(kPWNetPanel); break;
        case kItemOptions: PWScreen.show(kPWRandMixPanel); break;
        default: break;
    }
}

void BLVMixPanel::onKey()
{
    if (kelGlo.what == kelKeyUp) return;
    if (kelGlo.what == kelKeyDown && kelGlo.specialKey == 20) {
        // Escape closes what lies over the mix first, then leaves it.
        for (int16_t i = PWScreenClass::kPanelCount - 1; i > screenIndex && screenIndex >= 0; --i)
            if (PWScreen.isVisible(i)) return PWScreen.hide(i);
        leave();
        return;
    }
    const uint8_t c = kelGlo.keyChar;
    // Commands act on the first press, steps also while the key repeats.
    const bool firstPress = kelGlo.what == kelKeyDown && PWScreen.keyHeld[c] <= 1;
    switch (c) {
        case '+':
        case kelArrowRight: player().hitBpmUp(0.2f); return;
        case '-':
        case kelArrowLeft: player().hitBpmUp(-0.2f); return;
        case kelArrowUp: player().addMainVolume(1); return;
        case kelArrowDown: player().addMainVolume(-1); return;
        default: break;
    }
    if (!firstPress) return;
    if (c >= '1' && c < '1' + kSlots) return onItem_vmix(static_cast<int16_t>(c - '1'));
    switch (std::tolower(c)) {
        case ' ':
        case '@':
            if (player().playing)
                player().stop();
            else
                startSequence();
            break;
        case 'n': onItem_newVmix(); break;
        case 'r': setRegenerate(!regenerate); break;
        case 't': player().hitBpmTap(); break;
        case 'l': PWScreen.show(kPWLoadPanel); break;
        case 'o': PWScreen.show(kPWRandMixPanel); break;
        default: break;
    }
}

void BLVMixPanel::onIdle()
{
    player().idle();
    BLGroovePanel* g = groove();
    // A document opened meanwhile: what it holds is what "No" brings back
    // (a document saved meanwhile holds the mix itself).
    if (g && visible && std::strcmp(documentPath, g->controller().model.lastDocument.path) != 0) {
        std::snprintf(documentPath, sizeof documentPath, "%s", g->controller().model.lastDocument.path);
        if (!g->controller().model.workHeld()) {
            g->controller().model.holdWork();
            if (!songChanged()) vmixUse(currentSlot);
        }
    }
    // Another song was opened meanwhile (the song browser): its own mixes.
    if (g && generated && visible && songChanged()) {
        const bool wasPlaying = player().playing;
        player().stop();
        g->controller().model.holdWork();
        common_setSongLabel(g->songName);
        generateAll();
        vmixUse(0);
        if (wasPlaying) startSequence();
        refreshTrackLights();
    }
    metersIdle();
    if (player().playing && player().sequenceMode) showProgress();
}

// ---- What the player shows ----------------------------------------------------------

void BLVMixPanel::common_setPlayDisplay(bool playing)
{
    setImage(kItemPlay, playing ? 2 : 1);
    if (!playing) common_doInterfaceReset();
    refreshTrackLights();
}

void BLVMixPanel::common_setSeqPlayLed(bool on)
{
    setImage(kItemPlay, on || player().playing ? 2 : 1);
}

void BLVMixPanel::common_setPlaybarLed(short led, short state)
{
    if (led >= 0 && led < 8)
        setImage(static_cast<int16_t>(kItemFirstBeat + led), static_cast<int16_t>(state + 1));
}

void BLVMixPanel::common_setSyncingLed(bool on)
{
    setImage(kItemSyncLight, on ? 2 : 1);
}

void BLVMixPanel::common_setPlaybarLabel(const char* text)
{
    std::snprintf(positionText, sizeof positionText, "%s", text ? text : "");
    setText(kItemPosition, positionText);
}

void BLVMixPanel::common_setMainVolLabel(short volume)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", volume);
    setText(kItemMainVolumeLabel, text);
}

void BLVMixPanel::common_setSongLabel(const char* text)
{
    setText(kItemSong, text);
}

void BLVMixPanel::common_eventGrooveStart()
{
    if (const BLGroovePanel* g = groove()) playingEntry = g->controller().sequencePosition();
    refreshTrackLights();
}

void BLVMixPanel::common_eventGrooveSync()
{
    BLGroovePanel* g = groove();
    if (!g) return;
    if (g->controller().sequencePosition() + 1 >= g->controller().model.stored.length) {
        const int16_t next = nextSlot();
        if (regenerate) vmixRandomize(next);
        vmixUse(next);
        g->controller().setSequencePosition(-1);
        refreshDurationText();
        ++chains;
    }
    g->common_eventGrooveSync();
}

void BLVMixPanel::common_eventSeqPlayStart()
{
    if (const BLGroovePanel* g = groove())
        playingEntry = std::max<int16_t>(g->controller().sequencePosition(), 0);
    refreshTrackLights();
}

void BLVMixPanel::common_eventSeqPlayStop()
{
    playingEntry = -1;
    refreshTrackLights();
}

void BLVMixPanel::common_setBpmLabel(const char* text)
{
    std::snprintf(bpmText, sizeof bpmText, "%s", text ? text : "");
    setText(kItemBpmLabel, bpmText);
    // The duration in time follows the tempo.
    refreshDurationText();
}

void BLVMixPanel::common_setBpmScroll(short position)
{
    if (kelPanelControl* c = control(kItemBpmScroll)) c->setValue(static_cast<int16_t>(position));
}

void BLVMixPanel::common_setBpmRange(short low, short high)
{
    if (kelPanelControl* c = control(kItemBpmScroll)) {
        c->setValue(kelPropMinimum, static_cast<int16_t>(low));
        c->setValue(kelPropMaximum, static_cast<int16_t>(high));
    }
}

void BLVMixPanel::common_setLabel(short label, const char* text)
{
    if (label != 0) return;
    std::snprintf(stateText, sizeof stateText, "%s", text ? text : "");
    setText(kItemState, stateText);
}

void BLVMixPanel::common_doInterfaceReset()
{
    for (short i = 0; i < 8; ++i) common_setPlaybarLed(i, 0);
    common_setPlaybarLabel("--:--:--");
    common_setSyncingLed(false);
}

void BLVMixPanel::common_setHelpModeDisplay(short mode)
{
    setImage(kItemHelp, mode >= 0 ? 2 : 1);
}
