#include "panels/groove/BLGroovePanel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/BLEngine.h"
#include "core/BLInternational.h"
#include "core/kelCore.h"
#include "core/kelTextCodec.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/help/BLHelps.h"
#include "panels/groove/BLGroovePanelParts.h"
#include "panels/browser/BLLoadRules.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "panels/synth/BLSynthPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatMidi.h"
#include "platform/PlatRecovery.h"
#include "ui/PWScreen.h"
#include "ui/kelPanelControl.h"

namespace gi = grooveitem;

namespace {
// "The disk did not answer in time ..."
constexpr int16_t kMsgDiskStalled = 60;
// "This song plays from %s to %s BPM."
constexpr int16_t kMsgTempoRange = 341;
constexpr int16_t kMsgOutputLost = 408;
}  // namespace

BLGroovePanel* blGroovePanel = nullptr;

void BLPanelEngine::play()
{
    if (gep) gep->play();
}

bool BLPanelEngine::loaderStalled()
{
    return gep && gep->loaderStalled();
}
int16_t BLPanelEngine::trackWaitBeats(int16_t track)
{
    return gep ? static_cast<int16_t>(std::min(gep->trackWaitBeats(track), 999)) : int16_t{0};
}

bool BLPanelEngine::takePeaks(int16_t track, int16_t& left, int16_t& right)
{
    if (!gep) return false;
    ttPeak* l = nullptr;
    ttPeak* r = nullptr;
    gep->getTrackPeaks(track, &l, &r);
    if (!l || !r || l->load() == -1) return false;
    left = l->exchange(-1);
    right = r->exchange(-1);
    return true;
}

BLGroovePanel::BLGroovePanel(BLPlayer* p, BLPanelEngine* e)
    : fixedPlayer(p),
      fixedEngine(e),
      playerLink(new PlayerLink(*this)),
      netLink(new NetLink(link)),
      grooveStrip(new Strip(*this, gi::grooveEntry, 1)),
      sequenceStrip(new Strip(*this, gi::sequenceEntry, 4))
{
    BLGrooveLinks links;
    links.engine = &engine();
    links.player = playerLink;
    links.net = netLink;
    ableton.setOwnLink(&link);
    links.grooveStrip = grooveStrip;
    links.sequenceStrip = sequenceStrip;
    links.questions = &questions;
    links.view = this;
    model.setLinks(links);
    createKeeper();
    docPath.set("Untitled");
    blGroovePanel = this;
    blLoadHost = this;
}

BLGroovePanel::~BLGroovePanel()
{
    if (blGroovePanel == this) blGroovePanel = nullptr;
    if (blLoadHost == this) blLoadHost = nullptr;
    // The player outlives the panel: it must not show on it any more.
    if (BLPlayer* p = fixedPlayer ? fixedPlayer : blPlayer) {
        p->setGroovePanel(nullptr, nullptr);
        if (p->display == this) p->display = nullptr;
    }
    delete playerLink;
    delete netLink;
    delete grooveStrip;
    delete sequenceStrip;
}

BLPlayer& BLGroovePanel::player() const
{
    if (fixedPlayer) return *fixedPlayer;
    static BLPlayer none;
    return blPlayer ? *blPlayer : none;
}

BLPanelEngine& BLGroovePanel::engine()
{
    return fixedEngine ? *fixedEngine : facade;
}

void BLGroovePanel::connected()
{
    // The groove panel is the stage itself: it is never shown through the
    // screen's show(), so it takes the transport display when it connects.
    player().setGroovePanel(this, this);
    player().userGroove();
    player().refreshCommon();
}

