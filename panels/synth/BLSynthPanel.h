// The synth panel: a three-octave keyboard whose keys switch notes of the
// arpeggio on and off, the arpeggio's direction, speed and rhythm program,
// the synth sound, its volume and pan, presets of whole settings, and the
// arpeggio mixed to a file. The pattern it builds plays in time with the
// groove (audio/Synth.h). Its whole state is the 'syic' atom of groove
// documents.
#pragma once

#include <cstdint>

#include "control/BLGrooveDisplay.h"
#include "control/BLPlayer.h"
#include "core/BLPath.h"
#include "library/BLEngineCalls.h"
#include "library/BLGrooveLinks.h"
#include "library/BLSynthIce.h"
#include "ui/PWPanel.h"

// The synth panel's engine calls are the one interface of them all.

// The synth panel's control numbers (layouts 3 and 4 of the skin sources).
namespace synthitem {
constexpr int16_t close = 1;
constexpr int16_t title = 2;
constexpr int16_t play = 3;
constexpr int16_t sound = 4;
constexpr int16_t browse = 5;
constexpr int16_t direction = 6;
constexpr int16_t speed = 7;
constexpr int16_t rhythm = 8;
constexpr int16_t autoStart = 9;
constexpr int16_t volume = 10;
constexpr int16_t volumeLabel = 11;
constexpr int16_t pan = 12;
constexpr int16_t panLabel = 13;
constexpr int16_t arpMix = 14;
constexpr int16_t presetsLeft = 15;
constexpr int16_t presetsRight = 16;
constexpr int16_t presetAdd = 17;
constexpr int16_t kPresetsShown = 6;
constexpr int16_t presetEntry[kPresetsShown] = {18, 19, 20, 21, 22, 23};
constexpr int16_t presetRemove[kPresetsShown] = {24, 25, 26, 27, 28, 29};
constexpr int16_t hint = 30;
constexpr int16_t octaveLabel = 31;
// The second layout: key k is control 50 + k.
constexpr int16_t firstKey = 50;
}  // namespace synthitem

class BLSynthPanel : public PWPanelClass, public BLPlayerSynth, public BLSynthDocument, public BLSynthPart {
public:
    static constexpr int16_t kKeys = kBLSynthKeys;
    static constexpr int16_t kPrograms = 33;
    static constexpr int16_t kMaxSynths = 180;
    static constexpr int kNameSize = 32;  // 31 characters and the end
    static constexpr int kPatternSize = 2048;

    // Message lines.
    static constexpr int16_t kMsgEmptyPattern = 31;
    static constexpr int16_t kMsgPresetsFull = 160;
    static constexpr int16_t kMsgPresetUnchanged = 161;
    static constexpr int16_t kMsgMixFailed = 162;
    static constexpr int16_t kMsgHint = 163;
    static constexpr int16_t kMsgOctaves = 164;
    static constexpr int16_t kMsgPresetAdded = 165;
    static constexpr int16_t kMsgMixWritten = 166;
    static constexpr int16_t kMsgPlayTheGroove = 167;

    // The panel talks to `engine` (the facade when null) and `player`
    // (blPlayer when null).
    explicit BLSynthPanel(BLEngineCalls* engine = nullptr, BLPlayer* player = nullptr);
    ~BLSynthPanel() override;

    // Screen hooks.
    void connected() override;
    void onPanelOpened() override;
    void beforeShow() override;
    void onItem() override;
    void onKey() override;
    void onIdle() override;
    void asyncDialogMessage(BLPath* path) override;

    // The player started.
    void playerSaidPlay() override;

    // What the controller sets (clicks and keys here go through it).
    void synthSet(Setting what, int16_t value) override;
    bool synthChoose(const std::string& sound) override;

    // The document's 'syic' atom.
    void iced_save(kelAtomsFile* file) override;
    bool iced_load(kelAtomsFile* file) override;

