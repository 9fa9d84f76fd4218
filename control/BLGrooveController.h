// The groove controller: every way of playing the groove goes through it.
// The groove panel turns clicks and keys into its calls, MIDI controllers
// their notes and CCs, the program's link and Ableton Link their peers'
// messages; each call carries where it came from. The controller owns the
// groove model, the keeper of the user's work and its recovery file, the
// links and the MIDI controls; it drives the player and the engine, tells
// the display what to show again, and mirrors each change to the peers that
// did not make it.
//
// Threads: the main thread only (the MIDI port's thread only fills midiQueue).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/LaunchGrid.h"
#include "control/BLGrooveDisplay.h"
#include "control/BLOrigin.h"
#include "control/BLPlayer.h"
#include "library/BLGrooveModel.h"
#include "library/BLMidiBindings.h"
#include "library/BLTake.h"
#include "library/BLTakeConvert.h"
#include "library/BLWorkKeeper.h"
#include "net/BLLinkSync.h"
#include "net/BLNet.h"

// The controller's engine calls are the one interface of them all.

namespace plat {
class RecoveryStore;
class MidiIn;
}  // namespace plat

class BLGrooveNetHost;
class BLGrooveController;
class BLOscControls;

// Entries a strip shows at a time.
constexpr int16_t kBLStripShown = 8;

// A strip of stored grooves or of the sequence: its selection and the first
// entry shown; the display shows it again when it changes.
class BLShownStrip : public BLStripState {
public:
    BLShownStrip(BLGrooveController& controller, bool sequence) : owner(controller), isSequence(sequence) {}
    // The selected entry stays in view.
    void select(int16_t entry) override;
    void setScroll(int16_t first) override;
    void refresh() override;
    void scrollBy(int16_t step);
    // Entries the strip holds; the id shown at an entry (-1 beyond the end).
    int16_t length() const;
    int16_t idAt(int16_t entry) const;

private:
    BLGrooveController& owner;
    bool isSequence;
};

class BLGrooveController : public BLPlayerGroove, public BLGrooveView {
public:
    // What the user made of each track beyond the groove.
    struct Track {
        bool on = true;
        bool soloOn = false;
        bool groupSelected = false;
        bool keep = false;
        // Group and all mode: the values the relative controls start from.
        int16_t baseVolume = 0;
        int16_t basePan = 0;
    };

    // The controller talks to `player` (blPlayer when null) and to `engine`
    // (the facade when null).
    explicit BLGrooveController(BLPlayer* player = nullptr, BLEngineCalls* engine = nullptr);
    ~BLGrooveController() override;
    BLGrooveController(const BLGrooveController&) = delete;
    BLGrooveController& operator=(const BLGrooveController&) = delete;

    void setDisplay(BLGrooveDisplay* d) { display_ = d; }
    void addWorkPart(BLWorkPart* part);
    void removeWorkPart(BLWorkPart* part);
    void addListener(BLGrooveListener* listener);
    void removeListener(BLGrooveListener* listener);

    // A fresh start of the groove (the panel opening): an empty groove, the
    // links started as the preferences say, nothing to undo.
    void open();
    // The end: the controls' port closed, the music stopped, the link closed.
    void close();
    // One pass of the main loop, whatever panel is shown: the player's
    // beat, the links' messages, the MIDI controls, the recovery file.
    void serve();

    // ---- Tracks ---------------------------------------------------------------
    // A group (-1: none) with its first loop, or a loop of the track's group.
    void chooseGroup(int16_t track, int16_t group, BLOrigin from = BLOrigin::user);
    void chooseLoop(int16_t track, int16_t slot, BLOrigin from = BLOrigin::user);
    // One step along the track's menus.
    void stepGroup(int16_t track, int16_t step, BLOrigin from = BLOrigin::user);
    void stepLoop(int16_t track, int16_t step, BLOrigin from = BLOrigin::user);
    // The track's lamp: muted or heard (with solo: in the solo or not); in
    // group and all mode every track acted on follows.
    void toggleMute(int16_t track, BLOrigin from = BLOrigin::user);
    // A track heard or muted, alone.
    void setAudible(int16_t track, bool on, BLOrigin from = BLOrigin::user);
    // The track button: selects the track, or in group mode takes it into
    // the group or out of it.
    void selectTrack(int16_t track, BLOrigin from = BLOrigin::user);
    // The volume and pan controls: of the selected track, or relatively of
    // the tracks acted on in group and all mode.
    void setVolume(int16_t value, BLOrigin from = BLOrigin::user);
    void setPan(int16_t value, BLOrigin from = BLOrigin::user);
    // A track's own volume or pan, whatever the controls show.
    void setTrackVolume(int16_t track, int16_t volume, BLOrigin from = BLOrigin::user);
    void setTrackPan(int16_t track, int16_t pan, BLOrigin from = BLOrigin::user);
    void setSoloMode(bool on, BLOrigin from = BLOrigin::user);
    void setGroupMode(bool on, BLOrigin from = BLOrigin::user);
    void setAllMode(bool on, BLOrigin from = BLOrigin::user);
    void toggleSolo(BLOrigin from = BLOrigin::user) { setSoloMode(!soloMode, from); }
    void toggleGroupMode(BLOrigin from = BLOrigin::user);
    void toggleAllMode(BLOrigin from = BLOrigin::user);
    // The keep mark of a track (-1: the selected one), of every track acted on.
    void toggleKeep(int16_t track, BLOrigin from = BLOrigin::user);
    // The tracks acted on fall silent and lose their group.
    void empty(BLOrigin from = BLOrigin::user);
    // A groove of random set 0 .. 3, the kept tracks as they are.
    void randomize(int16_t set, BLOrigin from = BLOrigin::user);

