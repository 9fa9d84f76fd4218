// The sound card, the output of the table (audio/MMSysOutputs.h) that plays
// when no queue is given and no JACK server runs: the platform's audio
// output (platform/PlatAudio.h) asks for each period itself, from its own
// thread, through MMSysAudio::Pull (the queue mode stays for whoever opens
// it so). Each device opens a card of its own; which card, and its period,
// the preferences choose.
//
// Threads: the choice is made and read under a lock of its own (the
// preferences on the main thread, an opening device); the rest is the
// device's (audio/MMSysAudio.h).
#pragma once

#include <string>
#include <vector>

#include "audio/MMSysAudio.h"
#include "platform/PlatAudio.h"

class MMSysCardOutput : public MMSysOutput {
public:
    // The card and period pulled outputs open from now on: empty is the
    // system's default, which is also taken when the named card is gone.
    static void choose(const std::string& device, int periodFrames);
    static int periodFrames();
    static std::string chosenCard();
    // The cards the system offers, by name.
    static std::vector<std::string> cards();
    bool open(int rate, int channels, int bufferFrames) override;
    bool pulls() const override { return true; }
    bool openPulled(int rate, int channels, int bufferFrames, MMSysAudio* owner) override;
    bool alive() override { return out_.alive(); }
    void close() override { out_.close(); }
    bool queue(const void* bytes, uint32_t count) override { return out_.queue(bytes, count); }
    uint32_t queuedBytes() override { return out_.queuedBytes(); }
    void resume() override { out_.resume(); }
    void clear() override { out_.clear(); }

private:
    plat::AudioOutput out_;
};

// The table's entry (audio/MMSysOutputs.h): the card takes any playback;
// null, as each device opens a card of its own; what lies between the
// mixer and the ear while it pulls, its period twice over.
bool CardOutput_Takes();
MMSysOutput* CardOutput_Device();
int CardOutput_DelayFrames();
