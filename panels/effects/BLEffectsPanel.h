// The effects panel (panel 12): the two slots of a track's rack or of the
// main mix's, opened from the groove panel's FX buttons. Each slot has a
// chooser of the effect (none, the built-ins, the plugins found), its
// bypass and six knobs at a time (a page button steps through a plugin's
// other controls), each with its caption and its value in the effect's
// units. Every control is the controller's action the moment it moves;
// what the panel shows follows the groove, whoever changed it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/fx/FxSettings.h"
#include "ui/PWPanel.h"

class BLGrooveController;
struct FxEffectInfo;
struct FxParamInfo;

class BLEffectsPanel : public PWPanelClass {
public:
    explicit BLEffectsPanel(BLGrooveController& controller);

    static constexpr int16_t kKnobs = 6;  // a slot's knobs shown at a time
    static constexpr int16_t kItemClose = 1;
    static constexpr int16_t kItemTitle = 2;
    static constexpr int16_t kItemHint = 3;
    // A slot's items from its base: the chooser, the bypass and its words,
    // the page button and its words, the knobs, their captions and values.
    static constexpr int16_t kSlotBase[kFxSlots] = {4, 27};
    static constexpr int16_t kChooser = 0, kBypass = 1, kBypassWords = 2, kPage = 3, kPageWords = 4,
                             kKnob = 5, kCaption = 11, kValue = 17, kSlotItems = 23;
    // A knob's turn across a continuous parameter, and a step of a stepped
    // one, in the knob's units (a pixel of drag each); a wheel's notch.
    static constexpr int16_t kKnobRange = 240;
    static constexpr int16_t kStepUnits = 12;
    static constexpr int16_t kWheelUnits = 6;

    // Shows the panel for rack 0 .. 7 (a track) or kFxMain.
    void openFor(int16_t rack);
    int16_t rack() const { return shownRack; }
    // The effects each chooser offers after "none", in order.
    const std::vector<std::string>& offered() const { return choices; }
    // The parameter a slot's knob stands for now; null when none.
    const FxParamInfo* knobParam(int16_t slot, int16_t knob) const;
    static int16_t item(int16_t slot, int16_t part) { return static_cast<int16_t>(kSlotBase[slot] + part); }

    kelPanelControl* newCustomControl(int16_t kind) override;
    void onPanelOpened() override;
    void beforeShow() override;
    void onItem() override;
    void onIdle() override;
    void events() override;

private:
    void offer();
    void showAll();
    void showSlot(int16_t slot);
    void showValue(int16_t slot, int16_t knob);
    void setText(int16_t item, const std::string& utf8);
    const FxEffectInfo* infoOf(int16_t slot) const;
    int16_t pageCount(int16_t slot) const;
    bool learnPick();
    void knobMoved(int16_t slot, int16_t knob);
    void chosen(int16_t slot);

    BLGrooveController& groove;
    int16_t shownRack = 0;
    int16_t page[kFxSlots] = {};
    std::vector<std::string> choices;
    // What the controls show, so that a change made elsewhere shows too.
    FxRackSettings shown;
};