    // The track is one that the volume and pan controls act on.
    bool affected(int16_t track) const;
    int16_t volumeControl() const { return volumeValue; }
    int16_t panControl() const { return panValue; }
    // The random set whose groove plays; -1 none.
    int16_t randomSet() const { return currentRandomSet; }
    // Whole beats until the track's waiting change is heard; 0 when none waits.
    int16_t trackWaitBeats(int16_t track);
    bool takePeaks(int16_t track, int16_t& left, int16_t& right)
    {
        return engine().takePeaks(track, left, right);
    }

    // ---- Stored grooves and the sequence -----------------------------------------
    void store(BLOrigin from = BLOrigin::user);
    void rewrite(BLOrigin from = BLOrigin::user);
    void removeGroove(BLOrigin from = BLOrigin::user);
    void addAll(BLOrigin from = BLOrigin::user);
    // Clear: empties the sequence, or else the stored grooves (the one
    // question asked first when they are unsaved work); Shift as the model takes it.
    void clearAll(bool shift = false, BLOrigin from = BLOrigin::user);
    // Restores the stored groove at this index of the grooves strip.
    void restoreStored(int16_t index, BLOrigin from = BLOrigin::user);
    // A click or drag of a strip's entry (its place among the eight shown).
    void grooveEntry(int16_t entry, BLStripGesture gesture, int16_t at = 0, BLOrigin from = BLOrigin::user);
    void sequenceEntry(int16_t entry, BLStripGesture gesture, int16_t at = 0, BLOrigin from = BLOrigin::user);
    BLShownStrip& grooveStrip() { return grooves; }
    BLShownStrip& sequenceStrip() { return sequence; }
    // The sequence entry that plays; -1: the first is next.
    int16_t sequencePosition() const;
    void setSequencePosition(int16_t entry);

    // ---- Transport -------------------------------------------------------------------
    void play(BLOrigin from = BLOrigin::user);
    void stop(BLOrigin from = BLOrigin::user);
    void togglePlay(BLOrigin from = BLOrigin::user);
    void toggleSequencePlay(BLOrigin from = BLOrigin::user);
    // A tempo within the song's window; false when refused or kept at an end.
    bool setTempo(float bpm, BLOrigin from = BLOrigin::user);
    // The tempo arrows (a step in BPM) and the slider (an offset from the song's tempo).
    void stepTempo(float step, BLOrigin from = BLOrigin::user);
    void setTempoSlider(int16_t position, BLOrigin from = BLOrigin::user);
    // A tap of tap tempo at tick `when`.
    void tap(uint32_t when, BLOrigin from = BLOrigin::user);
    void setMainVolume(int16_t volume, BLOrigin from = BLOrigin::user);
    void stepMainVolume(int16_t step, BLOrigin from = BLOrigin::user);
    // Key lock: played at once, kept in the preferences.
    void setKeyLock(bool on, BLOrigin from = BLOrigin::user);
    // Where loop and groove changes land: kept in the preferences, given to the engine.
    void setLaunchGrid(LaunchGrid grid, BLOrigin from = BLOrigin::user);
    void stepLaunchGrid(bool back, BLOrigin from = BLOrigin::user);

    // ---- Takes -------------------------------------------------------------------------
    // Record: starts a take (playing, at once; stopped, with the next Play)
    // or ends it; Stop ends it too. The take joins the document's takes.
    void toggleRecord(BLOrigin from = BLOrigin::user);
    // Record is lit: a take records or waits for Play.
    bool recordLit() const;
    // The document's takes, oldest first.
    const std::vector<BLTake>& takes() const { return model.ice.takes; }
    // Renames or removes a take (each a step for the keeper).
    void renameTake(int16_t index, const std::string& name, BLOrigin from = BLOrigin::user);
    void removeTake(int16_t index, BLOrigin from = BLOrigin::user);
    // Plays a take back from its start (what plays stops first): every call
    // at its output frame, through the same engine calls, so it sounds as it
    // was heard; Stop ends it, and so does its end. False: no such take.
    bool playTake(int16_t index, BLOrigin from = BLOrigin::user);
    // The take playing back, -1 when none.
    int16_t takePlaying() const;
    // What turning a take into grooves keeps and loses (asked before it is done).
    BLTakeConversion takeConversion(int16_t index) const;
    // The take as stored grooves (one a distinct cycle, added to those
    // there are) and the sequence (in place of the one there is), at the
    // take's tempo: one step for the keeper. False: no such take, or no
    // room for its grooves among the stored ones.
    bool convertTake(int16_t index, BLOrigin from = BLOrigin::user);

