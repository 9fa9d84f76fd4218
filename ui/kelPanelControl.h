// The base of every control a panel holds.
#pragma once

#include <cstdint>

#include "core/kelGeometry.h"

class kelPanel;
class KelLayout;

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
    int16_t* linkedShort = nullptr;
    long* linkedLong = nullptr;
    char* linkedText = nullptr;
    uint8_t* linkedBytes = nullptr;

    virtual bool click() { return false; }
    virtual bool doubleClick() { return false; }
    virtual bool key() { return false; }
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

    // Takes mouse and key events.
    bool live() const { return active && enabled && visible; }
};
