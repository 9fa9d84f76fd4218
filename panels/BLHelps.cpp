#include "panels/BLHelps.h"

#include "panels/BLPlayer.h"

BLHelps* blHelpp = nullptr;

void BLHelps::toggle(int16_t wanted)
{
    const uint8_t mode = wanted ? 1 : 0;
    if (on && mode == rollover) {
        on = 0;
        if (blPlayer) blPlayer->setHelpModeDisplay(-1);
        return;
    }
    on = 1;
    rollover = mode;
    if (blPlayer) blPlayer->setHelpModeDisplay(mode);
}
