// The play control shared by the panels. Its own work (tempo, play and stop,
// the playback displays) arrives with the groove panel; start-up creates it
// and the help mode tells it when help shows.
#pragma once

#include <cstdint>

class BLPlayer {
public:
    // 1 roll-over help, 0 the tour, -1 help off.
    void setHelpModeDisplay(int16_t mode) { helpModeDisplay = mode; }

    int16_t helpModeDisplay = -1;
};

extern BLPlayer* blPlayer;
