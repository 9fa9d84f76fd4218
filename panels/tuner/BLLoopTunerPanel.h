// The loop tuner (panel 4): brings a sound of the user's own into the song
// as a user loop. It records one from the sound card or loads any sound
// file, fits it to the song's bars with nine knobs while it plays with the
// groove, and saves one period of it into the song's "User:" folder, after
// which the song is opened again with the new loop in its "User" group.
//
// The recording, playing and saving of the loop are the engine's (the
// user-loop operations of `gep`); the panel turns its knobs into the
// settings record and drives those operations.
#pragma once

#include <cstdint>
#include <string>

#include "audio/Vetro.h"
#include "control/BLGrooveDisplay.h"
#include "core/BLPath.h"
#include "library/BLLoopTempo.h"
#include "ui/PWPanel.h"

struct BLWorkExtras;

class BLLoopTunerPanel : public PWPanelClass, public BLWorkPart {
public:
    BLLoopTunerPanel();
    ~BLLoopTunerPanel() override;
    static constexpr int16_t kItemClose = 1;
    static constexpr int16_t kItemRecord = 3;
    static constexpr int16_t kItemStop = 4;
    static constexpr int16_t kItemPlay = 5;
    static constexpr int16_t kItemLoad = 6;
    static constexpr int16_t kItemSave = 7;
    static constexpr int16_t kItemLamp = 8;
    static constexpr int16_t kItemName = 9;
    static constexpr int16_t kItemStatus = 10;
    static constexpr int16_t kItemFirstKnob = 11;   // the nine knobs, in the order of Knob
    static constexpr int16_t kItemFirstValue = 20;  // the six value texts, in the order of Value
    static constexpr int16_t kItemFit = 36;
    enum Knob : int16_t {
        kBars,
        kOffset,
        kStartCoarse,
        kStartFine,
        kEndCoarse,
        kEndFine,
        kSpeedCoarse,
        kSpeedFine,
        kVolume,
        kKnobCount
    };
    enum Value : int16_t {
        kBarsValue,
        kOffsetValue,
        kStartValue,
        kEndValue,
        kSpeedValue,
        kVolumeValue,
        kValueCount
    };

    // What the knobs stand for: the settings record (enabled = audible) and
    // the texts that show them; `tempo` is the player's.
    struct Reading {
        blUserLoopSettingsRec settings{};
        char text[kValueCount][32] = {};
    };
    static Reading read(const int16_t knobs[kKnobCount], bool audible);
    // The knobs as the panel shows them first (volume 50).
    static void restValues(int16_t knobs[kKnobCount]);

    kelPanelControl* newCustomControl(int16_t kind) override;
    void onPanelOpened() override;
    void beforeShow() override;
    void beforeHide() override;
    bool requestClose() override
    {
        close();
        return false;
    }
    void onItem() override;
    void onIdle() override;
    void asyncDialogMessage(BLPath* path) override;

    void resetValues();
    // The knobs to the engine (nothing while recording).
    void dataInput();
    void startRecord();
    void stopRecord();
    void togglePlay();
    void close();
    void load();
    void loadResult(BLPath* path);
    void save();
    void saveResult(BLPath* path);
    // The bars and the speed that fit the loop to the song, from its tempo
    // (in its name, or from its length); done as a loop arrives.
    void fit();
    // What Fit makes of the loop: the tempo found, the bars knob, the two
    // speed knobs (each within its range) and the exact speed that plays the
    // loop's bars in the song's, which the knobs can only come near.
    struct Fitting {
        bool found = false;
        int16_t bars = 0, coarse = 0, fine = 0;
        double rate = 1.0;
    };
    Fitting fitting();
    // The status line names the loop's own tempo and the one it is played at.
    void showTempo();
    BLLoopTempo tempo;

    // The loop, its knobs and whether it sounds belong to the user's work:
    // they stay while their song stays open (the panel closed or not), go
    // when another song is opened, and come back with an undo or a
    // recovered work.
    void captureWork(BLWorkExtras& work) override;
    void applyWork(const BLWorkExtras& work) override;
    void songOpened(const std::string& userSong) override;

    bool recording = false;
    bool audible = false;
    // A loop is there (recorded or loaded since the panel was shown or last
    // cleared).
    bool hasLoop = false;
    int16_t knobs[kKnobCount] = {};
    char loopName[64] = {};
    // The sound file the loop came from ("" when recorded) and the song it
    // was made for.
    std::string loopSource;
    std::string loopSong;
    char statusText[128] = {};
    Reading shown;

private:
    void setText(int16_t item, const char* text);
    void setStatus(const char* text);
    void setStatusMessage(int16_t message);
    void showName();
    void showRecordLook();
    void showPlayLook();
    void showValues();
    void takeKnobs();
    void putKnobs();
    // The loop just loaded or recorded starts to sound.
    void loopArrived();
    // Loads a sound file as the loop, converted when it is no 16-bit 44.1 kHz
    // WAV file; the message that says why it failed, 0 when it loaded.
    int16_t loadLoopFile(const char* path, bool& cut);
    void clearLoop();

    BLPath dialogPath;
    // Audible before a dialog made the loop fall silent.
    bool audibleBefore = false;
    char nameBefore[64] = {};
    int16_t shownPercent = -1;
    // A take in time with the groove under way, and the count-in shown.
    bool inTime = false;
    int shownCountIn = -2;
    void showTake();
    bool canRecord = true;
};
