// The application's displays: a ten-segment level meter with a peak mark, a
// progress bar and a rotor of spinning dashes.
#pragma once

#include <cstdint>

#include "ui/kelPanelControl.h"

// Image 1 with mask 1 is one segment; segment i lies at the control's
// top-left + (aux 1, aux 2) + i x (aux 3, aux 4).
class BLLevelBarControl : public kelPanelControl {
public:
    static constexpr int16_t kSegments = 10;

    void draw() override;
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override { v = value; }
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::getValue;
    using kelPanelControl::setValue;

    int16_t value = 0;  // 0..99
    int16_t peak = 0;
};

// Image 1 with mask 1 is the full bar; value percent of it shows.
class BLProgressControl : public kelPanelControl {
public:
    void draw() override;
    void setValue(int16_t v) override;
    void getValue(int16_t& v) override { v = value; }
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::getValue;
    using kelPanelControl::setValue;

    int16_t value = 0;
};

// Up to eight dashes turning around a circle, each at its own pace and in its
// own direction: setValue(n) starts (or re-randomises) dash n - 1, setValue(-n)
// stops dash n - 1.
class BLRotorControl : public kelPanelControl {
public:
    static constexpr int kDashes = 8;
    static constexpr int16_t kIdleStep = 3600;

    struct Dash {
        int16_t period = 0;  // ticks per step; 0 stopped
        int16_t direction = 1;
        int16_t position = 0;  // steps of 5 degrees
        uint32_t next = 0;
    };

    void setup() override;
    void calc() override;
    void draw() override;
    void idle() override;
    void setValue(int16_t n) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPanelControl::setValue;

    Dash dashes[kDashes];
    kelPoint centre;
    int16_t outer = 0, inner = 0;
    int16_t step = kIdleStep;
    uint32_t redrawAt = 0;
};
