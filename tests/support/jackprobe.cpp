// A JACK client for the tests: listens to the program as a peer in the
// same server would, and can play a click into it.
//
//   jackprobe SECONDS [player]
//
// Its ports: "in" (sound) and "midi" (MIDI). With player, a second client
// "player" plays, as a person playing along would, a sample of 0.8 on its
// port "click" on each beat of the clock heard on "midi" (every 24th pulse
// from a Start), foreseen on the line through the beats heard since the
// Start (a beat a period late, as on a loaded machine, is left out of it):
// where the beat is heard, plus the capture latency of Beatloom:in_1. Two clients, so that the program's
// input fed from what its output drives makes no loop in JACK's graph. It waits for
// the line "go" on its input (the test connects the ports meanwhile), then
// for SECONDS prints, one line each, on JACK's frame clock:
//   sound FRAME          a click in "in" (above 0.15 after quiet)
//   midi FRAME STATUS    each MIDI message's first byte, in hex
//   beat FRAME           each click it played
//   xrun FRAME           a period some client made too late (lost or late)
// and at the end "latency OUT MIDI CAPTURE": the playback latency of
// Beatloom:out_1 and Beatloom:clock out, and the capture latency of
// Beatloom:in_1, in frames.
#include <jack/jack.h>
#include <jack/midiport.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Event {
    char kind;  // 's' sound, 'm' midi, 'b' beat, 'x' xrun
    jack_nframes_t frame;
    int status;
};

struct Probe {
    jack_client_t* client = nullptr;
    jack_client_t* player = nullptr;
    jack_port_t* in = nullptr;
    jack_port_t* midi = nullptr;
    jack_port_t* click = nullptr;
    // The clock's beats heard since a Start, and the pulses.
    static constexpr int kBeats = 4096;
    long beatAt[kBeats];
    double work[kBeats];
    int beats = 0;
    long pulses = -1;
    // The line they keep to: beat k at base + k * frames (frames 0 before
    // two beats), in two halves the process thread writes in turn.
    struct Line {
        double base = 0, frames = 0;
    };
    Line lines[2];
    std::atomic<int> line{0};
    jack_nframes_t captureLatency = 0;
    long lastClick = -1;  // the beat last clicked, counted from the first
    std::atomic<bool> going{false};
    long quiet = 0;
    // One writer (the process thread), one reader (main).
    static constexpr int kEvents = 1 << 16;
    Event events[kEvents];
    std::atomic<int> count{0};

    void add(char kind, jack_nframes_t frame, int status = 0)
    {
        const int n = count.load(std::memory_order_relaxed);
        if (n >= kEvents) return;
        events[n] = {kind, frame, status};
        count.store(n + 1, std::memory_order_release);
    }
};

// The player's client: a click on each beat foreseen.
int play(jack_nframes_t frames, void* arg)
{
    Probe& p = *static_cast<Probe*>(arg);
    const long first = jack_last_frame_time(p.player);
    auto* out = static_cast<float*>(jack_port_get_buffer(p.click, frames));
    std::memset(out, 0, frames * sizeof(float));
    const Probe::Line now = p.lines[p.line.load(std::memory_order_acquire)];
    const double beat = now.frames;
    if (!p.going.load(std::memory_order_acquire) || !(beat > 0)) return 0;
    const double from = now.base + static_cast<double>(p.captureLatency);
    for (long k = std::max(0L, static_cast<long>(std::ceil((first - from) / beat)));; ++k) {
        const long at = std::lround(from + k * beat);
        if (at >= first + static_cast<long>(frames)) break;
        if (at < first || k <= p.lastClick) continue;
        out[at - first] = 0.8f;
        p.lastClick = k;
        p.add('b', static_cast<jack_nframes_t>(at));
    }
    return 0;
}