void BLGroovePanel::onPanelOpened()
{
    for (Track& t : tracks) t = Track{};
    model.current.reset();
    std::fill(std::begin(model.sampleIds), std::end(model.sampleIds), kBLNoSample);
    std::fill(std::begin(model.audible), std::end(model.audible), true);
    soloMode = groupMode = allMode = soloApplied = false;
    keptCount = 0;
    model.modified = false;
    model.syncMode = false;
    model.stored = BLSequence{};
    grooveStrip->selected = sequenceStrip->selected = 0;
    grooveStrip->first = sequenceStrip->first = 0;
    currentRandomSet = -1;
    link.startListen();
    link.startFromConfig();
    ableton.startFromConfig();
    model.lastDocument.set("Untitled");
    docPath.set("Untitled");
    afterSave = nullptr;
    model.selectTrack(0);
    setVolumeControl(64);
    setPanControl(0);
    for (int16_t t = 0; t < gi::kTracks; ++t) showTrack(t);
    showModeButtons();
    showKeyLock();
    showLaunchGrid();
    refreshStrips();
    setRndStyleName(-1);
    showMainVolume(player().mainVolume);
    loadHints();
    shownHint = -2;
    hintMouseX = hintMouseY = -1;
    common_doInterfaceReset();
    common_setLabel(0, "Stop");
    keeper().reset(true);
}

void BLGroovePanel::onPanelClosed()
{
    midiClose();
    player().stop();
    link.close();
}

void BLGroovePanel::beforeShow()
{
    player().setGroovePanel(this, this);
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
    if (item == gi::volumeLabel) text = volumeText;
    else if (item == gi::panLabel) text = panText;
    else if (item == gi::mainVolumeLabel) text = mainVolumeText;
    else if (item == gi::bpmLabel) text = bpmText;
    else if (item == gi::positionLabel) text = positionText;
    else if (item == gi::stateLabel) text = stateText;
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
    }
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
        if (kelPanelControl* c = control(item)) volumeValue = c->get();
        return onItem_volume();
    }
    if (item == gi::pan) {
        if (kelPanelControl* c = control(item)) panValue = c->get();
        return onItem_pan();
    }
    if (item == gi::bpmScroll) {
        if (kelPanelControl* c = control(item)) player().hitBpmScroll(c->get());
        return;
    }
    if (item == gi::mainVolume) return player().hitMainVolume(this);
    if (liveChange) return;
    switch (item) {
        case gi::quit:
            kelGlo.what = kelCloseEvt;
            PWScreen.events();
            break;
        case gi::play:
            if (player().playing) player().stop();
            else player().play();
            common_setPlayDisplay(player().playing);
            break;
        case gi::seqPlay:
            player().togglePlaySequence();
            common_setSeqPlayLed(player().playing && player().sequenceMode);
            break;
        case gi::bpmDown: player().hitBpmUp(-0.2f); break;
        case gi::bpmUp: player().hitBpmUp(0.2f); break;
        case gi::tap: player().hitBpmTap(); break;
        case gi::keyLock: onItem_keyLock(); break;
        case gi::launchGrid: onItem_launchGrid(); break;
        case gi::empty: onItem_empty(); break;
        case gi::solo: onItem_solo(); break;
        case gi::group: onItem_group(); break;
        case gi::all: onItem_all(); break;
        case gi::keep: onItem_keep(-1); break;
        case gi::store: model.grooves_add(); break;
        case gi::rewrite: model.grooves_rewrite(); break;
        case gi::removeGroove: model.grooves_remove(); break;
        case gi::addAll: model.sequencer_addAll(); break;
        case gi::removeAll: clearAll(); break;
        case gi::groovesLeft: grooveStrip->scrollBy(-1); break;
        case gi::groovesRight: grooveStrip->scrollBy(1); break;
        case gi::sequenceLeft: sequenceStrip->scrollBy(-1); break;
        case gi::sequenceRight: sequenceStrip->scrollBy(1); break;
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
    if (path->requestCode == kRequestSave) {
        // Saving for the question's sake: what it held runs once saved.
        std::function<void()> then = std::move(afterSave);
        afterSave = nullptr;
        if (path->dialogOk && saveWork(path->path) && then) then();
        return;
    }
    // Cancelled: nothing changes, the music goes on.
    if (!path->dialogOk) return;
    // A document named on the command line arrives as a finished open dialog.
    char name[kKelNameMax + 1] = "";
    path->getName(name);
    const std::string chosen = path->path;
    guardWork(WorkReason::open, name, [this, chosen] { openDocument(chosen); });
}

