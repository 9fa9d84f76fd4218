// The base of every control a panel holds.
#pragma once

#include <cstdint>
#include <string>

#include "core/kelGeometry.h"

class kelPanel;
class KelLayout;
class kelOffmap;

// Control kinds: the first auxiliary value of a layout item.
enum : int16_t {
    kelKindPlain = 0,
    kelKindStdButton = 10,
    kelKindStdRadio = 11,
    kelKindStdCheck = 12,
    kelKindStaticString = 13,
    kelKindStdNum = 14,
    kelKindEditString = 15,
    kelKindEditNum = 16,
    kelKindStaticCast = 17,
    kelKindStdList = 18,
    kelKindBackpane = 19,  // the standard level bar outside application panels
    kelKindEditPassword = 20,
    kelKindScroll = 30,
    kelKindImage = 31,
    kelKindFilm = 32,
    kelKindButton = 33,
    kelKindCheck = 34,
    kelKindRotary = 36,
    kelKindHiliteButton = 37,
    kelKindText = 38,
    kelKindRadio = 39,
    kelKindImageID = 61,
    kelKindImagePtr = 64,
    kelKindImageBar = 68,
    kelKindPopup = 70,
    kelKindSpectre = 72,
    kelKindFluidFilm = 73,
    kelKindRoundScroll = 90,
    kelKindDragger = 220,
    kelKindDraggerReceiver = 221,
    kelKindLevelBar = 230,
    kelKindRotor = 231,
    kelKindProgress = 232,
};

// Numbered properties the skinned controls take through setValue(i, v).
enum : int16_t {
    kelPropTextSize = 0,
    kelPropTextStyle = 1,
    kelPropTextAlign = 2,
    kelPropMaximum = 10,
    kelPropMinimum = 11,
    kelPropImageIndex = 64,
    kelPropOverlay = 65,
    kelPropCallback = 66,
    kelPropRetakeImages = 67,
    kelPropDrawNow = 1400,
    kelPropJump = 1404,
    kelPropFit = 1405,
    kelPropLevel = 1406,
    kelPropFill = 1407,
    kelPropFillColour = 1408,
    kelPropReportOnPress = 1409,
    kelPropSelected = 1600,
    kelPropColourCode = 1603,
    kelPropRunDrag = 1604,
    kelPropMouseInside = 1605,
    kelPropHighlight = 1606,
};

class kelPanelControl {
public:
    kelPanelControl() = default;
    virtual ~kelPanelControl() = default;
    kelPanelControl(const kelPanelControl&) = delete;
    kelPanelControl& operator=(const kelPanelControl&) = delete;

    kelPoint pos;
    kelRect rect;
    kelPanel* panel = nullptr;
    int16_t index = 0;
    KelLayout* layout = nullptr;
    int16_t item = 0;
    int16_t kind = 0;
    uint8_t focused = 0;
    uint8_t focusable = 0;
    uint8_t enabled = 0;
    uint8_t active = 0;
    uint8_t visible = 0;
    uint8_t wantsIdle = 0;
    // The control gave its panel the item itself, before its click or key
    // ended (a choice acts when it is made, not after what shows it).
    uint8_t reported = 0;
    int16_t* linkedShort = nullptr;
    long* linkedLong = nullptr;
    char* linkedText = nullptr;
    uint8_t* linkedBytes = nullptr;

    // Hands the item to the panel now, as the end of the click would.
    void reportNow();
    virtual bool click() { return false; }
    virtual bool doubleClick() { return false; }
    virtual bool key() { return false; }
    // The mouse wheel over the control: true when it took the notches.
    virtual bool wheel(int16_t /*notches*/) { return false; }
    virtual void draw() {}
    virtual void calc();
    virtual void setup() {}
    virtual void statusChanged() { draw(); }
    virtual void enable();
    virtual void disable();
    virtual void show();
    virtual void hide() { visible = 0; }
    virtual void idle() {}
    virtual void setValue(int16_t) {}
    virtual void setValue(long) {}
    virtual void setValue(char*) {}
    virtual void setValue(uint8_t*) {}
    virtual void getValue(int16_t&) {}
    virtual void getValue(long&) {}
    virtual void getValue(char*) {}
    virtual void getValue(uint8_t*) {}
    virtual void setValue(int16_t, int16_t) {}
    virtual void setValue(int16_t, long) {}
    virtual void setValue(int16_t, char*) {}
    virtual void setValue(int16_t, uint8_t*) {}
    virtual void getValue(int16_t, int16_t&) {}
    virtual void getValue(int16_t, long&) {}
    virtual void getValue(int16_t, char*) {}
    virtual void getValue(int16_t, uint8_t*) {}
    virtual void linkValue(int16_t* p) { linkedShort = p; }
    virtual void linkValue(long* p) { linkedLong = p; }
    virtual void linkValue(char* p) { linkedText = p; }
    virtual void linkValue(uint8_t* p) { linkedBytes = p; }
    virtual void setLinkedValues();
    virtual void getLinkedValues();
    virtual void setString(char* text) { setValue(text); }
    virtual void set(int16_t v) { setValue(v); }
    virtual void set(int16_t i, int16_t v) { setValue(i, v); }
    virtual int16_t get();
    virtual int16_t get(int16_t i);

    // Takes mouse and key events.
    bool live() const { return active && enabled && visible; }

    // What the control's layout item holds (nothing without a layout).
    int16_t aux(int16_t k) const;
    kelOffmap* itemImage(int16_t index) const;
    kelOffmap* itemMask(int16_t index) const;
    kelRect itemFrame() const;
    // Recomputes the item's place and takes its frame as the rectangle.
    void calcFromFrame();
    bool panelVisible() const;
    // The panel's live-change flag raised around a report made during a drag.
    void reportLive(bool itemChanged);
};

// Reads the hit mask of a control at a point of its rectangle: true when the
// pixel belongs to the control. Anti-aliased skin masks fade out at their
// edges and shadows, so a pixel counts as outside once it is more than half
// transparent.
bool kelHitMaskInside(const kelOffmap* mask, const kelRect& rect, int16_t x, int16_t y);

// Polls the mouse for a drag or hold loop; a short pause between polls keeps
// the loop from spinning. True while the button is held.
bool kelTrackMouse();

// A text as a control keeps and draws it, in the skin font's 8-bit set: a
// name or a message with names that comes in UTF-8 is brought into it, so
// that an accent is one sign, never two; 8-bit text stays as it is.
std::string kelShownText(const char* text);
