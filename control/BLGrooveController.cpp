#include "control/BLGrooveController.h"

#include <algorithm>

#include "audio/BLEngine.h"
#include "audio/Vetro.h"
#include "control/BLGrooveAct.h"
#include "control/BLGrooveNetHost.h"
#include "control/BLGrooveTakes.h"
#include "control/BLOscControls.h"
#include "core/kelCore.h"
#include "library/BLprefs.h"
#include "platform/PlatLink.h"
#include "platform/PlatMidi.h"
#include "platform/PlatRecovery.h"

namespace {
// "The disk did not answer in time ..."
constexpr int16_t kMsgDiskStalled = 60;
}  // namespace

BLGrooveController* blGroove = nullptr;

const char* BLOrigin_Name(BLOrigin o)
{
    switch (o) {
        case BLOrigin::user: return "user";
        case BLOrigin::midi: return "midi";
        case BLOrigin::link: return "link";
        case BLOrigin::abletonLink: return "ableton link";
        case BLOrigin::undo: return "undo";
        case BLOrigin::osc: return "osc";
        case BLOrigin::session: return "session";
        case BLOrigin::take: return "take";
    }
    return "?";
}

// ---- What the model reaches through the controller ------------------------------------

class BLGrooveController::PlayerLink : public BLGroovePlayer {
public:
    explicit PlayerLink(BLGrooveController& c) : controller(c) {}
    bool isPlaying() override { return controller.player().playing; }
    bool isPlayingSequence() override
    {
        return controller.player().playing && controller.player().sequenceMode;
    }
    void play() override { controller.player().play(); }
    void stop() override { controller.player().stop(); }
    float bpm() override { return controller.player().bpm; }
    void setBpm(float tempo) override { controller.player().setBpm(tempo); }
    void gotSongBpm(short tempo) override { controller.player().gotSongBpm(tempo); }
    void setSync(bool on) override { controller.player().setSync(on); }
    void refreshCommon() override { controller.player().refreshCommon(); }

private:
    BLGrooveController& controller;
};

// The model's reports of a track it activated: told as the action's.
class BLGrooveController::NetLink : public BLGrooveNet {
public:
    explicit NetLink(BLGrooveController& c) : controller(c) {}
    void sendSample(int16_t t, int16_t g, int16_t s) override
    {
        controller.told({BLGrooveChange::Kind::loop, t, g, s});
    }
    void sendVolume(int16_t t, int16_t v) override { controller.told({BLGrooveChange::Kind::volume, t, v}); }
    void sendPan(int16_t t, int16_t p) override { controller.told({BLGrooveChange::Kind::pan, t, p}); }

private:
    BLGrooveController& controller;
};

// The keeper's view of the work: the model's document bytes, with what the
// controller and the work parts add, and the document they belong to.
class BLGrooveController::WorkSource : public BLWorkKeeper::Source {
public:
    explicit WorkSource(BLGrooveController& c) : controller(c) {}
    std::vector<uint8_t> capture() override { return controller.model.encodeWork(); }
    std::string document() override { return controller.model.lastDocument.path; }
    bool apply(const std::vector<uint8_t>& bytes, const std::string& document) override
    {
        if (!controller.model.applyWork(bytes)) return false;
        controller.model.lastDocument.set(document.c_str());
        return true;
    }

private:
    BLGrooveController& controller;
};

// ---- Strips --------------------------------------------------------------------------

int16_t BLShownStrip::length() const
{
    const BLSequence& s = owner.model.stored;
    return isSequence ? s.length : s.count;
}

int16_t BLShownStrip::idAt(int16_t entry) const
{
    const BLSequence& s = owner.model.stored;
    if (entry < 0 || entry >= length()) return -1;
    return static_cast<int16_t>(isSequence ? s.entries[entry] : s.grooves[entry].id);
}

