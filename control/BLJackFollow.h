// Follows JACK's transport, when the preferences ask and the sound plays
// through JACK: the transport rolling starts the groove in phase with its
// beat count (bar and beat from a timebase master, else its frame at the
// program's tempo), a move while it rolls places it again, and its stop
// stops it. The transport is read on JACK's
// thread; this acts on the main thread, from the player's idle pass.
#pragma once

class BLPlayer;

class BLJackFollow {
public:
    void idle(BLPlayer& player);

private:
    bool following = false;
    bool wasRolling = false;
    // Where the transport was at the last pass, to tell a move from rolling on.
    double lastFrame = 0;
    double lastAt = 0;
};