void BLGroovePanel::openDocument(const std::string& path)
{
    player().stop();
    // Read aside: a document that cannot be read leaves the work as it was,
    // unsaved changes and all.
    if (!model.loadDocument(path.c_str())) return;
    workReplaced(true);
    // The document is what the user looks at now: the song browser in
    // front would take its keys.
    PWScreen.hide(kPWLoadPanel);
}

void BLGroovePanel::documentRead()
{
    PWScreen.hide(kPWLoadPanel);
}

// ---- Songs ------------------------------------------------------------------

bool BLGroovePanel::loadSong(const char* folder)
{
    player().stop();
    lightGame_End();
    return model.openSong(folder);
}

void BLGroovePanel::guardSong(const char* folder, const std::string& title, std::function<void()> load)
{
    // The same song again keeps its stored grooves and sequence.
    if (isUserSong(folder)) {
        load();
        return;
    }
    guardWork(WorkReason::song, title, std::move(load));
}

void BLGroovePanel::songTaken() { workReplaced(false); }

bool BLGroovePanel::auditionSong(const char* folder)
{
    lightGame_End();
    if (!model.auditionBegin(folder)) return false;
    randomize(0);
    return true;
}

void BLGroovePanel::auditionEnd()
{
    if (!model.auditioning()) return;
    lightGame_End();
    model.auditionEnd();
}

bool BLGroovePanel::isUserSong(const char* folder) const
{
    kelPath user(model.userSongFolder().c_str());
    const kelPath other(folder ? folder : "");
    return user.path[0] && user.isEqual(&other);
}

std::string BLGroovePanel::userSong() const
{
    char name[kKelNameMax + 1];
    return KEL_File_GetParentName(model.userSongFolder().c_str(), name, sizeof name) ? name : "";
}

void BLGroovePanel::closeSong()
{
    lightGame_End();
    model.closeSong();
}

void BLGroovePanel::songOpened()
{
    const BLSongLibrary& lib = model.library();
    // Titles and folder names may be UTF-8; the skin font draws 8-bit text.
    std::snprintf(songName, sizeof songName, "%s",
                  KEL_NameToLatin1(lib.title[0] ? BL_ShownTitle(lib.title) : std::string(lib.folderName)).c_str());
    common_setSongLabel(songName);
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        fillMenus(t);
        showTrack(t);
    }
    currentRandomSet = -1;
    setRndStyleName(-1);
    if (blSynthPanel) blSynthPanel->ledsForArpKeys(lib.arpNotes);
    if (auto* tuner = dynamic_cast<BLLoopTunerPanel*>(PWfloatPanelPtr[kPWLoopTunerPanel]))
        tuner->songOpened(model.userSongFolder());
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
    model.seqActivateNext();
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

// ---- Play ---------------------------------------------------------------------

void BLGroovePanel::setPlayMode(bool on)
{
    BLPanelEngine& e = engine();
    if (!on) {
        e.stop();
        if (e.loaderStalled()) questions.notify(kMsgDiskStalled, 0);
        return;
    }
    e.play();
    e.changesBegin();
    for (int16_t t = 0; t < gi::kTracks; ++t) {
        model.sampleIds[t] = model.trackSampleId(t);
        const uint16_t id = model.sampleIds[t];
        if (model.audible[t] && player().playing && id != kBLNoSample) {
            const BLTrack& k = model.current.tracks[t];
            e.setTrackSample(t, static_cast<short>(id));
            e.setTrackVolume(t, static_cast<short>(k.volume));
            e.setTrackPan(t, k.pan);
        } else {
            e.setTrackSample(t, -1);
        }
    }
    e.changesEnd();
}

void BLGroovePanel::onItem_seq_Play()
{
    BLSequence& s = model.stored;
    if (s.length <= 0) {
        // Nothing in the sequence: the engine plays the current groove, so
        // that what is heard matches the transport the player shows.
        setPlayMode(true);
        return;
    }
    int16_t entry = sequenceStrip->selection();
    if (entry < 0 || entry >= s.length) entry = 0;
    sequenceStrip->select(entry);
    const int16_t index = s.grooveIDtoIndex(static_cast<int16_t>(s.entries[entry]));
    if (index >= 0) {
        grooveStrip->select(index);
        model.current = s.grooves[index];
        model.groove_restore();
    }
    setPlayMode(true);
    refreshStrips();
}
