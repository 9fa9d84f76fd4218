// An Ableton Link session: tempo, beat and phase shared with the other
// music programs on the network, and their start and stop.
//
// Times here are the program's own, plat::monotonicMs() (CLOCK_MONOTONIC).
// Link keeps microseconds of CLOCK_MONOTONIC_RAW; the two run apart only by
// the clock's slewing, so each call maps one to the other by their offset
// read there and then (both clocks read back to back).
//
// Threads: every call from one thread (the main one). What Link's own
// thread reports (peers, tempo, start and stop) is only counted there, in
// atomics: changed() tells the main thread something moved.
#pragma once

#include <cstddef>
#include <memory>

namespace plat {

class LinkSession {
public:
    LinkSession();
    ~LinkSession();
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // Joins the session (at `bpm` when this side is the first) or leaves it.
    // Link's threads are made the first time it is enabled; without a
    // network it stays alone, with no peer.
    void enable(bool on, double bpm);
    bool enabled() const;
    size_t peers() const;

    double tempo() const;
    void setTempo(double bpm, double atMs);
    // The session's beat, and its phase within `quantum` beats, at `atMs`.
    double beatAt(double atMs, double quantum) const;
    double phaseAt(double atMs, double quantum) const;
    // When the session reaches `beat` (monotonicMs).
    double timeAtBeat(double beat, double quantum) const;
    // Alone, the session's beat becomes `beat` at `atMs`; with peers the
    // beat nearest it of the same phase (Link never jumps others' beat).
    void requestBeatAt(double beat, double atMs, double quantum);

    // Start and stop shared with the peers that share them too.
    bool playing() const;
    void setPlaying(bool on, double atMs);

    // Something the peers did since the last call: their count, the tempo,
    // start or stop.
    bool changed();

    // Link's clock now, in microseconds, and ours mapped to it.
    static double linkMicros();
    static double toLinkMicros(double ms);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace plat
