// The progress panel: a message line, a bar and an optional stop button for
// the long operations that run inside one call on the main thread (disk
// mixes, conversions, user loops, copies). The operation drives it and polls
// shouldStop(); the engine's mixdown and the media service's conversions
// report through BLProgress_subAmount and poll BLProgress_shouldStop, which
// the panel installs as their hooks.
//
// While shown the panel is modal and keeps the window alive: the bar and
// its polls take the window's waiting events (paint, resize, the stop
// button, Escape as stop) a few dozen times a second, so the picture stays
// current and the stop button answers while the operation runs. A finished
// file dialog that arrives meanwhile is handed back to the main loop.
#pragma once

#include <cstdint>

#include "ui/PWPanel.h"

class BLProgressPanel : public PWPanelClass {
public:
    enum : int16_t { kItemStop = 1, kItemMessage = 3, kItemBar = 4 };

    // While work runs, nothing behind the panel may be clicked.
    BLProgressPanel() { modal = 1; }
    ~BLProgressPanel() override;
    void connected() override;
    // Escape is the stop button's key, never a way to hide running work.
    void onKey() override;
    void onItem() override;

    void show();
    void hide();
    void message(const char* text);
    void message(short n);
    // Bar at a, and the start of the next sub-range.
    void amount(float a);
    void subAmountRange(float r);
    // x from 0 to 1 within the current sub-range.
    void subAmount(float x);
    void setStopMode(bool on);
    // Takes the window's waiting events; true once the user pressed stop
    // (or the program was asked to end).
    bool shouldStop();

    float base = 0;
    float range = 1;
    uint8_t stopped = 0;
    uint8_t pressed = 0;

    // Runs the waiting events now, whatever the time since the last round.
    void pump(bool now = false);

private:
    void setBar(float fraction);
    void stopPressed();
    static void handleEvent(uintptr_t message);

    uint32_t lastPump_ = 0;
};

// The screen's progress panel (null before start-up).
BLProgressPanel* BLProgress();
// What lower layers call: the panel's subAmount and shouldStop, when it exists.
void BLProgress_subAmount(float x);
bool BLProgress_shouldStop();