void BLShownStrip::select(int16_t entry)
{
    selected = entry;
    if (entry >= 0 && entry < first) first = entry;
    if (entry >= first + kBLStripShown) first = static_cast<int16_t>(entry - kBLStripShown + 1);
}

void BLShownStrip::setScroll(int16_t f)
{
    first = std::max<int16_t>(f, 0);
}

void BLShownStrip::scrollBy(int16_t step)
{
    const int16_t last = std::max<int16_t>(static_cast<int16_t>(length() - kBLStripShown), 0);
    first = std::clamp<int16_t>(static_cast<int16_t>(first + step), 0, last);
    refresh();
}

void BLShownStrip::refresh()
{
    owner.display().stripsShown();
}

// ---- The controller -------------------------------------------------------------------

BLGrooveController::BLGrooveController(BLPlayer* p, BLEngineCalls* e)
    : fixedPlayer(p),
      fixedEngine(e),
      takes_(std::make_unique<Takes>(*this)),
      playerLink(std::make_unique<PlayerLink>(*this)),
      netLink(std::make_unique<NetLink>(*this)),
      linkHost(std::make_unique<BLGrooveNetHost>(*this, BLOrigin::link)),
      abletonHost(std::make_unique<BLGrooveNetHost>(*this, BLOrigin::abletonLink)),
      linkMirror(BLGrooveNetHost::mirrorTo(link))
{
    BLGrooveLinks links;
    links.engine = &engine();
    links.player = playerLink.get();
    links.net = netLink.get();
    links.grooveStrip = &grooves;
    links.sequenceStrip = &sequence;
    links.questions = &questions;
    links.view = this;
    model.setLinks(links);
    link.setHost(linkHost.get());
    ableton.setHost(abletonHost.get());
    ableton.setOwnLink(&link);
    addListener(linkMirror.get());
    createKeeper();
}

void BLGrooveController::createKeeper()
{
    workSource = std::make_unique<WorkSource>(*this);
    workKeeper = std::make_unique<BLWorkKeeper>(*workSource);
}

BLGrooveController::~BLGrooveController()
{
    if (blGroove == this) blGroove = nullptr;
    midiClose();
    // The player outlives the controller: it must not reach it any more.
    if (BLPlayer* p = fixedPlayer ? fixedPlayer : blPlayer) p->setGroovePanel(nullptr, nullptr);
    link.setHost(nullptr);
    ableton.setHost(nullptr);
}

BLPlayer& BLGrooveController::player() const
{
    if (fixedPlayer) return *fixedPlayer;
    static BLPlayer none;
    return blPlayer ? *blPlayer : none;
}

BLEngineCalls& BLGrooveController::engine()
{
    return takes_->calls();
}

BLGrooveDisplay& BLGrooveController::display() const
{
    static BLGrooveDisplay none;
    return display_ ? *display_ : none;
}

void BLGrooveController::addWorkPart(BLWorkPart* part)
{
    if (part && std::find(parts.begin(), parts.end(), part) == parts.end()) parts.push_back(part);
}

void BLGrooveController::removeWorkPart(BLWorkPart* part)
{
    parts.erase(std::remove(parts.begin(), parts.end(), part), parts.end());
}

void BLGrooveController::addListener(BLGrooveListener* listener)
{
    if (listener && std::find(listeners.begin(), listeners.end(), listener) == listeners.end())
        listeners.push_back(listener);
}

void BLGrooveController::removeListener(BLGrooveListener* listener)
{
    listeners.erase(std::remove(listeners.begin(), listeners.end(), listener), listeners.end());
}

void BLGrooveController::told(const BLGrooveChange& change)
{
    for (BLGrooveListener* l : listeners) l->grooveChanged(change, acting);
}

void BLGrooveController::open()
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
    grooves.selected = sequence.selected = 0;
    grooves.first = sequence.first = 0;
    currentRandomSet = -1;
    link.startListen();
    link.startFromConfig();
    ableton.startFromConfig();
    model.lastDocument.set("Untitled");
    model.selectTrack(0);
    volumeValue = 64;
    panValue = 0;
    player().setGroovePanel(player().display, this);
    keeper().reset(true);
}

