// The network link: what the user does on the groove panel and in the song
// browser, as short text messages for the transport.
#pragma once

#include <cstdint>

#include "net/kelTalk.h"

struct BLGroove;

class BLNet : public kelTalk {
public:
    BLNet();

    void sendSample(int16_t track, int16_t group, int16_t slot);
    void sendVolume(int16_t track, int16_t volume);
    void sendPan(int16_t track, int16_t pan);
    void sendUse(int16_t track, int16_t use);
    void sendPlay();
    void sendStop();
    void sendSong(const char* name);
    // Each engine track's loop, volume and pan, as when a groove is activated.
    void sendGroove(const BLGroove& groove);
    // A song loaded from the song browser: its folder name, stop, its tracks
    // as `groove` has them, then play.
    void sendSongLoaded(const char* name, const BLGroove& groove);

    // Nothing to start without a transport.
    void startListen() {}
    bool startConnect() { return false; }
    void startFromConfig() {}
    void idleEvents() {}

    bool close() override;
    // Every track's messages are sent again.
    void setFullUse();

    uint8_t sendFlags[8];
    // The last message formed.
    char message[128] = {};

private:
    bool trackSends(int16_t track) const;
    void sendMessage();
};
