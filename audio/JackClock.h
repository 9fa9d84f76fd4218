// The MIDI clock out written by JACK's process thread into a MIDI port of
// the program's own JACK client: each pulse, start, stop, continue and song
// position at its frame of the period, where the sound it belongs to is
// heard (the period's time, the sound's playback latency and the port's own
// taken into account). 24 pulses a beat of the song frames heard, so the
// pulses follow the mix tempo as the sound does. A start from the top is a
// Start (0xFA) on the first frame heard; joined later, a song position and
// a Continue on the next sixteenth.
//
// Threads: open and close on the main thread; the rest runs on JACK's
// process thread; what it said since the last look is read from any thread.
#pragma once

#include <cstdint>
#include <string>

// False while JACK does not play unresampled: the caller sends by itself.
bool JackClock_Open(const std::string& portName);
void JackClock_Close();
bool JackClock_IsOpen();
// Bits of what was sent since the last look.
constexpr int JackClock_kStopped = 1;
constexpr int JackClock_kStarted = 2;
constexpr int JackClock_kContinued = 4;
int JackClock_TakeSaid();
// Pulses from the top of the playback to the last sent.
int64_t JackClock_PulsesSent();

// The clock's work for one period, given the song frame heard at the
// period's first and last-plus-one frame at the port's far end (below 0
// before the first is heard), or `heard` false when nothing plays; and the
// song frames a beat. Writes each event through `write` at its frame. For
// the process thread, and for tests.
class JackClockWriter {
public:
    using Write = void (*)(void* user, int frame, const uint8_t* bytes, int count);
    void period(bool heard, double first, double end, int frames, double songFramesPerBeat, Write write,
                void* user);
    int said = 0;
    int64_t sent = 0;

private:
    bool running_ = false;
    int64_t nextPulse_ = 0;
    double lastEnd_ = 0;
};