    // ---- The synth and the user loop ----------------------------------------------
    void setSynthPart(BLSynthPart* part) { synthPart = part; }
    // A setting of the synth and its arpeggiator (on, direction, speed,
    // rhythm, volume, pan, a key of the arpeggio).
    void setSynth(BLSynthPart::Setting what, int16_t value, BLOrigin from = BLOrigin::user);
    bool chooseSynthSound(const std::string& sound, BLOrigin from = BLOrigin::user);
    // The user loop's settings (bars, offset, start, end, speed, volume, heard).
    void setUserLoop(const blUserLoopSettingsRec& settings, BLOrigin from = BLOrigin::user);

    // ---- Effects (control/BLGrooveEffects.cpp) ----------------------------------------
    // Rack 0 .. 7 a track's, kFxMain the main mix's; slot 0 or 1. Each is
    // heard at once and kept in the groove. An effect (a built-in's name, a
    // plugin's URI) put in a slot starts from its defaults; "" empties it.
    void setEffect(int16_t rack, int16_t slot, const std::string& effect, BLOrigin from = BLOrigin::user);
    void clearEffect(int16_t rack, int16_t slot, BLOrigin from = BLOrigin::user)
    {
        setEffect(rack, slot, "", from);
    }
    // A parameter by its name, held to its range.
    void setEffectParam(int16_t rack, int16_t slot, const std::string& param, float value,
                        BLOrigin from = BLOrigin::user);
    void setEffectBypass(int16_t rack, int16_t slot, bool on, BLOrigin from = BLOrigin::user);
    // The slot as the groove holds it (an empty one out of range).
    const FxSlot& effectSlot(int16_t rack, int16_t slot) const;

    // ---- Songs ---------------------------------------------------------------------------
    bool loadSong(const char* folder, BLOrigin from = BLOrigin::user);
    // The same song again keeps its work; another is asked about first.
    void guardSong(const char* folder, const std::string& title, std::function<void()> load);
    // A song was taken from the browser or the link: the work starts again.
    void songTaken();
    bool auditionSong(const char* folder);
    void auditionEnd();
    void auditionKeep() { model.auditionKeep(); }
    bool isUserSong(const char* folder) const;
    std::string userSong() const;
    void closeSong();

    // ---- The user's work -------------------------------------------------------------------
    BLWorkKeeper& keeper() { return *workKeeper; }
    // Unsaved work of a song: what the question before replacing it is about.
    bool workUnsaved() const;
    // What would replace the work: names the question.
    enum class WorkReason : int16_t { quit, open, song, linkSong, newDocument, clear, mix };
    // The one door to replacing the user's work: with nothing unsaved the
    // action runs at once; else one question, Save, Discard or Cancel, Save
    // saving first (through the save dialog for an untitled document) and
    // running the action once saved. `coming` names what comes.
    void guardWork(WorkReason why, const std::string& coming, std::function<void()> action);
    // Around each action of the user (the main loop's hook, and MIDI's).
    void actionBegins();
    void actionEnds();
    void undoWork();
    void redoWork();
    // A new document of the open song: no stored grooves, no sequence, an
    // empty groove, untitled.
    void newDocument();
    // Opens a document, the work as it was when it cannot be read.
    void openDocument(const std::string& path);
    // `why` as for BLGrooveModel::saveDocument.
    bool saveWork(const char* path, std::string* why = nullptr);
    // The quit asks first when work is unsaved: true when it asked.
    bool askBeforeQuit();
    // The last document has a name and a folder (not the first "Untitled").
    bool documentNamed() const;
    // The title of the song the user works on ("" when none).
    std::string workSongTitle() const;
    // Play is lit over tracks that are all muted: said once as it happens.
    void sayIfAllMuted();
    // At start: a recovery file left by an instance that ended before its
    // work was saved is offered. At the end: a clean end removes it, an end
    // by a signal writes it first.
    void offerRecovery();
    void recoveryAtExit(bool bySignal);

