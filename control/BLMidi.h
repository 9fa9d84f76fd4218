// The program's MIDI ports as the preferences want them: clock out on a port
// of its own, clock in on a port of its own (connected to another program's
// port when one is named). One global object, `blMidi`, made at start-up;
// the player drives the clocks on each of its passes. The headless log says
// which MIDI system answered, which ports opened and what the clocks did.
#pragma once

#include <string>

#include "control/BLMidiClock.h"
#include "control/BLPlayer.h"

class blPrefsClass;

class BLMidi : public BLPlayerClock {
public:
    static constexpr const char* kClockOutPort = "clock out";
    static constexpr const char* kClockInPort = "clock in";
    // The controllers' own input port.
    static constexpr const char* kControlInPort = "controls in";

    ~BLMidi() override { closeAll(); }

    // Opens and closes the clocks' ports as the preferences say.
    void apply(const blPrefsClass& prefs);
    void closeAll();
    bool clockOutOpen() const { return out_.isOpen(); }
    bool clockInOpen() const { return in_.isOpen(); }
    // Why the last port that would not open did not, "" when all did.
    const std::string& why() const { return why_; }

    void playerPass(BLPlayer& player, double heardBeats) override;

private:
    BLClockOut out_;
    BLClockIn in_;
    bool inWanted_ = false;
    std::string inFrom_;
    std::string why_;
    double lastHeard_ = -1;  // the beat heard at the last pass while playing
};

extern BLMidi* blMidi;
