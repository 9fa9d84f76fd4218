// A Link peer for the tests: a separate process in the session over the
// network (the loopback on a machine alone), steered by lines on its input
// and telling what it sees on its output, one line each, flushed.
//
//   in:  tempo BPM | play | stop | bar | quit
//   out: peers N | tempo BPM | playing 0|1 | bar US BPM
//
// "bar" answers with the host time of the session's next bar (quantum 4) in
// microseconds of CLOCK_MONOTONIC_RAW, Link's clock on Linux, and the tempo.
// Usage: linkpeer [BPM] [play]
#include <ableton/Link.hpp>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr double kQuantum = 4;

void say(const char* format, double a, double b = 0)
{
    std::printf(format, a, b);
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    const double bpm = argc > 1 ? std::atof(argv[1]) : 120.0;
    ableton::Link link(bpm > 0 ? bpm : 120.0);
    link.enableStartStopSync(true);
    link.enable(true);
    if (argc > 2 && std::strcmp(argv[2], "play") == 0) {
        auto state = link.captureAppSessionState();
        state.setIsPlaying(true, link.clock().micros());
        link.commitAppSessionState(state);
    }

    long peers = -1;
    double tempo = -1;
    int playing = -1;
    std::string line;
    for (;;) {
        // Polled rather than called back: what is printed comes from one thread.
        const auto state = link.captureAppSessionState();
        if (static_cast<long>(link.numPeers()) != peers) {
            peers = static_cast<long>(link.numPeers());
            say("peers %.0f", static_cast<double>(peers));
        }
        if (std::fabs(state.tempo() - tempo) > 1e-6) {
            tempo = state.tempo();
            say("tempo %.3f", tempo);
        }
        if (static_cast<int>(state.isPlaying()) != playing) {
            playing = state.isPlaying() ? 1 : 0;
            say("playing %.0f", playing);
        }
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (poll(&in, 1, 5) <= 0) continue;
        char c = 0;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got <= 0) break;
        if (c != '\n') {
            line += c;
            continue;
        }
        auto next = link.captureAppSessionState();
        const auto now = link.clock().micros();
        if (line.rfind("tempo ", 0) == 0) {
            next.setTempo(std::atof(line.c_str() + 6), now);
        } else if (line == "play" || line == "stop") {
            next.setIsPlaying(line == "play", now);
        } else if (line == "bar") {
            const double beat = std::floor(next.beatAtTime(now, kQuantum) / kQuantum + 1) * kQuantum;
            say("bar %.0f %.6f", static_cast<double>(next.timeAtBeat(beat, kQuantum).count()), next.tempo());
        } else if (line == "quit") {
            break;
        }
        link.commitAppSessionState(next);
        line.clear();
    }
    link.enable(false);
    return 0;
}
