// JACK as the sound output, beside the sound card: when a JACK server runs
// (or the command line insists on it), the program is a JACK client for
// its whole life and each playback's device is pulled from JACK's process
// callback as the card pulls its periods. Without a server the card plays.
//
// The transport is read on JACK's thread; what follows it (start, stop,
// placing the groove) is done on the main thread, except the last step of a
// placed start: the first period skips to where the transport is then.
#pragma once

#include <atomic>
#include <string>

#include "audio/MMSysAudio.h"
#include "platform/PlatJack.h"

// The pulled device of a playback on the JACK client.
class MMSysJackOutput : public MMSysOutput {
public:
    bool open(int, int, int) override { return false; }
    bool pulls() const override { return true; }
    bool openPulled(int rate, int channels, int bufferFrames, MMSysAudio* owner) override;
    bool alive() override;
    void close() override;
    bool queue(const void*, uint32_t) override { return false; }
    uint32_t queuedBytes() override { return 0; }
    // The playback has started: a placed start may take its first period.
    void resume() override;
    void clear() override {}

private:
    static void pull(void* self, uint8_t* bytes, int count);
    MMSysAudio* owner_ = nullptr;
};

// Opens the client (once: at engine start, or sooner when the command line
// insists) and says in the log whether the program plays through JACK and
// why not. True when it does.
bool JackOutput_Open();
void JackOutput_Close();
// The sound card plays even while a JACK server runs (the command line's --no-jack).
void JackOutput_Forgo();
// The client is open and its server still runs.
bool JackOutput_InUse();
// The client was open and its server has shut down.
bool JackOutput_Gone();
// Why JACK does not play ("no JACK server is running" ...), empty when it does.
std::string JackOutput_Why();
int JackOutput_Rate();
int JackOutput_PeriodFrames();
bool JackOutput_Resampling();
// The device a playback opens: the JACK output while in use, else null
// (the sound card).
MMSysOutput* JackOutput_Device();
// Frames at 44100 Hz between what the mixer reached and what JACK plays.
int JackOutput_DelayFrames();
// The song frame (in part) heard at `nowMs` (plat::monotonicMs), from when
// JACK says the last period's frames are heard; false where it cannot say
// (resampled for the server, the key lock, no period pulled yet) and past
// the last frame pulled.
bool JackOutput_HeardSongFrame(double nowMs, double* frame);
// A MIDI output port `name` on the JACK client, filled by `fill` on JACK's
// thread each period, after the sound; false while JACK does not play or
// resamples (no period's time to place events by).
bool JackOutput_OpenMidiOut(const std::string& name, plat::JackClient::MidiFill fill, void* user);
void JackOutput_CloseMidiOut();
std::string JackOutput_MidiOutName();
// What the input ports bring, each period on JACK's thread (null: none);
// false while JACK does not play or resamples.
bool JackOutput_SetCapture(plat::JackClient::CaptureFill fill, void* user);
plat::JackTransport JackOutput_Transport();
// Beats from the transport's start: its bar, beat and tick when a timebase
// master gives them, else its frame counted at `bpm`.
double JackOutput_TransportBeats(const plat::JackTransport& t, double bpm);

// The next playback starts `beats` into the transport's count (at the mix
// tempo), in phase with it: its timeline starts on a block a little ahead
// of that beat of the cycle, and its first period waits in silence for the
// transport to get there (or skips what the transport has passed already).
// Main thread, before the play command.
void JackOutput_PlaceStart(double beats);
// The next playback's first frame is heard at `heardAtMs` (plat::monotonicMs):
// silence until then. False where JACK cannot tell when a frame is heard.
// Main thread, before the play command.
bool JackOutput_PlaceStartAt(double heardAtMs);
// Once, after a placed start's first period: the groove's timeline frame
// first heard, and the transport's frame it was heard at.
bool JackOutput_TakePlaced(int64_t& grooveFrame, int64_t& transportFrame);
