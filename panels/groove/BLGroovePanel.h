// The groove panel, the program's main panel: eight tracks, each with a group
// and a loop, a light, a meter and a keep mark; one volume and one pan
// control for the selected track (or relatively for a group of them, or all);
// the random buttons; the transport the player shows; the strips of stored
// grooves and of the sequence; the documents.
//
// What the groove is and does belongs to the controller
// (control/BLGrooveController.h): the panel shows its state and turns the
// user's clicks and keys into its calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "audio/LaunchGrid.h"
#include "control/BLGrooveController.h"
#include "control/BLPlayCommon.h"
#include "core/BLPath.h"
#include "core/BLTextEntry.h"
#include "panels/browser/BLLoadLinks.h"
#include "ui/PWPanel.h"

class BLGroovePanel : public PWPanelClass, public BLPlayCommon, public BLLoadHost, public BLGrooveDisplay {
public:
    // The panel shows `controller` and calls it.
    explicit BLGroovePanel(BLGrooveController& controller);
    ~BLGroovePanel() override;

    BLGrooveController& controller() { return groove; }
    const BLGrooveController& controller() const { return groove; }

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
    bool askBeforeQuit() override { return groove.askBeforeQuit(); }
    void workCommand(int16_t item) override;

    // A text on the hint line until the mouse moves on.
    void sayInHint(const std::string& text);
    std::string said;

    // The items: what a click on each asks of the controller.
    void onItem_trackLed(int16_t track) { groove.toggleMute(track); }
    void onItem_trackButton(int16_t track) { groove.selectTrack(track); }
    void onItem_sampSelGroup(int16_t track);
    void onItem_sampSelIndex(int16_t track);
    void onItem_volume() { groove.setVolume(volumeShown); }
    void onItem_pan() { groove.setPan(panShown); }
    void onItem_solo() { groove.toggleSolo(); }
    void onItem_group() { groove.toggleGroupMode(); }
    void onItem_all() { groove.toggleAllMode(); }
    void onItem_keep(int16_t track) { groove.toggleKeep(track); }
    void onItem_empty() { groove.empty(); }
    void onItem_keyLock();
    // The takes' menu: filled as it opens, its choice made.
    void fillTakesMenu();
    void onItem_takes();
    size_t takesShown = static_cast<size_t>(-1);
    // Asked once the menu's list has closed: the question over the panel.
    int16_t takeToConvert = -1;
    void convertTakeAsked();
    // A take's new name asked while the music goes on; its old one, to find
    // it again when the answer comes.
    void renameTakeAsked(int16_t take);
    void renameTakeAnswered();
    BLTextEntry renameEntry;
    std::string renameFrom;
    void onItem_launchGrid();
    void randomize(int16_t set) override { groove.randomize(set); }
    void setRndStyleName(int16_t set);
    // The colour and blend level the track's light and menus get now.
    int16_t trackLedImage(int16_t track) const;
    int16_t trackLedLevel(int16_t track) const;
    int16_t sampColor(int16_t track) const;
    void adjustTrackLed(int16_t track);
    void adjustSampColor(int16_t track);

    // The volume and pan knobs as they show (the controller's values, or
    // where a drag has them).
    void setVolumeControl(int16_t v);
    void setPanControl(int16_t v);
    int16_t volumeControl() const { return volumeShown; }
    int16_t panControl() const { return panShown; }

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

    // Strips.
    void grooveEntryHit(int16_t item);
    void sequenceEntryHit(int16_t item);
    void refreshStrips();

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

    // What the controller tells to show again.
    void trackShown(int16_t track) override;
    void lampsShown() override;
    void selectionShown() override;
    void modesShown() override;
    void controlsShown() override;
    void grooveShown() override;
    void randomShown(int16_t set, bool lit) override;
    void stripsShown() override { refreshStrips(); }
    void songShown() override;
    void keyLockShown() override;
    void recordShown() override;
    void launchGridShown() override;
    void waitShown() override { waitDeadline = 0; }
    void say(const std::string& text) override { sayInHint(text); }
    void workShown() override;
    bool gesture() override { return liveChange != 0; }
    bool browsing() override;
    void askSavePath(std::function<void()> then) override;

