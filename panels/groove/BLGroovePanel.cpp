#include "panels/groove/BLGroovePanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/BLEngine.h"
#include "audio/fx/FxSettings.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "panels/browser/BLLoadRules.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/help/BLHelps.h"
#include "panels/startup/PWmain.h"
#include "panels/synth/BLSynthPanel.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "platform/PlatMidi.h"
#include "platform/PlatRecovery.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace gi = grooveitem;

namespace {
// "This song plays from %s to %s BPM."
constexpr int16_t kMsgTempoRange = 341;
constexpr int16_t kMsgOutputLost = 408;
}  // namespace

BLGroovePanel* blGroovePanel = nullptr;

BLGroovePanel::BLGroovePanel(BLGrooveController& controller) : groove(controller)
{
    groove.setDisplay(this);
    docPath.set("Untitled");
    blGroovePanel = this;
    blLoadHost = this;
}

BLGroovePanel::~BLGroovePanel()
{
    groove.setDisplay(nullptr);
    if (blGroovePanel == this) blGroovePanel = nullptr;
    if (blLoadHost == this) blLoadHost = nullptr;
    // The player outlives the panel: it must not show on it any more.
    if (player().display == this) player().display = nullptr;
    player().setGroovePanel(nullptr, &groove);
}

void BLGroovePanel::connected()
{
    // The groove panel is the stage itself: it is never shown through the
    // screen's show(), so it takes the transport display when it connects.
    player().setGroovePanel(this, &groove);
    player().userGroove();
    player().refreshCommon();
}

void BLGroovePanel::onPanelOpened()
{
    groove.open();
    docPath.set("Untitled");
    afterSave = nullptr;
    setVolumeControl(groove.volumeControl());
    setPanControl(groove.panControl());
    for (int16_t t = 0; t < gi::kTracks; ++t) showTrack(t);
    showModeButtons();
    keyLockShown();
    recordShown();
    // The takes' menu is filled as it is pressed.
    if (kelPanelControl* c = control(gi::takes)) c->setValue(kelPropReportOnPress, int16_t{1});
    takesShown = static_cast<size_t>(-1);
    showLaunchGrid();
    refreshStrips();
    setRndStyleName(-1);
    showMainVolume(player().mainVolume);
    loadHints();
    shownHint = -2;
    hintMouseX = hintMouseY = -1;
    common_doInterfaceReset();
    common_setLabel(0, "Stop");
}

void BLGroovePanel::onPanelClosed()
{
    groove.close();
}

void BLGroovePanel::beforeShow()
{
    player().setGroovePanel(this, &groove);
    player().userGroove();
    player().refreshCommon();
}

// ---- Controls -------------------------------------------------------------

void BLGroovePanel::setText(int16_t item, const char* text)
{
    if (kelPanelControl* c = control(item)) c->setValue(const_cast<char*>(text ? text : ""));
}

void BLGroovePanel::setNumber(int16_t item, int16_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    setText(item, text);
}

void BLGroovePanel::setImage(int16_t item, int16_t image)
{
    if (kelPanelControl* c = control(item)) c->setValue(kelPropImageIndex, image);
}

int16_t BLGroovePanel::labelValue(int16_t item, char* out, int outSize) const
{
    const char* text = "";
    if (item == gi::volumeLabel)
        text = volumeText;
    else if (item == gi::panLabel)
        text = panText;
    else if (item == gi::mainVolumeLabel)
        text = mainVolumeText;
    else if (item == gi::bpmLabel)
        text = bpmText;
    else if (item == gi::positionLabel)
        text = positionText;
    else if (item == gi::stateLabel)
        text = stateText;
    std::snprintf(out, static_cast<size_t>(outSize), "%s", text);
    return static_cast<int16_t>(std::strlen(out));
}

void BLGroovePanel::openPanel(int16_t index)
{
    PWScreen.show(index);
}

// ---- Items ----------------------------------------------------------------

