// What a panel that shows the transport implements: the groove panel and the
// virtual mix panel. The player talks to whichever of them is the display.
// Every operation does nothing unless the panel overrides it.
#pragma once

#include <cstdint>
#include <cstdio>

class BLPlayCommon {
public:
    virtual ~BLPlayCommon() = default;

    virtual void common_setPlayDisplay(bool) {}
    virtual void common_setSeqPlayLed(bool) {}
    // led 0 .. 7; state 0 off, 1 on, 2 current.
    virtual void common_setPlaybarLed(short, short) {}
    virtual void common_setSyncingLed(bool) {}
    virtual void common_setPlaybarLabel(const char*) {}
    void common_setPlaybarLabel(short number)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%d", number);
        common_setPlaybarLabel(text);
    }
    virtual void common_setMainVolLabel(short) {}
    virtual void common_setSongLabel(const char*) {}
    virtual void common_setSynthLed(bool) {}
    virtual void common_eventGrooveStart() {}
    virtual void common_eventGrooveSync() {}
    virtual void common_eventSeqPlayStart() {}
    virtual void common_eventSeqPlayStop() {}
    virtual void common_setBpmLabel(const char*) {}
    // The tempo less the song's own.
    virtual void common_setBpmScroll(short) {}
    // The slider's ends, as offsets from the song's tempo.
    virtual void common_setBpmRange(short, short) {}
    // A step past an end of the tempo's range: the panel says where they are.
    virtual void common_tempoAtEnd(float, float) {}
    // Label 0 is the transport state ("Groove play", "Sequence play", "Stop").
    virtual void common_setLabel(short, const char*) {}
    virtual void common_doInterfaceReset() {}
    // The sound card went away while playing; the player has stopped.
    virtual void common_outputLost() {}
    virtual void common_setHelpModeDisplay(short) {}
};
