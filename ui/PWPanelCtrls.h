// The application's picture controls. They never paint the window
// themselves: draw() asks the screen to refresh their rectangle, and the
// screen asks them (property 1400) to draw into its image.
#pragma once

#include <cstdint>

#include "ui/kelPanProCtrls.h"

// What an image control shows and where it takes clicks: the current image
// and mask of its item, and the hit mask (mask 1, else mask 0).
struct PWImageLook {
    kelOffmap* image = nullptr;
    kelOffmap* mask = nullptr;
    kelOffmap* hitMask = nullptr;

    void take(const kelPanelControl& c, int16_t index);
    void drawNow(const kelRect& at, int16_t level) const;
};

class PWPanelImageControl : public panProImageControl {
public:
    void setup() override;
    void prepare() override;
    void draw() override;
    bool click() override;
    void setValue(int16_t v) override;
    void setValue(int16_t i, int16_t v) override;
    using panProImageControl::setValue;

    // The click lands on the picture, not on a transparent part of it.
    bool hitTest(int16_t x, int16_t y) const { return kelHitMaskInside(look.hitMask, rect, x, y); }

    PWImageLook look;
    int16_t level = 256;
};

// Control 0 of a panel: its background, one picture per colour scheme; the
// item's aux 1 to 10 name the pictures of schemes 0 to 9.
class PWPanelBackpaneControl : public PWPanelImageControl {
public:
    void setup() override;
    void setValue(int16_t scheme) override;
    using PWPanelImageControl::setValue;

    int16_t scheme = 0;
};

class PWPanelButtonControl : public panProButtonControl {
public:
    void setup() override;
    void prepare() override;
    void draw() override;
    bool click() override;
    bool key() override { return false; }
    void setValue(int16_t i, int16_t v) override;
    using panProButtonControl::setValue;

    PWImageLook look;
};

class PWPanelCheckControl : public panProCheckControl {
public:
    void setup() override;
    void prepare() override;
    void draw() override;
    bool click() override;
    void setValue(int16_t i, int16_t v) override;
    using panProCheckControl::setValue;

    PWImageLook look;
};

class PWPanelRadioControl : public panProRadioControl {
public:
    void setup() override;
    void draw() override;
    void statusChanged() override;
    bool key() override { return false; }
    void setValue(int16_t i, int16_t v) override;
    using panProRadioControl::setValue;

    int16_t lastDrawn = -1;
};

class PWPanelRotaryControl : public panProRotaryControl {
public:
    void setValue(int16_t i, int16_t v) override;
    using panProRotaryControl::setValue;
};

// A film whose shown frame moves toward a target frame, a few frames per
// step, rising and falling at their own paces; after a hold time it falls
// back to its rest frame.
class PWPanelFluidFilmControl : public panProImagesFilmControl {
public:
    void setup() override;
    void prepare() override;
    void idle() override;
    bool click() override { return true; }
    void setValue(int16_t t) override;
    void setValue(int16_t i, int16_t v) override;
    using panProImagesFilmControl::setValue;

    int16_t maximum = 0;
    int16_t riseStep = 1, riseDelay = 0;
    int16_t fallStep = 1, fallDelay = 0;
    int16_t rest = 0;
    int16_t hold = 0;
    uint8_t rising = 1;
    uint8_t stepped = 0;
    int16_t currentFrame = 0;
    int16_t target = 0;
    uint8_t jump = 0;
    uint8_t deadlineSet = 0;
    uint32_t deadline = 0;
    uint32_t stepTime = 0;
};

class PWPanelStaticCastControl : public kelPaCoStd_StaticCast {
public:
    void setup() override;
    void draw() override;
    void setValue(int16_t v) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticCast::setValue;
    void getOffmaps();

    kelOffmap* image = nullptr;
    kelOffmap* mask = nullptr;
};

// A text in the skin font, anchored at the top-left, top-centre or top-right
// of its frame; it may fill its rectangle first and cut itself to fit.
class PWPanelTextControl : public panProTextControl {
public:
    void setup() override;
    void calc() override;
    void draw() override;
    void setValue(char* text) override;
    void setValue(int16_t n) override;
    void setValue(int16_t i, int16_t v) override;
    using panProTextControl::setValue;

    int16_t fillColour = 0;
    uint8_t fill = 0;
    uint8_t fit = 0;
};

// The shared display buffer of the spectrum display.
constexpr int kSpectreBufferSize = 150;
extern int16_t spectrePublicBuffer[kSpectreBufferSize];

// Bars of the shared buffer over its picture; aux 1 = 1: a click starts its
// idle refresh.
class PWPanelSpectreControl : public PWPanelImageControl {
public:
    void setup() override;
    void idle() override { draw(); }
    bool click() override;
    void setValue(int16_t i, int16_t v) override;
    using PWPanelImageControl::setValue;

    int16_t mode = 0;
};
