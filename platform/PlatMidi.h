// MIDI ports over ALSA or JACK (RtMidi): a port of the program's own that
// others connect to, or one of another program's ports. Each part may be
// absent: without a MIDI system open() is false and why() says so.
//
// Threads: open, close and send from one thread at a time per port; what
// comes in is handed to `Receive` on the MIDI system's own thread, which must
// not block (copy the bytes into a queue and return).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace plat {

enum class MidiSystem : int {
    automatic,  // JACK when a JACK server runs, else ALSA
    alsa,
    jack,
};

// The system `automatic` stands for now; automatic itself when none answers.
MidiSystem MidiSystemInUse(MidiSystem wanted);
// "ALSA", "JACK", or "none".
const char* MidiSystemName(MidiSystem system);

class MidiIn {
public:
    // The bytes of one message and when it came, in seconds of the monotonic clock.
    using Receive = std::function<void(const uint8_t* bytes, size_t count, double seconds)>;

    MidiIn();
    ~MidiIn();
    MidiIn(const MidiIn&) = delete;
    MidiIn& operator=(const MidiIn&) = delete;

    // The ports of other programs that could be read from, by name.
    static std::vector<std::string> ports(MidiSystem system = MidiSystem::automatic);

    // Opens a port of the program's own named `ownName` (others connect to
    // it), connected to `from` too unless `from` is empty. Clock messages
    // are let through; system exclusive and active sensing are not.
    bool open(const std::string& ownName, const std::string& from, Receive receive,
              MidiSystem system = MidiSystem::automatic);
    void close();
    bool isOpen() const;
    // Why the last open failed, in the system's words.
    const std::string& why() const { return why_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string why_;
};

class MidiOut {
public:
    MidiOut();
    ~MidiOut();
    MidiOut(const MidiOut&) = delete;
    MidiOut& operator=(const MidiOut&) = delete;

    static std::vector<std::string> ports(MidiSystem system = MidiSystem::automatic);

    // As MidiIn::open, the other way.
    bool open(const std::string& ownName, const std::string& to, MidiSystem system = MidiSystem::automatic);
    void close();
    bool isOpen() const;
    // False when the port is not open or the system refused the message.
    bool send(const uint8_t* bytes, size_t count);
    const std::string& why() const { return why_; }

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string why_;
};

}  // namespace plat
