// The skinned "pro" controls (kinds 30 to 39): pictures, buttons, checks,
// films, knobs, sliders, radios and texts composed from the images of their
// layout item in an offscreen image of their own.
//
// Image sources: aux 9 names what lies below a control that is not opaque:
// -1 the item's own image 0, otherwise another item of the layout whose
// current image is cut at this control's rectangle.
#pragma once

#include <cstdint>

#include "core/kelOffmap.h"
#include "ui/kelPanStdCtrls.h"

class KelOneCast;

// The callback of a button: phase 0 pressed, 1 released, 2 held; returns
// kelTrackGoOn to keep tracking, kelTrackNoReport to drop the click.
using panProButtonCallback = int16_t (*)(kelPanelControl* button, int16_t phase);
constexpr int16_t kelTrackGoOn = 4;
constexpr int16_t kelTrackNoReport = 6;

class panProImageControl : public kelPaCoStd_StaticCast {
public:
    void setup() override;
    void draw() override;
    void setValue(int16_t v) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticCast::setValue;
    virtual void prepare();

    int16_t source = -1;
    kelOffmap own;
    int16_t imageIndex = 1;
    KelOneCast* overlay = nullptr;
    uint8_t ready = 0;
    kelOffmap* current = nullptr;
    kelOffmap* currentMask = nullptr;

protected:
    // What lies below the control, copied into `own`.
    void composeBackground();
};

class panProButtonControl : public panProImageControl {
public:
    void setValue(int16_t v) override;
    void setValue(int16_t i, long v) override;
    using panProImageControl::setValue;
    bool click() override;
    bool key() override;

    panProButtonCallback callback = nullptr;

protected:
    int16_t call(int16_t phase);
};

class panProCheckControl : public panProImageControl {
public:
    void setValue(int16_t v) override;
    using panProImageControl::setValue;
    bool click() override;
    bool key() override;
};

// A button that lights up under the mouse: image 1 fades into image 3.
class panProHilButtonControl : public panProImageControl {
public:
    void setup() override;
    void idle() override;
    bool click() override;
    bool key() override;
    void drawOffAndHilite();

    int16_t hilite = 0;
    int16_t riseStep = 1;
    int16_t fallStep = 1;

private:
    void composeHilite();
};

class panProTextControl : public panProImageControl {
public:
    void setup() override;
    void calc() override;
    bool click() override { return true; }
    void setValue(char* text) override;
    void getValue(char* text) override;
    void setValue(int16_t i, int16_t v) override;
    using panProImageControl::getValue;
    using panProImageControl::setValue;

    char text[256] = {};
    int16_t size = 12;
    int16_t style = 0;
    int16_t alignment = 1;
    kelPoint anchor;

protected:
    void drawTextAt(kelPoint at);
};

class panProScrollControl : public kelPaCoStd_StaticCast {
public:
    void setup() override;
    void draw() override;
    void setValue(int16_t v) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticCast::setValue;
    bool click() override;
    bool key() override;

    int16_t minimum = 0;
    int16_t maximum = 0;
    int16_t source = -1;
    int16_t live = 0;
    kelOffmap* thumb = nullptr;
    kelOffmap* thumbMask = nullptr;
    kelOffmap own;
    uint8_t vertical = 0;
    double scale = 0;
    kelRect thumbRect;  // in the control's own image

private:
    void compose();
};

class panProImagesFilmControl : public kelPaCoStd_StaticCast {
public:
    void setup() override;
    void draw() override;
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticCast::setValue;
    virtual void prepare();

    int16_t source = -1;
    kelOffmap own;
    int16_t frame = 0;
    int16_t frameHeight = 0;
    kelOffmap* film = nullptr;
    kelOffmap* filmMask = nullptr;
    uint8_t filmOffset = 0;
    uint8_t maskOffset = 0;
    uint8_t ready = 0;

protected:
    void takeFilm();
    kelRect frameRect(bool offset) const;
    void composeBackground();
};

// A knob shown as a film of aux 1 frames; dragging down on its right half,
// or up on its left half, turns it up.
class panProRotaryControl : public panProImagesFilmControl {
public:
    void setup() override;
    void setValue(int16_t v) override;
    using panProImagesFilmControl::setValue;
    bool click() override;
    bool key() override;

    int16_t maximum = 0;
    int16_t live = 0;
};

// A radio drawn with its item's image 1 (off) or 2 (on).
class panProRadioControl : public kelPaCoStd_StandardRadio {
public:
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StandardRadio::setValue;
};

// The pro control of a kind, null for a kind outside 30 to 39.
kelPanelControl* kelNewProControl(int16_t kind);