void BLGroovePanel::onItem()
{
    const int16_t item = hitItem;
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        if (item == gi::trackLight[t]) return onItem_trackLed(t);
        if (item == gi::trackButton[t]) return onItem_trackButton(t);
        if (item == gi::groupMenu[t]) return onItem_sampSelGroup(t);
        if (item == gi::loopMenu[t]) return onItem_sampSelIndex(t);
        if (item == gi::fxButton[t] && !liveChange) return openEffects(t);
    }
    if (item == gi::fxMain && !liveChange) return openEffects(kFxMain);
    for (int16_t r = 0; r < 4; ++r)
        if (item == gi::randomButton[r]) {
            if (!liveChange) randomize(r);
            return;
        }
    for (int16_t i = 0; i < gi::kStripEntries; ++i) {
        if (item == gi::grooveEntry[i]) return grooveEntryHit(i);
        if (item == gi::sequenceEntry[i]) return sequenceEntryHit(i);
    }
    if (item == gi::volume) {
        if (kelPanelControl* k = control(item)) volumeShown = k->get();
        return onItem_volume();
    }
    if (item == gi::pan) {
        if (kelPanelControl* k = control(item)) panShown = k->get();
        return onItem_pan();
    }
    if (item == gi::bpmScroll) {
        if (kelPanelControl* k = control(item)) groove.setTempoSlider(k->get());
        return;
    }
    if (item == gi::mainVolume) return player().hitMainVolume(this);
    if (item == gi::takes) return liveChange ? fillTakesMenu() : onItem_takes();
    if (liveChange) return;
    switch (item) {
        case gi::quit:
            kelGlo.what = kelCloseEvt;
            PWScreen.events();
            break;
        case gi::play:
            groove.togglePlay();
            common_setPlayDisplay(player().playing);
            break;
        case gi::seqPlay:
            groove.toggleSequencePlay();
            common_setSeqPlayLed(player().playing && player().sequenceMode);
            break;
        case gi::bpmDown: groove.stepTempo(-0.2f); break;
        case gi::bpmUp: groove.stepTempo(0.2f); break;
        case gi::tap: groove.tap(player().tickNow()); break;
        case gi::keyLock: onItem_keyLock(); break;
        case gi::record: groove.toggleRecord(); break;
        case gi::launchGrid: onItem_launchGrid(); break;
        case gi::empty: onItem_empty(); break;
        case gi::solo: onItem_solo(); break;
        case gi::group: onItem_group(); break;
        case gi::all: onItem_all(); break;
        case gi::keep: onItem_keep(-1); break;
        case gi::store: groove.store(); break;
        case gi::rewrite: groove.rewrite(); break;
        case gi::removeGroove: groove.removeGroove(); break;
        case gi::addAll: groove.addAll(); break;
        case gi::removeAll: groove.clearAll(kelGlo.shiftDown != 0); break;
        case gi::groovesLeft: groove.grooveStrip().scrollBy(-1); break;
        case gi::groovesRight: groove.grooveStrip().scrollBy(1); break;
        case gi::sequenceLeft: groove.sequenceStrip().scrollBy(-1); break;
        case gi::sequenceRight: groove.sequenceStrip().scrollBy(1); break;
        case gi::save: onItem_Save(); break;
        case gi::load: onItem_Load(); break;
        case gi::vmix: openPanel(kPWVMixPanel); break;
        case gi::synth: openPanel(kPWSynthPanel); break;
        case gi::net: openPanel(kPWNetPanel); break;
        case gi::tuner: openPanel(kPWLoopTunerPanel); break;
        case gi::library: openPanel(kPWLoadPanel); break;
        case gi::prefs: openPanel(kPWPrefsPanel); break;
        case gi::info: openPanel(kPWInfoPanel); break;
        case gi::diskMix: onItem_diskMix(); break;
        case gi::help: BL_HelpButton(kPWGroovePanel); break;
        default: break;
    }
}

// ---- Documents ------------------------------------------------------------

namespace {
constexpr int16_t kRequestLoad = 1;
constexpr int16_t kRequestSave = 2;
}  // namespace

void BLGroovePanel::onItem_Save()
{
    if (BLPath::dialogPending()) return;
    dialogStart();
    docPath.asyncDialogPut(kPWGroovePanel, kRequestSave, 0);
}

void BLGroovePanel::onItem_Load()
{
    if (BLPath::dialogPending()) return;
    dialogStart();
    docPath.asyncDialogGet(kPWGroovePanel, kRequestLoad, 0);
}

void BLGroovePanel::asyncDialogMessage(BLPath* path)
{
    if (!path) return;
    if (path == &diskMixPath) {
        diskMixResult(path);
        return;
    }
    if (path == &renameEntry) {
        renameTakeAnswered();
        return;
    }
    if (path->requestCode == kRequestSave) {
        // Saving for the question's sake: what it held runs once saved.
        std::function<void()> then = std::move(afterSave);
        afterSave = nullptr;
        if (path->dialogOk && groove.saveWork(path->path) && then) then();
        return;
    }
    // Cancelled: nothing changes, the music goes on.
    if (!path->dialogOk) return;
    // A document named on the command line arrives as a finished open dialog.
    char name[kKelNameMax + 1] = "";
    path->getName(name);
    const std::string chosen = path->path;
    groove.guardWork(BLGrooveController::WorkReason::open, name,
                     [this, chosen] { groove.openDocument(chosen); });
}

void BLGroovePanel::askSavePath(std::function<void()> then)
{
    if (BLPath::dialogPending()) return;
    afterSave = std::move(then);
    onItem_Save();
}

