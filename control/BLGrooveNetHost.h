// What the program's link and Ableton Link ask of the program, answered by
// the controller: every change a peer makes is a controller action of the
// peer's origin, so that it is not told back to it.
#pragma once

#include <memory>

#include "control/BLOrigin.h"
#include "net/BLNet.h"

class BLGrooveController;

class BLGrooveNetHost : public BLNetHost {
public:
    BLGrooveNetHost(BLGrooveController& controller, BLOrigin from) : c(controller), origin(from) {}

    // What the controller tells the program's link: the tracks changed here.
    static std::unique_ptr<BLGrooveListener> mirrorTo(BLNet& link);

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
    void setEffect(int16_t rack, int16_t slot, const std::string& effect, bool bypass) override;
    void setEffectParam(int16_t rack, int16_t slot, const std::string& param, float value) override;
    bool ask(const char* address) override;
    bool busy() override;
    bool holding() override;
    void changed() override;

private:
    BLGrooveController& c;
    BLOrigin origin;
};