    // Disk mix (panels/groovework/BLGrooveDiskMix.cpp): the button asks for the file
    // or the stems folder; the dialog's answer runs the mix.
    void onItem_diskMix();
    // A disk mix of the sequence (-1) or of a take, from its save dialog on.
    void diskMixOf(int16_t take);
    // The take mixed into the file at the kel path (the format's extension given).
    void diskMixTakeRun(int16_t take, const std::string& pathKel);
    int16_t diskMixTake = -1;
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
    const BLGroove& currentGroove() const override { return groove.model.current; }
    BLNet& net() override { return groove.net(); }
    bool auditionSong(const char* folder) override;
    void auditionEnd() override;
    void auditionKeep() override { groove.auditionKeep(); }
    bool isUserSong(const char* folder) const override { return groove.isUserSong(folder); }
    std::string userSong() const override { return groove.userSong(); }
    void guardSong(const char* folder, const std::string& title, std::function<void()> load) override
    {
        groove.guardSong(folder, title, std::move(load));
    }
    void songTaken() override { groove.songTaken(); }
    void closeSong() override;
    // Opens a document the user chose, the question about unsaved work asked.
    void openDocument(const std::string& path) { groove.openDocument(path); }

    // The virtual mix (BLGrooveVMix.cpp). setupVMix generates the song's
    // style into the sequence (nothing when the song has no such style),
    // leaving out the groups the preferences leave out; setupVMixFromGroups
    // does the same from the song's groups.
    void setupVMix(int16_t style);
    void setupVMixFromGroups();
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
    // The hint line is lit while MIDI learn waits: a sign beside its words.
    void learnShown();
    // While help bubbles show, the hint line offers the user guide: a click on it opens it.
    void onClick() override;
    // The knob's film turned to the main volume; the Keep button's light.
    void showMainVolume(int16_t volume);
    // The effects panel for a rack (BLGroovePanelFx.cpp); the FX buttons lit
    // while their rack holds an effect.
    void openEffects(int16_t rack);
    void effectsIdle();
    void showKeep();
    void showLaunchGrid();
    // A track whose change waits shows, over its dimmed lamp, the beats left.
    void waitingIdle();
    int16_t waitBeats[kBLEngineTracks] = {};
    long waitDeadline = 0;

    // MIDI learn: the key starts it (and again, or Esc, cancels it); a click
    // then picks the action of the control without working it, and the
    // controller binds the next note or CC to it.
    static constexpr uint8_t kMidiLearnKey = 'n';
    // Picks the control of this item (Shift held: the step down of a menu
    // or the tempo); false when it cannot be bound.
    bool midiLearnPick(int16_t item, bool shift);
    // What a control drives and for which target; false for one that
    // cannot be bound.
    bool midiActionOf(int16_t item, bool shift, BLMidiAction& action, int8_t& target) const;
    // "MIDI: CC 7 ch 1" for a bound control, else "".
    std::string midiHint(int16_t item) const;
    void events() override;

    // Idle work, each part on its own.
    void chaseIdle();
    void blinkIdle();
    void metersIdle();
    void randomNameIdle();

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
    bool learnLit = false;
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
    BLPlayer& player() const { return groove.player(); }
    void setText(int16_t item, const char* text);
    void setNumber(int16_t item, int16_t value);
    void setImage(int16_t item, int16_t image);
    void fillMenus(int16_t track);
    void showTrack(int16_t track);
    void showModeButtons();
    void showTrackButtons();
    void refreshAllLights();
    void showControls(bool relativeStart);
    void stepKeys();
    void returnKey();
    void letterKeys();
    bool held(char letter) const;
    bool pressed(char letter) const;
    uint8_t firstHeld(const char* letters) const;
    void openPanel(int16_t index);
    void refreshStrip(bool sequence);
    // The document path set for a dialog: where it starts.
    void dialogStart();

    BLGrooveController& groove;
    BLPath docPath;
    // What waits for the save dialog's answer (the action the question held).
    std::function<void()> afterSave;
    int16_t volumeShown = 64;
    int16_t panShown = 0;
    char volumeText[16] = {};
    char panText[16] = {};
    char mainVolumeText[16] = {};
};

// The groove panel once created; null before.
extern BLGroovePanel* blGroovePanel;
