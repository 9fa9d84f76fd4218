// What the song browser asks of the groove panel, which implements it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

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

    // Auditions of a song without a preview: the song the user works on is
    // kept aside, `folder` opened with a random groove and played; it comes
    // back when the audition ends, unless the audition is kept (loaded).
    virtual bool auditionSong(const char* folder)
    {
        if (!loadSong(folder)) return false;
        randomize(0);
        return true;
    }
    virtual void auditionEnd() {}
    virtual void auditionKeep() {}
    // The song the user works on (kept aside during an audition) is the one
    // in this folder.
    virtual bool isUserSong(const char* /*folder*/) const { return false; }
    // Its folder name, "" when there is none.
    virtual std::string userSong() const { return {}; }
    // Loading the song in `folder` (its title for the question) replaces the
    // user's work: `load` runs once the user agreed, at once when nothing
    // unsaved would go.
    virtual void guardSong(const char* /*folder*/, const std::string& /*title*/, std::function<void()> load)
    {
        load();
    }
    // The song loaded (and its first groove made) is the user's new work.
    virtual void songTaken() {}
    // The open song is closed (it stops; the groove panel has no song).
    virtual void closeSong() {}
};

// Set by the groove panel when it is created; null before.
extern BLLoadHost* blLoadHost;
