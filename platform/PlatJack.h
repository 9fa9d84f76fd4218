// The program as a JACK client: two output ports ("out_1", "out_2")
// connected to the system's playback ports and two input ports ("in_1",
// "in_2") connected to its capture ports, fed from JACK's process
// callback by the same kind of pull as the sound card (16-bit stereo frames
// at 44100 Hz, turned into JACK's floats; resampled when the server runs at
// another rate). It never starts a server: without one, open() is false and
// why() says so.
//
// Threads: open, close, attach and detach on the main thread; the pull runs
// on JACK's process thread, which also takes the transport's state each
// period with JACK's real-time-safe query; transport() may be read from any
// thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace plat {

// The transport as JACK's process thread last saw it.
struct JackTransport {
    bool rolling = false;
    uint32_t frame = 0;  // at the server's rate
    bool bbt = false;    // a timebase master gives bar, beat and tick
    int32_t bar = 1;     // from 1
    int32_t beat = 1;    // from 1
    int32_t tick = 0;
    double beatsPerBar = 4;
    double ticksPerBeat = 1920;
    // Counts the periods, so that a reader sees a fresh state.
    uint64_t period = 0;
};

// One period of a MIDI output port, for the port's fill on JACK's process
// thread: events are written at their frame of the period.
struct JackMidiPeriod {
    void* buffer = nullptr;
    int frames = 0;
    int rate = 0;
    // When the period's first frame is at the port's far end (plat::monotonicMs):
    // the period's time and the port's playback latency; negative where JACK
    // cannot tell.
    double startMs = -1;
    // False when the port had no room left.
    bool write(int frame, const uint8_t* bytes, size_t count);
};

// The name the program's JACK clients ask for ("Beatloom" unless a session
// manager gives another); set before the first client opens.
void setJackClientName(const std::string& name);
const std::string& jackClientName();

class JackClient {
public:
    // Asked for each period of `count` bytes of 16-bit stereo at 44100 Hz.
    using Pull = void (*)(void* user, uint8_t* bytes, int count);

    JackClient();
    ~JackClient();
    JackClient(const JackClient&) = delete;
    JackClient& operator=(const JackClient&) = delete;

    // Opens the client named jackClientName(), activates it and connects its
    // ports to the system's playback ports; silence until attach().
    bool open();
    void close();
    bool isOpen() const;
    // False once the server has shut down (or the client was thrown out).
    bool alive() const;
    const std::string& why() const { return why_; }

    // The server's rate and period; whether the pull is resampled.
    int rate() const;
    int periodFrames() const;
    bool resampling() const;
    // The client's name as the server gave it.
    std::string name() const;
    // Each of our ports with the ports it is connected to.
    std::vector<std::pair<std::string, std::vector<std::string>>> connections() const;

    // From the next period on the ports play what `pull` makes; detach()
    // returns once no pull runs any more.
    void attach(Pull pull, void* user);
    void detach();

    // A MIDI output port of the client's own, `name`, filled each period
    // by `fill` (on JACK's process thread, after the sound's pull) until
    // closed; empty periods without a fill. Main thread.
    using MidiFill = void (*)(void* user, JackMidiPeriod& period);
    bool openMidiOut(const std::string& name, MidiFill fill, void* user);
    // Returns once no fill runs any more.
    void closeMidiOut();
    // The port's full name ("Beatloom:clock out"), empty when none.
    std::string midiOutName() const;

    // What the input ports bring each period (on JACK's process thread,
    // before the sound's pull): `frames` floats a channel at the server's
    // rate, and when their first frame came into the system
    // (plat::monotonicMs: the period's time less the ports' capture
    // latency; negative where JACK cannot tell). Null: none.
    using CaptureFill = void (*)(void* user, const float* left, const float* right, int frames,
                                 double cameAtMs);
    void setCapture(CaptureFill fill, void* user);

    JackTransport transport() const;
    // Inside a pull at the server's own rate: when the period's first frame
    // is heard (plat::monotonicMs), from the period's time and the
    // playback latency of our ports. Negative where JACK cannot tell, or
    // when resampled (the resampler holds frames of its own).
    double periodHeardAtMs() const;
    // The server's xruns (a period some client made too late) since the last call.
    int takeXruns();

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
    std::string why_;
};

}  // namespace plat