void BLGroovePanel::workShown()
{
    // The work is what the user looks at now: the song browser in front
    // would take its keys.
    PWScreen.hide(kPWLoadPanel);
}

bool BLGroovePanel::browsing()
{
    return PWScreen.isVisible(kPWLoadPanel);
}

// ---- Songs ------------------------------------------------------------------

bool BLGroovePanel::loadSong(const char* folder)
{
    lightGame_End();
    return groove.loadSong(folder);
}

bool BLGroovePanel::auditionSong(const char* folder)
{
    lightGame_End();
    return groove.auditionSong(folder);
}

void BLGroovePanel::auditionEnd()
{
    if (!groove.model.auditioning()) return;
    lightGame_End();
    groove.auditionEnd();
}

void BLGroovePanel::closeSong()
{
    lightGame_End();
    groove.closeSong();
}

void BLGroovePanel::songShown()
{
    const BLSongLibrary& lib = groove.model.library();
    // Titles and folder names may be UTF-8; the skin font draws 8-bit text.
    std::snprintf(
        songName, sizeof songName, "%s",
        KEL_NameToLatin1(lib.title[0] ? BL_ShownTitle(lib.title) : std::string(lib.folderName)).c_str());
    common_setSongLabel(songName);
    for (int16_t t = 0; t < gi::kTracks; ++t) showTrack(t);
    setRndStyleName(-1);
    if (blSynthPanel) blSynthPanel->ledsForArpKeys(lib.arpNotes);
}

// ---- What the player shows ---------------------------------------------------

void BLGroovePanel::common_setPlayDisplay(bool playing)
{
    setImage(gi::play, playing ? 2 : 1);
}

void BLGroovePanel::common_setSeqPlayLed(bool on)
{
    setImage(gi::seqPlay, on ? 2 : 1);
}

void BLGroovePanel::common_setPlaybarLed(short led, short state)
{
    if (led >= 0 && led < 8) setImage(gi::positionLight[led], static_cast<int16_t>(state + 1));
}

void BLGroovePanel::common_setSyncingLed(bool on)
{
    setImage(gi::syncLight, on ? 2 : 1);
}

void BLGroovePanel::common_setPlaybarLabel(const char* text)
{
    std::snprintf(positionText, sizeof positionText, "%s", text ? text : "");
    setText(gi::positionLabel, positionText);
}

void BLGroovePanel::common_setMainVolLabel(short volume)
{
    std::snprintf(mainVolumeText, sizeof mainVolumeText, "%d", volume);
    setText(gi::mainVolumeLabel, mainVolumeText);
    showMainVolume(volume);
}

void BLGroovePanel::common_setSongLabel(const char* text)
{
    setText(gi::songLabel, text);
}

void BLGroovePanel::common_setHelpModeDisplay(short mode)
{
    setImage(gi::help, mode >= 0 ? 2 : 1);
    // The hint line tells how the mode works, or names controls again.
    helpMode = mode;
    shownHint = -2;
    hintMouseX = hintMouseY = -1;
}

void BLGroovePanel::common_setSynthLed(bool on)
{
    setImage(gi::synthLight, on ? 2 : 1);
}

void BLGroovePanel::common_eventGrooveSync()
{
    groove.model.seqActivateNext();
}

void BLGroovePanel::common_setBpmLabel(const char* text)
{
    std::snprintf(bpmText, sizeof bpmText, "%s", text ? text : "");
    setText(gi::bpmLabel, bpmText);
}

void BLGroovePanel::common_setBpmScroll(short position)
{
    if (kelPanelControl* c = control(gi::bpmScroll)) c->setValue(static_cast<int16_t>(position));
}

void BLGroovePanel::common_setBpmRange(short low, short high)
{
    if (kelPanelControl* c = control(gi::bpmScroll)) {
        c->setValue(kelPropMinimum, static_cast<int16_t>(low));
        c->setValue(kelPropMaximum, static_cast<int16_t>(high));
    }
}

void BLGroovePanel::common_tempoAtEnd(float slowest, float fastest)
{
    char low[16], high[16];
    std::snprintf(low, sizeof low, "%1.1f", slowest);
    std::snprintf(high, sizeof high, "%1.1f", fastest);
    sayInHint(blIntl.messageWithNames(kMsgTempoRange, {low, high}));
}

void BLGroovePanel::common_outputLost()
{
    sayInHint(blIntl.message(kMsgOutputLost).c_str());
}

void BLGroovePanel::common_setLabel(short label, const char* text)
{
    if (label != 0) return;
    std::snprintf(stateText, sizeof stateText, "%s", text ? text : "");
    setText(gi::stateLabel, stateText);
}

void BLGroovePanel::common_doInterfaceReset()
{
    for (short i = 0; i < 8; ++i) common_setPlaybarLed(i, 0);
    common_setPlaybarLabel("--:--");
    common_setSyncingLed(false);
}
