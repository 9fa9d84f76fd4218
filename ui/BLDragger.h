// Numbered entries that can be dragged onto receivers (the stored grooves and
// the sequence entries of the groove panel). An entry shows its number on a
// label layer (image 0's size, mask 0) and, when selected, a colour layer
// (image 1's size, mask 1) over it.
#pragma once

#include <cstdint>

#include "core/kelOffmap.h"
#include "ui/kelPanStdCtrls.h"

class BLDraggerCtrl : public kelPaCoStd_StaticCast {
public:
    // Answers of a drag beside a receiver's index.
    static constexpr int16_t kClicked = -2;
    static constexpr int16_t kDroppedOff = -1;

    void setup() override;
    void draw() override;
    bool click() override { return true; }
    void setValue(int16_t n) override;
    void setValue(int16_t i, int16_t v) override;
    void getValue(int16_t i, int16_t& v) override;
    using kelPaCoStd_StaticCast::getValue;
    using kelPaCoStd_StaticCast::setValue;

    // Runs the drag while the button is held: -2 for a release inside the
    // entry itself, else the receiver under the mouse or -1.
    int16_t doDragIt();

    kelOffmap label;
    kelOffmap colour;
    kelOffmap* labelMask = nullptr;
    kelOffmap* colourMask = nullptr;
    uint8_t selected = 0;
    uint8_t dragging = 0;
    uint8_t highlighted = 0;
    kelRect dragRect;

protected:
    void drawLayer(const kelOffmap& layer, const kelOffmap* mask, const kelRect& at) const;
};

class BLDraggerReceiverCtrl : public BLDraggerCtrl {
public:
    void setValue(int16_t i, int16_t v) override;
    void getValue(int16_t i, int16_t& v) override;
    using BLDraggerCtrl::getValue;
    using BLDraggerCtrl::setValue;
};
