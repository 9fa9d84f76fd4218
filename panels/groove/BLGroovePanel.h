// The groove panel, the program's main panel: eight tracks, each with a group
// and a loop, a light, a meter and a keep mark; one volume and one pan
// control for the selected track (or relatively for a group of them, or all);
// the random buttons; the transport the player shows; the strips of stored
// grooves and of the sequence; the documents.
//
// The grooves, the song library and the documents belong to the model
// (library/BLGrooveModel.h); the panel holds what the user sees and touches.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/LaunchGrid.h"
#include "core/BLPath.h"
#include "library/BLGrooveModel.h"
#include "library/BLMidiBindings.h"
#include "library/BLWorkKeeper.h"
#include "net/BLLinkSync.h"
#include "net/BLNet.h"
#include "panels/browser/BLLoadLinks.h"
#include "panels/player/BLPlayCommon.h"
#include "panels/player/BLPlayer.h"
#include "ui/PWPanel.h"

// The engine calls of the panel beyond the model's: start and stop, and the
// held peaks of the track meters. `gep` unless a test gives another.
class BLPanelEngine : public BLFacadeEngine {
public:
    virtual void play();
    // The held peaks of a track, reset once read; false when nothing was
    // mixed since the last reading.
    virtual bool takePeaks(int16_t track, int16_t& left, int16_t& right);
    // True, once, when the last stop gave up waiting for the disk.
    virtual bool loaderStalled();
    // Whole beats until the track's waiting loop change is heard; 0 when
    // none waits.
    virtual int16_t trackWaitBeats(int16_t track);
};

namespace plat {
class RecoveryStore;
class MidiIn;
}