void BLGrooveController::close()
{
    midiClose();
    oscClose();
    player().stop();
    link.close();
}

void BLGrooveController::serve()
{
    // A box opened from here (a question of the link, of the keeper) runs
    // passes of its own: those leave the services as they stand.
    if (serving) return;
    serving = true;
    takes_->serveBack();
    player().idle();
    recoveryIdle();
    link.idleEvents();
    midiIdle();
    oscServe();
    ableton.idle(plat::monotonicMs());
    serving = false;
}

// ---- Stored grooves and the sequence ------------------------------------------------------

void BLGrooveController::store(BLOrigin from)
{
    Act act(*this, from);
    model.grooves_add();
}

void BLGrooveController::rewrite(BLOrigin from)
{
    Act act(*this, from);
    model.grooves_rewrite();
}

void BLGrooveController::removeGroove(BLOrigin from)
{
    Act act(*this, from);
    model.grooves_remove();
}

void BLGrooveController::addAll(BLOrigin from)
{
    Act act(*this, from);
    model.sequencer_addAll();
}

void BLGrooveController::clearAll(bool shift, BLOrigin from)
{
    Act act(*this, from);
    const BLSequence& s = model.stored;
    if (s.length > 0 || s.count == 0 || !workUnsaved()) {
        model.sequencer_removeAll(shift);
        return;
    }
    guardWork(WorkReason::clear, "", [this] { model.sequencer_removeAll(true); });
}

void BLGrooveController::restoreStored(int16_t index, BLOrigin from)
{
    if (index < 0 || index >= model.stored.count) return;
    Act act(*this, from);
    grooves.select(index);
    model.current = model.stored.grooves[index];
    model.groove_restore();
    grooves.refresh();
    told({BLGrooveChange::Kind::groove});
}

void BLGrooveController::grooveEntry(int16_t entry, BLStripGesture gesture, int16_t at, BLOrigin from)
{
    Act act(*this, from);
    model.grooves_hit(entry, gesture, at);
}

void BLGrooveController::sequenceEntry(int16_t entry, BLStripGesture gesture, int16_t at, BLOrigin from)
{
    Act act(*this, from);
    model.sequencer_hit(entry, gesture, at);
}

int16_t BLGrooveController::sequencePosition() const
{
    return sequence.selection();
}

void BLGrooveController::setSequencePosition(int16_t entry)
{
    sequence.select(entry);
}

// ---- Transport -----------------------------------------------------------------------------

void BLGrooveController::play(BLOrigin from)
{
    Act act(*this, from);
    if (player().playing) return;
    player().play();
    told({BLGrooveChange::Kind::play, -1, 0});
}

void BLGrooveController::stop(BLOrigin from)
{
    Act act(*this, from);
    if (!player().playing) {
        if (recordLit()) toggleRecord(from);  // Record waiting for Play: Stop ends it
        return;
    }
    player().stop();
    told({BLGrooveChange::Kind::stop});
}

void BLGrooveController::togglePlay(BLOrigin from)
{
    if (player().playing)
        stop(from);
    else
        play(from);
}

void BLGrooveController::toggleSequencePlay(BLOrigin from)
{
    Act act(*this, from);
    player().togglePlaySequence();
    if (player().playing)
        told({BLGrooveChange::Kind::play, -1, static_cast<int16_t>(player().sequenceMode ? 1 : 0)});
    else
        told({BLGrooveChange::Kind::stop});
}

bool BLGrooveController::setTempo(float bpm, BLOrigin from)
{
    Act act(*this, from);
    const bool taken = player().adjustBpm(bpm);
    // Shows where the slider stands now.
    player().hitBpmUp(0.0f);
    told({BLGrooveChange::Kind::tempo, -1, 0, 0, player().bpm});
    return taken;
}