    // ---- MIDI controls -------------------------------------------------------------------
    // Opens the controllers' port "controls in" as the preferences say,
    // again after they change (first reading a mapping file given on the
    // command line, once); the program goes on without it.
    void midiOpen();
    void midiClose();
    // Applies a message as the action it is bound to (MIDI's origin).
    void midiApply(const BLMidiMessage& message);
    // MIDI learn: starts it (false when it was on: then it ends); the action
    // a control stands for is picked, and the next note or CC is bound to it.
    void learnKey();
    void learnCancel();
    void learnPick(BLMidiAction action, int8_t target);
    // An effect's parameter ("" for its bypass) is what the next CC drives.
    void learnPickEffect(int16_t rack, int16_t slot, const std::string& param);
    bool learning() const { return learn.on; }
    // An action was picked and waits for its note or CC.
    bool learnPicked() const { return learn.picked; }
    BLMidiQueue midiQueue;

    // ---- OSC -------------------------------------------------------------------------------
    // Listens on the preferences' port (or --osc's); off when it is 0.
    void oscOpen();
    void oscClose();

    // ---- The links -------------------------------------------------------------------
    BLNet& net() { return link; }
    BLLinkSync& linkSync() { return ableton; }

    // ---- The player and the model's view ------------------------------------------------
    BLPlayer& player() const;
    BLEngineCalls& engine();
    void setPlayMode(bool on) override;
    void onItem_seq_Play() override;
    bool holdStart() override;
    void dropHeldStart() override;
    void showGroove() override;
    void showSelectedTrack() override;
    void restoreTracks() override;
    void modesOff() override;
    void trackSelected() override;
    void songOpened() override;
    void documentRead() override;
    void captureExtras(BLWorkExtras& extras) override;
    void applyExtras(const BLWorkExtras& extras) override;

    BLGrooveModel model;
    Track tracks[kBLGrooveTracks];
    bool soloMode = false, groupMode = false, allMode = false;
    bool soloApplied = false;
    int16_t keptCount = 0;
    bool allMutedSaid = false;

private:
    class Act;
    class PlayerLink;
    class NetLink;
    class WorkSource;
    class Takes;
    friend class BLTakeTap;
    friend class BLGrooveNetHost;
    friend class BLShownStrip;

    BLGrooveDisplay& display() const;
    void told(const BLGrooveChange& change);
    void userChangedTrack(int16_t track);
    void enableTrack(int16_t track, bool on);
    void trackSelectionChanged();
    void relativeModeChanged(bool on);
    void takeBases();
    void applyRelative(bool volumeChanged, bool panChanged);
    void recountKept();
    void withSyncOff(const std::function<void()>& change);
    void createKeeper();
    void workReplaced(bool document);
    bool groovesAsSaved(bool withCurrent);
    void rememberDocumentFolder();
    void recoveryIdle();
    void writeRecovery();
    void midiIdle();
    void oscServe();
    void learnMessage(const BLMidiMessage& message);
    void midiEffect(const BLMidiBinding& binding, uint8_t value);

    BLPlayer* fixedPlayer;
    BLEngineCalls* fixedEngine;
    BLEngineCalls facade;
    BLGrooveDisplay* display_ = nullptr;
    std::vector<BLWorkPart*> parts;
    BLSynthPart* synthPart = nullptr;
    std::vector<BLGrooveListener*> listeners;
    // The origin of the action under way: what the model does in it is
    // told as that action's.
    BLOrigin acting = BLOrigin::user;
    bool serving = false;
    // Every engine call of the controller, the model and (while a take
    // records) the player goes through it, to be kept in the take.
    std::unique_ptr<Takes> takes_;
    std::unique_ptr<PlayerLink> playerLink;
    std::unique_ptr<NetLink> netLink;
    BLShownStrip grooves{*this, false};
    BLShownStrip sequence{*this, true};
    BLNotifyQuestions questions;
    BLNet link;
    BLLinkSync ableton;
    std::unique_ptr<BLGrooveNetHost> linkHost, abletonHost;
    std::unique_ptr<BLGrooveListener> linkMirror;
    int16_t volumeValue = 64;
    int16_t panValue = 0;
    int16_t currentRandomSet = -1;
    std::unique_ptr<WorkSource> workSource;
    std::unique_ptr<BLWorkKeeper> workKeeper;
    std::unique_ptr<plat::RecoveryStore> recovery;
    uint64_t recoveryVersion = 0;
    uint32_t recoveryWrittenAt = 0;
    std::unique_ptr<plat::MidiIn> midiIn;
    // The last value of each CC, by channel: a CC presses when it rises past 63.
    uint8_t midiLastCC[16][128] = {};
    struct Learn {
        bool on = false;
        bool picked = false;
        BLMidiAction action = BLMidiAction::mute;
        int8_t target = 0;
        int8_t slot = 0;
        std::string param;
    } learn;
    std::unique_ptr<BLOscControls> osc;
};

// The program's controller once made at start-up; null before.
extern BLGrooveController* blGroove;
