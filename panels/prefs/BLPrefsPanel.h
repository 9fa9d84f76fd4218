// The preferences panel (panel 8): the export format and its options, what
// a disk mix writes (one file or a file per instrument group), how it
// changes the tempo (classic or high-quality resampling) and whether it
// evens the loudness, the size of the random grooves of each random set,
// the interface colour, the launch grid loop and groove changes land on, and
// the sound card with its buffer size, whether JACK's transport is followed
// (with what JACK offers, or that it is not there), tooltips and the
// program's size in its window; on a page of its own, MIDI: clock out, clock
// in and the controllers' input.
//
// It works on copies of the preferences taken when it is shown; OK writes
// them back and saves the file, Cancel (the close button, Escape) drops
// them. While shown it is modal: the panels below take no clicks or keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/kelQt.h"
#include "library/BLprefs.h"
#include "ui/PWPanel.h"

class BLPrefsPanel : public PWPanelClass {
public:
    // Items of layout 13 (skin/layouts/prefs.txt), then of layout 18
    // (prefs-output.txt) from 50, then of layout 20 (prefs-midi.txt) from 100.
    enum : int16_t {
        kItemClose = 1,
        kItemFormat = 3,  // 3 .. 9: WAV as mixed, WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3
        kItemOptions = 10,
        kItemOptionName = 11,
        kItemOption = 12,      // 12 .. 17
        kItemOptionText = 18,  // 18 .. 23
        kItemTargetOne = 24,
        kItemTargetStems = 25,
        kItemClassic = 26,
        kItemHigh = 27,
        kItemNormalize = 28,
        kItemSetName = 29,    // 29 .. 32
        kItemSetLights = 33,  // 33 .. 36: a set's row of lights, one film
        kItemColour = 37,     // 37 .. 44
        kItemOk = 45,
        kItemCancel = 46,
        kItemTooltips = 47,
        kItemGrid = 48,  // steps through the launch grids
        kItemGridName = 49,
        kItemCard = 50,  // steps through the sound cards
        kItemCardName = 51,
        kItemFrames = 52,  // steps through the buffer sizes
        kItemFramesName = 53,
        kItemJackTransport = 54,
        kItemJackState = 55,  // JACK's rate and period, or why it does not play
        kItemStageSize = 56,  // steps through Fit and the sizes
        kItemStageSizeName = 57,
        kItemMidiPlate = 100,
        kItemClockCaption = 101,
        kItemClockOutLabel = 102,
        kItemClockOut = 103,  // on or off
        kItemClockOutPort = 104,
        kItemClockInLabel = 105,
        kItemClockIn = 106,  // steps through off, the own port and the ports found
        kItemClockInPort = 107,
        kItemControlCaption = 108,
        kItemControlLabel = 109,
        kItemControl = 110,  // as kItemClockIn
        kItemControlPort = 111,
        kItemSystemCaption = 112,
        kItemSystem = 113,
        kItemMidiWhy = 114,
        kItemMidiPage = 115,
        kItemGeneralPage = 116,
        kItemOscCaption = 117,
        kItemOscLabel = 118,
        kItemOscPort = 119,  // typed
        kItemOscState = 120,
    };
    static constexpr int kFormatChips = 7;
    static constexpr int kOptionChips = 6;
    static constexpr int kLights = 5;
    // The lights' film: frame available x 6 + lit; one light every kLightPitch pixels.
    static constexpr int16_t kLightPitch = 17;

    BLPrefsPanel();
    ~BLPrefsPanel() override;

    void beforeShow() override;
    void afterShow() override;
    void afterHide() override;
    void onItem() override;
    void onKey() override;

    // The entries of the format list: 'BTLM' first, then the exporters.
    const std::vector<uint32_t>& formats() const { return formats_; }
    // Chooses entry i of the format list.
    void chooseFormat(int16_t entry);
    void chooseOption(int16_t index);
    // The options button: the native format has none (message 50); other
    // formats step to their next option.
    void onItem_options();
    void confirm();
    void cancel();

    // The working copies.
    uint32_t format = kelQtFormatNative;
    kelQtSettingsHandle settings;
    int16_t levels[kBLRandomLevels] = {4, 5, 6, 7};
    int16_t mixTarget = 0;
    int16_t interfaceColor = 0;
    int16_t normalize = 0;
    int16_t tooltips = 1;
    int16_t resampleQuality = 0;
    int16_t launchGrid = 0;
    std::string outputCard;  // "" the system's default
    int16_t outputFrames = kBLOutputFramesDefault;
    int16_t jackTransport = 0;
    // The stage's size in the window (KEL_SetStageSize): Fit or a percentage.
    int16_t stageSize = 0;
    // The cards offered: the system's default ("") first, then the system's
    // cards, and the chosen one while it is unplugged.
    const std::vector<std::string>& cards() const { return cards_; }
    // MIDI: clock out (1 on), where clock in and the controllers listen (a
    // BLMidiFrom with the port's name).
    int16_t midiClockOut = 0;
    int16_t midiClockIn = kBLMidiOff;
    std::string midiClockInPort;
    int16_t midiControl = kBLMidiOwnPort;
    std::string midiControlPort;
    // The UDP port OSC control listens on, 0 none (on the MIDI page).
    int oscPort = 0;
    // The OSC port's field takes the keys.
    bool typingOscPort() const { return typing_; }
    // Whether the MIDI page shows; turning to it asks the MIDI system for its ports.
    bool midiPage() const { return midiPage_; }
    void showMidiPage(bool on);
    // The ports offered to listen to, by name.
    const std::vector<std::string>& midiInputs() const { return midiInputs_; }
    // The lights each set's row shows (0: the row is hidden).
    int16_t lightsAvailable[kBLRandomLevels] = {};

private:
    void refresh();
    void refreshLights();
    void onItem_lights(int16_t row);
    void setOn(int16_t item, bool on);
    void setText(int16_t item, const char* text);
    int16_t chipOf(uint32_t code) const;

    void stepCard(int step);
    void stepFrames(int step);
    void stepStageSize(int step);
    // Shows the format chips this system can write, and no others.
    void offerFormats();
    void refreshMidi();
    // Steps `from` and `port` to the next (or previous) of off, the own port and the ports found.
    void stepMidiFrom(int16_t& from, std::string& port, int step);
    bool onItem_midi(int16_t item);
    void takeMidi();
    void confirmMidi();
    // The port typed so far, held to 0 .. 65535.
    void takeOscPort();
    void endTyping();
    void onKey_osc();

    std::vector<uint32_t> formats_;
    std::vector<std::string> cards_;
    int16_t savedModal_ = -1;
    bool midiPage_ = false;
    bool typing_ = false;
    std::vector<std::string> midiInputs_;
    std::string midiSystem_;  // "" none answers
};
