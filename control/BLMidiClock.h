// MIDI clock out and in.
//
// Out: 24 pulses a beat on a port of the program's own, with start, stop,
// continue and song position, following the tempo and where the groove is
// heard. The pulses are sent by a thread of the clock's own against the
// monotonic clock, so that they stay even whatever the main loop does; the
// main thread only tells it, on each pass of the player, the beat heard and
// the tempo, and the thread's beat is pulled gently toward it.
//
// In: a clock's pulses, start, continue and stop arrive on the MIDI system's
// thread and are queued without a lock; the main thread takes them on each
// pass of the player: the tempo (a line fitted through the last three beats of
// pulses, changed only past a dead band) goes through BLPlayer::adjustBpm
// (at half or double time where only that is in the song's window),
// start plays the groove from the top, continue plays it, stop stops it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/PlatMidi.h"

class BLPlayer;

// Seconds of the monotonic clock, as the MIDI ports stamp what comes in.
double BLMidiNow();

// A clock's tempo from the times of its pulses.
class BLClockTempo {
public:
    static constexpr int kPulses = 72;
    // A longer pause between pulses means the clock stopped: start afresh.
    static constexpr double kPause = 0.5;
    // The last beat's tempo within this share of the whole's: settled.
    static constexpr double kSettled = 0.01;

    void reset() { count_ = 0; }
    void pulse(double seconds);
    // Beats a minute; 0 until a beat of pulses came, and while the tempo moves.
    double bpm() const;

private:
    double fit(int last) const;

    double times_[kPulses] = {};
    int count_ = 0;
    int next_ = 0;
};

class BLClockOut {
public:
    BLClockOut() = default;
    ~BLClockOut();
    BLClockOut(const BLClockOut&) = delete;
    BLClockOut& operator=(const BLClockOut&) = delete;

    // Opens the program's own port `portName` and starts the pulses' thread.
    // Through JACK, when the sound plays there, the port is the JACK
    // client's own and JACK's thread writes each event at its frame
    // (audio/JackClock.h); else the port is the MIDI system's and the
    // pulses' thread sends them.
    bool open(const std::string& portName);
    void close();
    bool isOpen() const { return jack_ || out_.isOpen(); }
    bool throughJack() const { return jack_; }
    const std::string& why() const { return out_.why(); }

    // From the main thread, on every pass: whether the groove plays, the beat
    // heard (beats since playback started, with their fraction; below -1
    // when none is heard yet), the tempo and the monotonic time of the reading.
    void follow(bool playing, double heardBeat, double bpm, double now);

    // What the thread has sent since the last look, for the log: Said bits
    // (a stop and a start again can both come between two looks).
    enum Said : int { kStopped = 1, kStarted = 2, kContinued = 4 };
    int takeSaid();
    // Pulses from the top of the playback to the last sent, for the log.
    int64_t pulsesSent() const;

private:
    void run();
    double beatAt(double seconds) const { return anchorBeat_ + (seconds - anchorTime_) * bpm_ / 60.0; }
    double timeOfBeat(double beat) const { return anchorTime_ + (beat - anchorBeat_) * 60.0 / bpm_; }

    plat::MidiOut out_;
    bool jack_ = false;
    std::thread thread_;
    std::mutex lock_;
    std::condition_variable wake_;
    // Under lock_: the beat at a time and the tempo the pulses follow, the
    // next pulse (24 a beat from the start of playback), what to say first.
    bool quit_ = false;
    bool running_ = false;
    bool sayStop_ = false;
    enum class Opening { none, start, resume } opening_ = Opening::none;
    double anchorTime_ = 0;
    double anchorBeat_ = 0;
    double bpm_ = 120;
    int64_t nextPulse_ = 0;
    std::atomic<int> said_{0};
    std::atomic<int64_t> sent_{0};
};

class BLClockIn {
public:
    // Smaller tempo changes are not followed, so that the tempo holds still.
    static constexpr double kDeadBand = 0.25;

    BLClockIn() = default;
    ~BLClockIn() { close(); }
    BLClockIn(const BLClockIn&) = delete;
    BLClockIn& operator=(const BLClockIn&) = delete;

    // Opens the program's own port `portName`, connected to `from` unless empty.
    bool open(const std::string& portName, const std::string& from);
    void close();
    bool isOpen() const { return in_.isOpen(); }
    const std::string& why() const { return in_.why(); }

    // From the main thread: applies what came to the player.
    void follow(BLPlayer& player);
    // One clock message at `seconds`, as the MIDI system's thread hands it
    // (tests give them directly).
    void receive(uint8_t status, double seconds);

private:
    struct Message {
        uint8_t status;
        double seconds;
    };
    static constexpr int kQueue = 512;
    // One writer (the MIDI system's thread), one reader (the main thread).
    Message queue_[kQueue] = {};
    std::atomic<uint32_t> written_{0};
    std::atomic<uint32_t> read_{0};

    plat::MidiIn in_;
    BLClockTempo tempo_;
    double refused_ = 0;  // the tempo last said to be outside the window
    double factor_ = 1;   // the player's beats to the clock's: 1, 0.5 or 2
};
