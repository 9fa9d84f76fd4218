// The application's scrolls: a thumb that travels on an arc (a knob) or
// along a straight track. Both follow the mouse's movement from where it was
// pressed, without jumping to it, and report to the panel while dragging.
#pragma once

#include <cstdint>

#include "ui/kelPanProCtrls.h"

class BLRoundScroll : public panProImageControl {
public:
    void setup() override;
    void calc() override;
    void draw() override;
    bool click() override;
    void setValue(int16_t v) override;
    void setValue(int16_t i, int16_t v) override;
    using panProImageControl::setValue;
    virtual void calcThumb();
    // Sets the value during a drag and reports it to the panel.
    void setRealtime(int16_t v);

    kelOffmap* thumb = nullptr;
    kelOffmap* thumbMask = nullptr;
    int16_t halfWidth = 0, halfHeight = 0;
    int16_t minimum = 0, maximum = 0;
    int16_t startAngle = 0, endAngle = 0;  // degrees, clockwise from the right
    int16_t radius = 0;
    kelPoint centre;
    kelRect thumbRect;

protected:
    // The value under the mouse, on the scale the drag measures in.
    virtual int16_t valueAtMouse() const;
    bool onThumb() const;
};

// A straight slider, vertical when narrower than high (its minimum at the top).
// A press on its track, off the thumb, moves the thumb there first.
class BLScroll : public BLRoundScroll {
public:
    void calcThumb() override;
    bool click() override;

    bool vertical() const { return rect.width() < rect.height(); }

protected:
    int16_t valueAtMouse() const override;
};