void BLGrooveController::stepTempo(float step, BLOrigin from)
{
    Act act(*this, from);
    player().hitBpmUp(step);
    told({BLGrooveChange::Kind::tempo, -1, 0, 0, player().bpm});
}

void BLGrooveController::setTempoSlider(int16_t position, BLOrigin from)
{
    Act act(*this, from);
    player().hitBpmScroll(position);
    told({BLGrooveChange::Kind::tempo, -1, 0, 0, player().bpm});
}

void BLGrooveController::tap(uint32_t when, BLOrigin from)
{
    Act act(*this, from);
    const float before = player().bpm;
    player().hitBpmTapAt(when);
    if (player().bpm != before) told({BLGrooveChange::Kind::tempo, -1, 0, 0, player().bpm});
}

void BLGrooveController::setMainVolume(int16_t volume, BLOrigin from)
{
    Act act(*this, from);
    player().addMainVolume(static_cast<short>(volume - player().mainVolume));
    told({BLGrooveChange::Kind::mainVolume, -1, player().mainVolume});
}

void BLGrooveController::stepMainVolume(int16_t step, BLOrigin from)
{
    setMainVolume(static_cast<int16_t>(player().mainVolume + step), from);
}

void BLGrooveController::setKeyLock(bool on, BLOrigin from)
{
    Act act(*this, from);
    if ((blPrefs.keyLock != 0) == on) return;
    // Played at once, without a gap; kept for the next start.
    if (!engine().setKeyLock(on)) return;
    blPrefs.keyLock = on ? 1 : 0;
    display().keyLockShown();
    told({BLGrooveChange::Kind::keyLock, -1, static_cast<int16_t>(on ? 1 : 0)});
}

void BLGrooveController::setLaunchGrid(LaunchGrid grid, BLOrigin from)
{
    Act act(*this, from);
    blPrefs.launchGrid = static_cast<int16_t>(grid);
    // Changes already waiting keep their boundary; the next ones take this grid.
    engine().setLaunchGrid(LaunchGridBeatsOf(grid));
    display().launchGridShown();
    told({BLGrooveChange::Kind::launchGrid, -1, static_cast<int16_t>(grid)});
}

void BLGrooveController::stepLaunchGrid(bool back, BLOrigin from)
{
    const int step = back ? kLaunchGridChoices - 1 : 1;
    setLaunchGrid(LaunchGridFromCode((blPrefs.launchGrid + step) % kLaunchGridChoices), from);
}

// ---- What the player asks ------------------------------------------------------------------

void BLGrooveController::setPlayMode(bool on)
{
    takes_->endBack();
    BLEngineCalls& e = engine();
    if (!on) {
        e.stop();
        if (e.loaderStalled()) questions.notify(kMsgDiskStalled, 0);
        return;
    }
    e.play();
    e.changesBegin();
    for (int16_t t = 0; t < kBLEngineTracks; ++t) {
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

void BLGrooveController::onItem_seq_Play()
{
    BLSequence& s = model.stored;
    if (s.length <= 0) {
        // Nothing in the sequence: the engine plays the current groove, so
        // that what is heard matches the transport the player shows.
        setPlayMode(true);
        return;
    }
    int16_t entry = sequence.selection();
    if (entry < 0 || entry >= s.length) entry = 0;
    sequence.select(entry);
    const int16_t index = s.grooveIDtoIndex(static_cast<int16_t>(s.entries[entry]));
    if (index >= 0) {
        grooves.select(index);
        model.current = s.grooves[index];
        model.groove_restore();
    }
    setPlayMode(true);
    display().stripsShown();
}

bool BLGrooveController::holdStart()
{
    return ableton.holdStart(plat::monotonicMs());
}

void BLGrooveController::dropHeldStart()
{
    ableton.dropHeldStart(plat::monotonicMs());
}
