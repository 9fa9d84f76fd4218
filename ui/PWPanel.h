// The base of every application panel: the screen's hooks, the panel's three
// layouts (items numbered from 0, 50 and 100), the application's controls
// and the help lookup.
#pragma once

#include <cstdint>

#include "ui/kelPanelPro.h"

class BLPath;
class KelCasts;
class KelLayout;

class PWPanelClass : public kelPanelPro {
public:
    static constexpr int kLayouts = 3;
    static constexpr int16_t kLayoutBases[kLayouts] = {0, 50, 100};

    PWPanelClass() = default;
    ~PWPanelClass() override;

    // The index the screen knows the panel by; -1 until connected.
    int16_t screenIndex = -1;
    // While shown, the panel takes every mouse and key event (the screen's
    // modalPanel); a browser or a settings panel in front of the others.
    uint8_t modal = 0;
    // The main, second and third layouts (owned; null when not given).
    KelLayout* layouts[kLayouts] = {};

    // Reads and places the layouts (-1: none) and builds their controls.
    void attachLayouts(int16_t main, int16_t second, int16_t third, KelCasts* casts, const kelRect* stage);
    // The help number of the control under the mouse; -1 over the panel's
    // own surface; unchanged while the panel is hidden.
    virtual void getHelp(int16_t* helpID);
    // The control's text: line messageID of the message table.
    void setIntlString(int16_t item, int16_t messageID);
    // Shows the control or hides it, the stage under it drawn again at once
    // (a control the layouts do not place is left alone).
    void showControl(int16_t item, bool on);

    virtual void beforeShow() {}
    virtual void beforeHide() {}
    virtual void afterShow() {}
    virtual void afterHide() {}
    virtual void connected() {}
    virtual void onPanelOpened() {}
    virtual void onPanelClosed() {}
    virtual void asyncDialogMessage(BLPath*) {}
    // Escape on the panel in front: true when the screen may simply hide it;
    // a panel with something to ask or to keep first does what its own
    // close button does instead, and answers false.
    virtual bool requestClose() { return true; }

    // Quitting: the panel asks about work that is not saved. True when it
    // took the question (and set kelGlo.running to 0 when the program may
    // end); false when it has nothing to ask about.
    virtual bool askBeforeQuit() { return false; }
    // New, undo and redo (kelItemNew, kelItemUndo, kelItemRedo).
    virtual void workCommand(int16_t /*item*/) {}

    // The document commands (Ctrl+O, Ctrl+S) reach the groove panel here.
    virtual void onItem_Load() {}
    virtual void onItem_Save() {}

    // The path the panel opens and saves its documents through (the groove
    // panel's); null for panels without documents.
    virtual BLPath* documentPath() { return nullptr; }

    kelPanelControl* newCustomControl(int16_t kind) override;
    // A panel with a line naming the control under the mouse has no
    // tooltips: the line says the same.
    virtual bool hasHintLine() const { return false; }
    // Every panel's item handler starts by telling the help mode (its tour
    // moves on when the control it explains is clicked).
    void beforeItem() override;

    // The background control (control 0): its rectangle is the panel's place.
    kelPanelControl* background() const { return control(0); }
    // The point lies on the panel: inside its background's rectangle and not
    // on a transparent part of its picture (the shadow of a floating panel).
    bool backgroundHit(int16_t x, int16_t y) const;
};

// The application control of a kind (falling back on the framework's).
kelPanelControl* PWNewApplicationControl(int16_t kind);
