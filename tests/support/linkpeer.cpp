// A Link peer for the tests: a separate process in the session over the
// network (the loopback on a machine alone), steered by lines on its input
// and telling what it sees on its output, one line each, flushed.
//
//   in:  tempo BPM | play | stop | bar | quit
//   out: peers N | tempo BPM | playing 0|1 | bar US BPM
//
// "bar" answers with the host time of the session's next bar (quantum 4) in
// microseconds of CLOCK_MONOTONIC_RAW, Link's clock on Linux, and the tempo.
//
// With "jack" it is also a JACK client "linkpeer" whose port "click" sounds
// one sample at each of the session's beats, placed to be heard on it: a
// recording of the click beside another program's output shows how far
// apart their beats are heard.
// Usage: linkpeer [BPM] [play] [jack]
#include <jack/jack.h>
#include <poll.h>
#include <unistd.h>

#include <ableton/Link.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr double kQuantum = 4;

struct Click {
    ableton::Link* link = nullptr;
    jack_client_t* client = nullptr;
    jack_port_t* port = nullptr;
    // What the system's playback adds before a frame is heard.
    std::atomic<double> latencyUs{0};
    double lastBeat = -1;
};

// Link's real-time calls only.
int clickProcess(jack_nframes_t frames, void* arg)
{
    Click& c = *static_cast<Click*>(arg);
    auto* out = static_cast<float*>(jack_port_get_buffer(c.port, frames));
    std::fill(out, out + frames, 0.0f);
    jack_nframes_t first = 0;
    jack_time_t now = 0, next = 0;
    float period = 0;
    if (jack_get_cycle_times(c.client, &first, &now, &next, &period) != 0 || frames == 0) return 0;
    const double toLink =
        static_cast<double>(c.link->clock().micros().count()) - static_cast<double>(jack_get_time());
    const double usPerFrame = static_cast<double>(next - now) / frames;
    const auto state = c.link->captureAudioSessionState();
    for (jack_nframes_t i = 0; i < frames; ++i) {
        const double heard = static_cast<double>(now) + i * usPerFrame + c.latencyUs.load() + toLink;
        const double beat =
            state.beatAtTime(std::chrono::microseconds(static_cast<long long>(heard)), kQuantum);
        if (c.lastBeat >= 0 && std::floor(beat) != std::floor(c.lastBeat)) out[i] = 0.8f;
        c.lastBeat = beat;
    }
    return 0;
}

bool startClick(Click& c)
{
    c.client = jack_client_open("linkpeer", JackNoStartServer, nullptr);
    if (!c.client) return false;
    c.port = jack_port_register(c.client, "click", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (!c.port || jack_set_process_callback(c.client, clickProcess, &c) != 0 || jack_activate(c.client) != 0)
        return false;
    jack_port_t* playback = jack_port_by_name(c.client, "system:playback_1");
    if (playback) {
        jack_latency_range_t range{};
        jack_port_get_latency_range(playback, JackPlaybackLatency, &range);
        c.latencyUs.store(range.max * 1e6 / jack_get_sample_rate(c.client));
    }
    return true;
}

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
    Click click;
    click.link = &link;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "play") == 0) {
            auto state = link.captureAppSessionState();
            state.setIsPlaying(true, link.clock().micros());
            link.commitAppSessionState(state);
        } else if (std::strcmp(argv[i], "jack") == 0 && !startClick(click)) {
            std::printf("no jack\n");
            return 1;
        }
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
    if (click.client) jack_client_close(click.client);
    link.enable(false);
    return 0;
}