class BLGroovePanel : public PWPanelClass,
                      public BLPlayCommon,
                      public BLPlayerGroove,
                      public BLLoadHost,
                      public BLGrooveView {
public:
    struct Track {
        bool on = true;
        bool soloOn = false;
        bool groupSelected = false;
        bool keep = false;
        int16_t baseVolume = 0;
        int16_t basePan = 0;
    };

    // The panel talks to `player` (blPlayer when null) and to `engine`
    // (the facade when null).
    explicit BLGroovePanel(BLPlayer* player = nullptr, BLPanelEngine* engine = nullptr);
    ~BLGroovePanel() override;

    // Screen hooks.
    void connected() override;
    void onPanelOpened() override;
    void onPanelClosed() override;
    void beforeShow() override;
    void onItem() override;
    void onKey() override;
    void onIdle() override;
    void asyncDialogMessage(BLPath* path) override;
    void onItem_Load() override;
    void onItem_Save() override;
    BLPath* documentPath() override { return &docPath; }
    bool askBeforeQuit() override;
    void workCommand(int16_t item) override;
    // Where loop and groove changes land: kept in the preferences, given to
    // the engine and shown on the grid button.
    void setLaunchGrid(LaunchGrid grid);

    // The keeper of the user's work (panels/groovework/BLGroovePanelWork.cpp): what a
    // document holds, with the track lights, modes, key lock and the user
    // loop, its undo history, and whether it is saved.
    BLWorkKeeper& keeper() { return *workKeeper; }
    // Unsaved work of a song: what the question before replacing it is about.
    bool workUnsaved() const;
    // What would replace the work: names the question.
    enum class WorkReason : int16_t { quit, open, song, linkSong, newDocument, clear, mix };
    // The one door to replacing the user's work: with nothing unsaved the
    // action runs at once; else one question, Save, Discard or Cancel, Save
    // saving first (through the save dialog for an untitled document) and
    // running the action once saved. `coming` names what comes (a document
    // or a song).
    void guardWork(WorkReason why, const std::string& coming, std::function<void()> action);
    // Around each action of the user (the main loop's hook).
    void actionBegins();
    void actionEnds();
    void undoWork();
    void redoWork();
    // A new document of the open song: no stored grooves, no sequence, an
    // empty groove, untitled.
    void newDocument();
    // Writes the recovery file when the work changed and is unsaved (at most
    // every 30 s), removes it once saved.
    void recoveryIdle();
    // At start: a recovery file left by an instance that ended before its
    // work was saved is offered.
    void offerRecovery();
    // At the end: a clean end removes the recovery file, an end by a signal
    // writes it first.
    void recoveryAtExit(bool bySignal);
    // A text on the hint line until the mouse moves on.
    void sayInHint(const std::string& text);
    // Play is lit over tracks that are all muted: the hint line says so.
    void sayIfAllMuted();
    bool allMutedSaid = false;
    std::string said;
    // The last document has a name and a folder (not the first "Untitled").
    bool documentNamed() const;
    // The title of the song the user works on ("" when none).
    std::string workSongTitle() const;

    // Tracks.
    void onItem_trackLed(int16_t track);
    void onItem_trackButton(int16_t track);
    void onItem_sampSelGroup(int16_t track);
    void onItem_sampSelIndex(int16_t track);
    // Chooses a loop as the track's menus would (group -1: none).
    void chooseGroup(int16_t track, int16_t group);
    void chooseLoop(int16_t track, int16_t slot);
    void userChangedTrack(int16_t track);
    void enableTrack(int16_t track, bool on);
    void onItem_volume();
    void onItem_pan();
    void setSoloMode(bool on);
    void setGroupMode(bool on);
    void setAllMode(bool on);
    void onItem_solo();
    void onItem_group();
    void onItem_all();
    void onItem_keep(int16_t track);
    void onItem_empty();
    void randomize(int16_t set) override;
    void setRndStyleName(int16_t set);
    void trackSelectionChanged();
    // The track is one that the volume and pan controls act on.
    bool affected(int16_t track) const;
    void adjustTrackLed(int16_t track);
    void adjustSampColor(int16_t track);
    // The colour and blend level the track's light and menus get now.
    int16_t trackLedImage(int16_t track) const;
    int16_t trackLedLevel(int16_t track) const;
    int16_t sampColor(int16_t track) const;

    // The volume and pan controls' values (kept here too, so that the panel
    // works the same with or without its controls).
    void setVolumeControl(int16_t v);
    void setPanControl(int16_t v);
    int16_t volumeControl() const { return volumeValue; }
    int16_t panControl() const { return panValue; }

    // Keys and numeric entries.
    struct NumEntry {
        bool open = false;
        uint8_t letter = 0;
        int16_t target = 0;  // item of the label, or -1: a groove id
        long minimum = 0, maximum = 0;
        int16_t digits = 0;
        int16_t typed = 0;
        long value = 0;
        bool negative = false;
        long offset = 0;
        char savedLabel[64] = {};
    };
    bool keypadLayout = false;
    // T is tap tempo and the track-select letter: its tap counts when it is
    // let go, unless a digit came while it was held.
    bool tapPending = false;
    uint32_t tapTicks = 0;
    NumEntry numEntry;
    void key_numEnterStartAny(uint8_t letter, int16_t target, long minimum, long maximum, int16_t digits,
                              long offset);
    void key_numEnterStart(uint8_t letter, int16_t target, long minimum, long maximum, int16_t digits);
    void key_numEnterType();
    void key_numEnterEnd();
    void key_numEnterCancel();
    // The track a digit stands for in the current layout; -1 for none.
    int16_t trackOfDigit(uint8_t digit) const;

    // Strips and sequence play.
    void onItem_seq_Play() override;
    void setPlayMode(bool on) override;
    bool holdStart() override;
    void dropHeldStart() override;
    void grooveEntryHit(int16_t item);
    void sequenceEntryHit(int16_t item);
    void refreshStrips();
    // Clear: empties the sequence, or else the stored grooves (the one
    // question asked first when they are unsaved work).
    void clearAll();
    // Restores the stored groove at this index of the grooves strip.
    void restoreStored(int16_t index);

    // What the player shows.
    void common_setPlayDisplay(bool playing) override;
    void common_setSeqPlayLed(bool on) override;
    void common_setPlaybarLed(short led, short state) override;
    void common_setSyncingLed(bool on) override;
    void common_setPlaybarLabel(const char* text) override;
    using BLPlayCommon::common_setPlaybarLabel;
    void common_setMainVolLabel(short volume) override;
    void common_setSongLabel(const char* text) override;
    void common_setSynthLed(bool on) override;
    void common_setHelpModeDisplay(short mode) override;
    void common_eventGrooveSync() override;
    void common_setBpmLabel(const char* text) override;
    void common_setBpmScroll(short position) override;
    void common_setBpmRange(short low, short high) override;
    void common_tempoAtEnd(float slowest, float fastest) override;
    void common_outputLost() override;
    void common_setLabel(short label, const char* text) override;
    void common_doInterfaceReset() override;

    // Disk mix (panels/groovework/BLGrooveDiskMix.cpp): the button asks for the file
    // or the stems folder; the dialog's answer runs the mix.
    void onItem_diskMix();
    void diskMixResult(BLPath* path);
    // A mix that wrote its files says so, with a way to their folder.
    void diskMixWritten(const std::vector<std::string>& files, int64_t frames);
    // The music goes on as it was before the mix.
    void diskMixResume();
    BLPath diskMixPath;
    bool diskMixWasPlaying = false;
    bool diskMixWasSequence = false;
    char diskMixFile[kKelPathMax + 1] = {};    // the last mix file, offered again
    char diskMixFolder[kKelPathMax + 1] = {};  // the last stems folder

    // The song browser's requests.
    bool loadSong(const char* folder) override;
    void lightGame_Start(int16_t period) override;
    void lightGame_End() override;
    const BLGroove& currentGroove() const override { return model.current; }
    BLNet& net() override { return link; }
    BLLinkSync& linkSync() { return ableton; }
    bool auditionSong(const char* folder) override;
    void auditionEnd() override;
    void auditionKeep() override { model.auditionKeep(); }
    bool isUserSong(const char* folder) const override;
    std::string userSong() const override;
    void guardSong(const char* folder, const std::string& title, std::function<void()> load) override;
    void songTaken() override;
    // Opens a document the user chose, the question about unsaved work asked.
    void openDocument(const std::string& path);
    void closeSong() override;

    // The model's view.
    void showGroove() override;
    void showSelectedTrack() override;
    void restoreTracks() override;
    void modesOff() override;
    void trackSelected() override;
    void songOpened() override;
    void documentRead() override;
    void captureExtras(BLWorkExtras& extras) override;
    void applyExtras(const BLWorkExtras& extras) override;

    // The virtual mix (BLGrooveVMix.cpp). setupVMix generates the song's
    // style into the sequence (nothing when the song has no such style),
    // leaving out the groups the preferences leave out; setupVMixFromGroups
    // does the same from the song's groups.
    void setupVMix(int16_t style);
    void setupVMixFromGroups();
    // The sequence entry that plays; -1: the first is next.
    int16_t sequencePosition() const;
    void setSequencePosition(int16_t entry);
    // Back from the virtual mix: its sequence stays, cut to the grooves its
    // list plays, or (restore) the user's sequence and groove held aside
    // come back, the strips unselected.
    void vmixHandOver(bool restore);
    // The hint line: the text of the control under the mouse (its help
    // tip); it stands for the tooltips on this panel.
    bool hasHintLine() const override { return true; }
    void loadHints();
    const char* hintFor(int16_t item) const;
    void hintIdle();
    // While help bubbles show, the hint line offers the user guide: a click on it opens it.
    void onClick() override;
    // The knob's film turned to the main volume; the Keep button's light.
    void showMainVolume(int16_t volume);
    void showKeep();
    // Key lock: the button turns it on and off and keeps it in the preferences.
    void onItem_keyLock();
    void showKeyLock();
    // The grid button steps to the next grid (Shift: the one before).
    void onItem_launchGrid();
    void showLaunchGrid();
    // A track whose change waits shows, over its dimmed lamp, the beats left.
    void waitingIdle();
    int16_t waitBeats[kBLEngineTracks] = {};
    long waitDeadline = 0;

    // MIDI controllers (BLGrooveMidi.cpp). Their messages come on the MIDI
    // thread into midiQueue and are applied in the idle work as the clicks
    // and keys they stand for, each one an action of the user.
    // Opens the controllers' port "controls in" as the preferences say, again
    // after they change (first reading the mapping file given on the command
    // line, once); the program goes on without it.
    void midiOpen();
    void midiClose();
    void midiIdle();
    void midiApply(const BLMidiMessage& message);
    // MIDI learn: the key starts it (and again, or Esc, cancels it); a click
    // then picks the control without working it, and the next note or CC
    // is bound to it.
    static constexpr uint8_t kMidiLearnKey = 'n';
    void midiLearnKey();
    void midiLearnCancel();
    // Picks the control of this item (Shift held: the step down of a menu
    // or the tempo); false when it cannot be bound.
    bool midiLearnPick(int16_t item, bool shift);
    void midiLearnMessage(const BLMidiMessage& message);
    // What a control drives and for which target; false for one that
    // cannot be bound.
    bool midiActionOf(int16_t item, bool shift, BLMidiAction& action, int8_t& target) const;
    // "MIDI: CC 7 ch 1" for a bound control, else "".
    std::string midiHint(int16_t item) const;
    void events() override;
    struct MidiLearn {
        bool on = false;
        int16_t item = -1;  // the control picked; -1 before the click
        BLMidiAction action = BLMidiAction::mute;
        int8_t target = 0;
    } midiLearn;
    BLMidiQueue midiQueue;
    std::unique_ptr<plat::MidiIn> midiIn;
    // The last value of each CC, by channel: a CC presses when it rises past 63.
    uint8_t midiLastCC[16][128] = {};
    bool midiApplying = false;

    // Idle work, each part on its own.
    void chaseIdle();
    void blinkIdle();
    void metersIdle();
    void randomNameIdle();

    BLGrooveModel model;
    Track tracks[kBLGrooveTracks];
    bool soloMode = false, groupMode = false, allMode = false;
    bool soloApplied = false;
    int16_t keptCount = 0;
    int16_t currentRandomSet = -1;
    bool blinkPhase = false;
    uint32_t ticks = 0;
    int16_t meterShown[kBLEngineTracks] = {};
    uint32_t lastMeterTick = 0;
    // Light chase of the song browser's auditions.
    struct Chase {
        bool running = false;
        bool reversed = false;
        int16_t period = 1;
        int16_t index = 0;
        long deadline = 0;
        uint32_t lampEnd[kBLEngineTracks] = {};
    } chase;
    int16_t shownRandomName = -2;
    std::vector<std::pair<int16_t, std::string>> hints;
    int16_t shownHint = -2;
    short helpMode = -1;  // as the player shows it: -1 off, 1 roll-over, 0 tour
    int16_t hintMouseX = -1, hintMouseY = -1;
    int16_t lastMouseX = -1, lastMouseY = -1;
    char songName[kBLTitleSize] = {};
    char randomNameText[kBLTitleSize] = {};
    // The texts of the labels the panel shows, kept for tests and the keys.
    char bpmText[16] = {};
    char positionText[34] = {};
    char stateText[32] = {};

    // The text one of the panel's number labels shows now (volume, pan,
    // main volume, tempo, position, transport state); its length.
    int16_t labelValue(int16_t item, char* out, int outSize) const;

private:
    class PlayerLink;
    class NetLink;
    class Strip;

    BLPlayer& player() const;
    BLPanelEngine& engine();
    void setText(int16_t item, const char* text);
    void setNumber(int16_t item, int16_t value);
    void setImage(int16_t item, int16_t image);
    void fillMenus(int16_t track);
    void showTrack(int16_t track);
    void showModeButtons();
    void showTrackButtons();
    void refreshAllLights();
    void applyRelative(bool volumeChanged, bool panChanged);
    // Group or all mode switched: the relative controls start again.
    void relativeModeChanged(bool on);
    void recountKept();
    void withSyncOff(void (BLGroovePanel::*change)());
    void volumeChange();
    void panChange();
    void emptyChange();
    void stepKeys();
    void returnKey();
    void letterKeys();
    bool held(char letter) const;
    bool pressed(char letter) const;
    uint8_t firstHeld(const char* letters) const;
    void stripDrag(int16_t control, bool sequence, int16_t item);
    void openPanel(int16_t index);

    BLPlayer* fixedPlayer;
    BLPanelEngine* fixedEngine;
    BLPanelEngine facade;
    PlayerLink* playerLink;
    NetLink* netLink;
    Strip* grooveStrip;
    Strip* sequenceStrip;
    BLNotifyQuestions questions;
    BLNet link;
    BLLinkSync ableton;
    BLPath docPath;
    int16_t volumeValue = 64;
    int16_t panValue = 0;
    class WorkSource;
    std::unique_ptr<WorkSource> workSource;
    std::unique_ptr<BLWorkKeeper> workKeeper;
    std::unique_ptr<plat::RecoveryStore> recovery;
    uint64_t recoveryVersion = 0;
    uint32_t recoveryWrittenAt = 0;
    // What waits for the save dialog's answer (the action the question held).
    std::function<void()> afterSave;
    bool saveWork(const char* path);
    // The stored grooves and the sequence (and the current groove) are as
    // last saved.
    bool groovesAsSaved(bool withCurrent);
    void writeRecovery();
    void createKeeper();
    // A document was opened or a song loaded: one step, then saved or clean.
    void workReplaced(bool document);
    // The document path set for a dialog: where it starts.
    void dialogStart();
    // The last document's folder, kept in the preferences for the next start.
    void rememberDocumentFolder();
    char volumeText[16] = {};
    char panText[16] = {};
    char mainVolumeText[16] = {};
};

// The groove panel once created; null before.
extern BLGroovePanel* blGroovePanel;
