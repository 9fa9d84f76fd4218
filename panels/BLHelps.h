// The help mode as the screen sees it. Its bubbles and the guided tour arrive
// with the help mode's own work; until then F1 only switches it on and off.
#pragma once

#include <cstdint>

#include "ui/PWScreen.h"

class BLHelps : public PWHelpHooks {
public:
    void toggle(int16_t rollover) override;

    uint8_t on = 0;
    uint8_t rollover = 0;
};

extern BLHelps* blHelpp;
