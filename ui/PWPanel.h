// The base of every application panel: the screen's hooks and the panel's
// three layouts.
#pragma once

#include <cstdint>

#include "ui/kelPanelPro.h"

class BLPath;

class PWPanelClass : public kelPanelPro {
public:
    // The index the screen knows the panel by; -1 until connected.
    int16_t screenIndex = -1;

    virtual void beforeShow() {}
    virtual void beforeHide() {}
    virtual void afterShow() {}
    virtual void afterHide() {}
    virtual void connected() {}
    virtual void onPanelOpened() {}
    virtual void onPanelClosed() {}
    virtual void asyncDialogMessage(BLPath*) {}
    virtual void getHelp(int16_t* helpID);

    // The document commands (Ctrl+O, Ctrl+S) reach the groove panel here.
    virtual void onItem_Load() {}
    virtual void onItem_Save() {}

    // The path the panel opens and saves its documents through (the groove
    // panel's); null for panels without documents.
    virtual BLPath* documentPath() { return nullptr; }

    // The background control (control 0): its rectangle is the panel's place.
    kelPanelControl* background() const { return control(0); }
};
