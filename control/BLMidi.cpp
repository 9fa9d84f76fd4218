#include "control/BLMidi.h"

#include <cstdio>

#include "library/BLprefs.h"
#include "platform/PlatMidi.h"
#include "platform/Platform.h"

BLMidi* blMidi = nullptr;

namespace {

void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note("midi " + line);
}

}  // namespace

void BLMidi::apply(const blPrefsClass& prefs)
{
    std::string from;
    const bool outWanted = prefs.midiClockOut != 0;
    const bool inWanted = prefs.midiClockFrom(from);
    const bool outChanges = outWanted != out_.isOpen();
    const bool inChanges = inWanted != inWanted_ || from != inFrom_ || (inWanted && !in_.isOpen());
    if (!outChanges && !inChanges) return;
    why_.clear();
    // Asking which system answers costs a client of it: only when a port opens.
    if ((outChanges && outWanted) || (inChanges && inWanted))
        note(std::string("system ") +
             plat::MidiSystemName(plat::MidiSystemInUse(plat::MidiSystem::automatic)));
    if (outChanges) {
        if (!outWanted) {
            out_.close();
            note("clock out closed");
        } else if (out_.open(kClockOutPort)) {
            note(std::string("clock out opened port \"") + kClockOutPort + "\"" +
                 (out_.throughJack() ? " of the JACK client, each event at its frame" : ""));
        } else {
            why_ = out_.why();
            note("clock out not opened: " + why_);
        }
    }
    if (inChanges) {
        in_.close();
        inWanted_ = inWanted;
        inFrom_ = from;
        if (!inWanted) {
            note("clock in closed");
        } else if (in_.open(kClockInPort, from)) {
            note(std::string("clock in opened port \"") + kClockInPort + "\"" +
                 (from.empty() ? "" : " connected to \"" + from + "\""));
        } else {
            why_ = in_.why();
            note("clock in not opened: " + why_);
        }
    }
}

void BLMidi::closeAll()
{
    out_.close();
    in_.close();
    inWanted_ = false;
    inFrom_.clear();
}

void BLMidi::playerPass(BLPlayer& player, double heardBeats)
{
    if (in_.isOpen()) in_.follow(player);
    if (!out_.isOpen()) return;
    out_.follow(player.playing, heardBeats, player.bpm, BLMidiNow());
    if (player.playing && heardBeats > -1) lastHeard_ = heardBeats;
    const int said = out_.takeSaid();
    if (said & BLClockOut::kStopped) {
        // What a follower counted against what was heard: 24 pulses a beat.
        char text[96];
        std::snprintf(text, sizeof text, "clock out stop after %lld pulses, %.2f beats heard",
                      static_cast<long long>(out_.pulsesSent()), lastHeard_);
        note(text);
    }
    if (said & BLClockOut::kStarted) note("clock out start");
    if (said & BLClockOut::kContinued) note("clock out continue");
}