    // The pattern of the keys that are on under the current program; ""
    // when none is on.
    void buildPattern(char* out, int outSize) const;
    // Builds the pattern and hands it to the engine, only while playing and
    // only when it differs from what the engine has: handing it again would
    // start the pattern over at the next step.
    void synth_activate();
    // The engine's arpeggio was changed by someone else (a preview).
    void forgetSentPattern() { sentMode = -1; }
    // Everything the engine holds of the panel given again (after the
    // engine was restarted, at every start of the player).
    void synth_restoreAll();

    // Key k clicked (its control already shows the new state when it was a
    // click) or typed: switched through the controller.
    void noteHit(int16_t key, bool fromControl = false);
    // Key k of the arpeggio on or off.
    void setKey(int16_t key, bool on);
    // The song's arpeggio notes: the keys of those notes on in every octave.
    void ledsForArpKeys(const char* text);
    // The key a character stands for on the computer keyboard; -1 for none.
    int16_t keyOfCharacter(uint8_t c) const;
    void shiftKeyboard(int16_t octaves);

    void setPlaying(bool on);
    void setMode(int16_t mode);
    void setSpeed(int16_t speed);
    void setProgram(int16_t program);
    void setVolume(int16_t volume);
    void setPan(int16_t pan);
    // Chooses a sound of the list by name: stored, the synth stopped, its
    // folder loaded, the pattern rebuilt. False for a name not in the list.
    bool chooseSynth(const char* name);
    void loadSynthsList();

    // Presets.
    bool synths_add();
    // Entry i of the visible ones: recall it, or remove it.
    void synths_hit(int16_t entry, bool remove);
    void synths_scroll(int16_t step);
    void recall(const BLSynthSetting& s);

    // Arpeggiator mix to a file.
    void onItem_arpMix();
    void arpMixResult(BLPath* path);

    // The state.
    BLSynthSetting setting;
    BLSynthSetting presets[kBLSynthPresets];
    int16_t presetCount = 0;
    int16_t presetFirst = 0;
    int16_t presetSelected = -1;
    bool playing = false;
    bool changed = false;
    bool autoStart = true;
    char loadedSynth[kNameSize] = {};
    uint8_t scaleKeys[kKeys] = {};
    char keyNames[kKeys][4] = {};
    char synthNames[kMaxSynths][kNameSize] = {};
    int16_t synthCount = 0;
    // The lowest octave (0 or 1) that the computer keyboard's lower row plays.
    int16_t keyboardOctave = 0;
    // A document gave the keys: the song it opens next keeps them.
    bool documentKeys = false;
    char statusText[160] = {};
    BLPath mixPath;

    // The rhythm programs: 33 rows of 16 steps, 'x' a note, '.' a rest.
    static const char* const kRhythms[kPrograms];
    static constexpr int16_t kSpeeds[4] = {1, 2, 4, 8};

private:
    // A setting through the controller.
    void act(Setting what, int16_t value);
    BLEngineCalls& engine();
    BLPlayer* player() const;
    void showAll();
    void showKey(int16_t key);
    void showPresets();
    void showLevels();
    void showOctaves();
    void setStatus(int16_t message, const char* value = nullptr);
    void setText(int16_t item, const char* text);
    void setImage(int16_t item, int16_t image);
    void setControl(int16_t item, int16_t value);
    void fillPopups();
    void loadFolder(const char* name);
    void markChanged();

    BLEngineCalls* fixedEngine;
    BLPlayer* fixedPlayer;
    bool placed = false;
    // Whether the hint asks for the groove to be played.
    bool askingForGroove = false;
    // What the engine's arpeggio was given last; mode -1: nothing known.
    int16_t sentMode = -1;
    int16_t sentSpeed = 0;
    char sentPattern[kPatternSize] = {};
};

// The synth panel once created; null before.
extern BLSynthPanel* blSynthPanel;
// The sound folders of ":Library:Synth:", at most `max` names of at most 31
// characters, sorted by bytes; their count.
int16_t BL_ListSynthSounds(char (*names)[BLSynthPanel::kNameSize], int16_t max);
// How the panel shows a message of the table (BL_Notify; tests answer it).
extern int16_t (*BLSynthPanel_notify)(int16_t message, int16_t buttons);
