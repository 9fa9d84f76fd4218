// The loop tuner's knob: a dial with a lit pointer that turns from 135 to
// 405 degrees (bottom left, over the top, to bottom right) as its value
// goes from its minimum to its maximum. Dragging up or down anywhere on the
// knob turns it, one step a pixel (a step every four pixels with Shift held),
// reporting to the panel while the mouse is held; a double click that
// follows a click without a turn sets it back to its rest value. The mouse
// wheel turns it by wheelStep a notch.
//
// Layout item: image 0 the dial, image 1 the pointer's tip; aux 1 and 2 the
// range, aux 3 the tip's distance from the centre, aux 4 and 5 the angles.
#pragma once

#include <cstdint>

#include "ui/BLScrolls.h"

class BLTunerKnob : public BLRoundScroll {
public:
    void setup() override;
    void calc() override;
    bool click() override;
    bool doubleClick() override;
    bool wheel(int16_t notches) override;
    void setValue(int16_t i, int16_t v) override;
    using BLRoundScroll::setValue;

    ~BLTunerKnob() override;

    // What a double click sets.
    int16_t restValue = 0;
    int16_t wheelStep = 1;

private:
    bool onDial() const;
};