int process(jack_nframes_t frames, void* arg)
{
    Probe& p = *static_cast<Probe*>(arg);
    const jack_nframes_t first = jack_last_frame_time(p.client);
    if (!p.going.load(std::memory_order_acquire)) return 0;
    const auto* in = static_cast<const float*>(jack_port_get_buffer(p.in, frames));
    for (jack_nframes_t i = 0; i < frames; ++i) {
        if (std::fabs(in[i]) > 0.15f && p.quiet > 2000) p.add('s', first + i);
        p.quiet = std::fabs(in[i]) > 0.02f ? 0 : p.quiet + 1;
    }
    void* midi = jack_port_get_buffer(p.midi, frames);
    const jack_nframes_t n = jack_midi_get_event_count(midi);
    for (jack_nframes_t e = 0; e < n; ++e) {
        jack_midi_event_t ev;
        if (jack_midi_event_get(&ev, midi, e) != 0 || ev.size == 0) continue;
        p.add('m', first + ev.time, ev.buffer[0]);
        if (ev.buffer[0] == 0xFA) {
            p.pulses = 0;
            p.beats = 0;
            p.lines[p.line.load(std::memory_order_relaxed) ^ 1] = Probe::Line{};
            p.line.store(p.line.load(std::memory_order_relaxed) ^ 1, std::memory_order_release);
        }
        if (ev.buffer[0] != 0xF8 || p.pulses < 0) continue;
        if (p.pulses++ % 24 != 0 || p.beats >= Probe::kBeats) continue;
        p.beatAt[p.beats++] = static_cast<long>(first + ev.time);
        if (p.beats < 2) continue;
        double* v = p.work;
        const int gaps = p.beats - 1;
        for (int k = 0; k < gaps; ++k) v[k] = static_cast<double>(p.beatAt[k + 1] - p.beatAt[k]);
        std::nth_element(v, v + gaps / 2, v + gaps);
        const double frames = v[gaps / 2];
        for (int k = 0; k < p.beats; ++k) v[k] = static_cast<double>(p.beatAt[k]) - k * frames;
        std::nth_element(v, v + p.beats / 2, v + p.beats);
        const int next = p.line.load(std::memory_order_relaxed) ^ 1;
        p.lines[next] = Probe::Line{v[p.beats / 2], frames};
        p.line.store(next, std::memory_order_release);
    }
    return 0;
}

int xrun(void* arg)
{
    Probe& p = *static_cast<Probe*>(arg);
    if (p.going.load(std::memory_order_acquire)) p.add('x', jack_frame_time(p.client));
    return 0;
}

jack_nframes_t latencyOf(jack_client_t* c, const char* name, jack_latency_callback_mode_t mode)
{
    jack_port_t* port = jack_port_by_name(c, name);
    if (!port) return 0;
    jack_latency_range_t range{};
    jack_port_get_latency_range(port, mode, &range);
    return range.max;
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5;
    static Probe p;
    p.client = jack_client_open("probe", JackNoStartServer, nullptr);
    if (!p.client) {
        std::printf("no jack\n");
        return 1;
    }
    p.in = jack_port_register(p.client, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    p.midi = jack_port_register(p.client, "midi", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (argc > 2 && std::strcmp(argv[2], "player") == 0) {
        p.player = jack_client_open("player", JackNoStartServer, nullptr);
        if (!p.player) return 1;
        p.click = jack_port_register(p.player, "click", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(p.player, play, &p);
        if (jack_activate(p.player) != 0) return 1;
    }
    jack_set_process_callback(p.client, process, &p);
    jack_set_xrun_callback(p.client, xrun, &p);
    if (jack_activate(p.client) != 0) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    char line[64];
    while (std::fgets(line, sizeof line, stdin) && std::strncmp(line, "go", 2) != 0) {
    }
    p.captureLatency = latencyOf(p.client, "Beatloom:in_1", JackCaptureLatency);
    p.going.store(true, std::memory_order_release);
    usleep(static_cast<useconds_t>(seconds * 1e6));
    p.going.store(false, std::memory_order_release);
    usleep(100000);
    const int n = p.count.load(std::memory_order_acquire);
    for (int i = 0; i < n; ++i) {
        const Event& e = p.events[i];
        if (e.kind == 's') std::printf("sound %u\n", e.frame);
        if (e.kind == 'b') std::printf("beat %u\n", e.frame);
        if (e.kind == 'x') std::printf("xrun %u\n", e.frame);
        if (e.kind == 'm') std::printf("midi %u %02x\n", e.frame, e.status);
    }
    std::printf("latency %u %u %u\n", latencyOf(p.client, "Beatloom:out_1", JackPlaybackLatency),
                latencyOf(p.client, "Beatloom:clock out", JackPlaybackLatency),
                latencyOf(p.client, "Beatloom:in_1", JackCaptureLatency));
    std::fflush(stdout);
    if (p.player) jack_client_close(p.player);
    jack_client_close(p.client);
    return 0;
}
