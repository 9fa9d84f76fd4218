// The network link's side of the groove panel: what the link asks of the
// program (the song, the tracks, the player) and the network panel.
#pragma once

#include "net/BLNet.h"

class PWPanelClass;

// The groove panel's link given what it mirrors, and the network panel
// that steers it; for the start-up table.
PWPanelClass* BL_NewNetPanel();

// What the link asks, answered by the groove panel `blGroovePanel`, the
// player and the facade.
class BLGrooveNetHost : public BLNetHost {
public:
    std::string songName() override;
    bool hasSong(const char* name) override;
    // The one way the other side's song is opened here.
    bool loadSong(const char* name) override;
    const BLGroove& groove() override;
    bool playing() override;
    void play() override;
    void stop() override;
    float tempo() override;
    bool setTempo(float bpm) override;
    int beat() override;
    double position() override;
    bool placeStartAt(double atMs) override;
    void pace(float bpm) override;
    bool setSample(int16_t track, int16_t group, int16_t slot) override;
    void setVolume(int16_t track, int16_t volume) override;
    void setPan(int16_t track, int16_t pan) override;
    bool audible(int16_t track) override;
    void setAudible(int16_t track, bool on) override;
    bool ask(const char* address) override;
    bool busy() override;
    bool holding() override;
    void changed() override;
};
