// The progress panel: a message line, a bar and an optional stop button for
// the long operations that run inside one call on the main thread (disk
// mixes, conversions, user loops, copies). The operation drives it and polls
// shouldStop(); the engine's mixdown reports through BLProgress_subAmount.
#pragma once

#include <cstdint>

#include "ui/PWPanel.h"

class BLProgressPanel : public PWPanelClass {
public:
    enum : int16_t { kItemStop = 1, kItemMessage = 3, kItemBar = 4 };

    // While work runs, nothing behind the panel may be clicked.
    BLProgressPanel() { modal = 1; }

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
    // Polls the mouse once; true once the user pressed the stop button.
    bool shouldStop();

    float base = 0;
    float range = 1;
    uint8_t stopped = 0;
    uint8_t pressed = 0;

private:
    void setBar(float fraction);
};

// The screen's progress panel (null before start-up).
BLProgressPanel* BLProgress();
// What lower layers call: the panel's subAmount, when it exists.
void BLProgress_subAmount(float x);
