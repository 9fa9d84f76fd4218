// What the song browser asks of the groove panel, which implements it.
#pragma once

#include <cstdint>

class BLNet;
struct BLGroove;

class BLLoadHost {
public:
    virtual ~BLLoadHost() = default;
    // Opens the song in this kel folder (":Library:Song:Name:"); false when
    // it cannot be opened.
    virtual bool loadSong(const char* folder) = 0;
    // Builds a random groove from random set 0 .. 3.
    virtual void randomize(int16_t set) = 0;
    // The light chase on the track meters, one step every `period` ticks.
    virtual void lightGame_Start(int16_t period) = 0;
    // Ends the chase and clears the meters.
    virtual void lightGame_End() = 0;
    virtual const BLGroove& currentGroove() const = 0;
    virtual BLNet& net() = 0;
};

// Set by the groove panel when it is created; null before.
extern BLLoadHost* blLoadHost;
