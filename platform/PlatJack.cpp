#include "platform/PlatJack.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/transport.h>
#include <samplerate.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "platform/PlatLink.h"

namespace plat {

namespace {

constexpr int kEngineRate = 44100;
// The pull's pieces: a period longer than this is made in several.
constexpr int kChunkFrames = 4096;
// 16-bit to float as JACK's own 16-bit drivers and libsndfile scale back
// (by 32767), so that a 16-bit sample comes out of them as it went in.
constexpr float kFromShort = 1.0f / 32767.0f;

// libjack says its errors on standard error; the last one is kept for why().
std::mutex errorLock;
std::string lastError;

void keepError(const char* text)
{
    std::lock_guard<std::mutex> hold(errorLock);
    lastError = text ? text : "";
}

void quiet(const char*) {}

}  // namespace

struct JackClient::Impl {
    jack_client_t* client = nullptr;
    jack_port_t* ports[2] = {};
    jack_port_t* inputs[2] = {};
    std::mutex captureLock;  // the process thread only tries it
    CaptureFill capture = nullptr;
    void* captureUser = nullptr;

    void takeCapture(jack_nframes_t frames)
    {
        std::unique_lock<std::mutex> hold(captureLock, std::try_to_lock);
        if (!hold.owns_lock() || !capture || !inputs[0] || !inputs[1]) return;
        const auto* left = static_cast<const float*>(jack_port_get_buffer(inputs[0], frames));
        const auto* right = static_cast<const float*>(jack_port_get_buffer(inputs[1], frames));
        double came = -1;
        if (periodStartMs >= 0) {
            jack_latency_range_t latency{};
            jack_port_get_latency_range(inputs[0], JackCaptureLatency, &latency);
            came = periodStartMs - latency.max * 1000.0 / rate;
        }
        capture(captureUser, left, right, static_cast<int>(frames), came);
    }
    std::atomic<bool> alive{false};
    int rate = kEngineRate;

    std::mutex pullLock;  // the process thread only tries it
    Pull pull = nullptr;
    void* user = nullptr;
    int16_t shorts[kChunkFrames * 2] = {};
    float floats[kChunkFrames * 2] = {};
    float resampled[kChunkFrames * 2] = {};
    SRC_STATE* src = nullptr;

    // The transport, written by the process thread between two steps of seq;
    // its fields are stored with release so that a reader that sees one sees
    // the step of seq before it.
    std::atomic<uint64_t> seq{0};
    std::atomic<bool> rolling{false};
    std::atomic<uint32_t> frame{0};
    std::atomic<bool> bbt{false};
    std::atomic<int32_t> bar{1}, beat{1}, tick{0};
    std::atomic<double> beatsPerBar{4}, ticksPerBeat{1920};
    std::atomic<uint64_t> periods{0};
    // Written and read on the process thread only.
    double heardAtMs = -1;
    double periodStartMs = -1;

    // The MIDI output port and its fill; the process thread only tries the lock.
    jack_port_t* midiPort = nullptr;
    std::mutex midiLock;
    MidiFill midiFill = nullptr;
    void* midiUser = nullptr;

    void fillMidi(jack_nframes_t frames)
    {
        std::unique_lock<std::mutex> hold(midiLock, std::try_to_lock);
        if (!hold.owns_lock() || !midiPort) return;
        JackMidiPeriod period;
        period.buffer = jack_port_get_buffer(midiPort, frames);
        jack_midi_clear_buffer(period.buffer);
        if (!midiFill) return;
        period.frames = static_cast<int>(frames);
        period.rate = rate;
        if (periodStartMs >= 0) {
            jack_latency_range_t latency{};
            jack_port_get_latency_range(midiPort, JackPlaybackLatency, &latency);
            period.startMs = periodStartMs + latency.max * 1000.0 / rate;
        }
        midiFill(midiUser, period);
    }

    // Both clocks read back to back: JACK's microseconds and ours.
    void timePeriod()
    {
        heardAtMs = -1;
        periodStartMs = -1;
        if (src) return;
        jack_nframes_t first = 0;
        jack_time_t start = 0, next = 0;
        float periodUs = 0;
        if (jack_get_cycle_times(client, &first, &start, &next, &periodUs) != 0) return;
        jack_latency_range_t latency{};
        jack_port_get_latency_range(ports[0], JackPlaybackLatency, &latency);
        const double ours = monotonicMs();
        const double since = (static_cast<double>(jack_get_time()) - static_cast<double>(start)) / 1000.0;
        periodStartMs = ours - since;
        heardAtMs = periodStartMs + latency.max * 1000.0 / rate;
    }

    void readTransport()
    {
        jack_position_t pos;
        const jack_transport_state_t state = jack_transport_query(client, &pos);
        seq.fetch_add(1, std::memory_order_acq_rel);
        rolling.store(state == JackTransportRolling, std::memory_order_release);
        frame.store(pos.frame, std::memory_order_release);
        const bool valid =
            (pos.valid & JackPositionBBT) != 0 && pos.beats_per_bar > 0 && pos.ticks_per_beat > 0;
        bbt.store(valid, std::memory_order_release);
        if (valid) {
            bar.store(pos.bar, std::memory_order_release);
            beat.store(pos.beat, std::memory_order_release);
            tick.store(pos.tick, std::memory_order_release);
            beatsPerBar.store(pos.beats_per_bar, std::memory_order_release);
            ticksPerBeat.store(pos.ticks_per_beat, std::memory_order_release);
        }
        periods.fetch_add(1, std::memory_order_release);
        seq.fetch_add(1, std::memory_order_acq_rel);
    }

    // Frames at 44100 Hz from the pull, as floats.
    void pullFloats(int frames)
    {
        pull(user, reinterpret_cast<uint8_t*>(shorts), frames * 4);
        for (int i = 0; i < frames * 2; ++i) floats[i] = static_cast<float>(shorts[i]) * kFromShort;
    }

    static long feed(void* self, float** data)
    {
        auto* d = static_cast<Impl*>(self);
        constexpr int piece = 256;
        d->pullFloats(piece);
        *data = d->floats;
        return piece;
    }

    void fill(float* left, float* right, int frames)
    {
        for (int done = 0; done < frames;) {
            const int n = std::min(frames - done, kChunkFrames);
            const float* from = floats;
            if (src) {
                const long got =
                    src_callback_read(src, static_cast<double>(rate) / kEngineRate, n, resampled);
                std::fill(resampled + 2 * std::max(got, 0L), resampled + 2 * n, 0.0f);
                from = resampled;
            } else {
                pullFloats(n);
            }
            for (int i = 0; i < n; ++i) {
                left[done + i] = from[2 * i];
                right[done + i] = from[2 * i + 1];
            }
            done += n;
        }
    }

    static int process(jack_nframes_t frames, void* self)
    {
        auto* d = static_cast<Impl*>(self);
        d->readTransport();
        d->timePeriod();
        d->takeCapture(frames);
        auto* left = static_cast<float*>(jack_port_get_buffer(d->ports[0], frames));
        auto* right = static_cast<float*>(jack_port_get_buffer(d->ports[1], frames));
        std::unique_lock<std::mutex> hold(d->pullLock, std::try_to_lock);
        if (hold.owns_lock() && d->pull) {
            d->fill(left, right, static_cast<int>(frames));
        } else {
            std::fill(left, left + frames, 0.0f);
            std::fill(right, right + frames, 0.0f);
        }
        hold.unlock();
        d->fillMidi(frames);
        return 0;
    }

    static void shutdown(void* self) { static_cast<Impl*>(self)->alive.store(false); }
    std::atomic<int> xruns{0};
    static int xrun(void* self)
    {
        static_cast<Impl*>(self)->xruns.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
};

double JackClient::periodHeardAtMs() const
{
    return impl_->heardAtMs;
}

namespace {
std::string& clientNameSlot()
{
    static std::string name = "Beatloom";
    return name;
}
}  // namespace

void setJackClientName(const std::string& name)
{
    if (!name.empty()) clientNameSlot() = name;
}

const std::string& jackClientName()
{
    return clientNameSlot();
}

JackClient::JackClient() : impl_(std::make_unique<Impl>()) {}

JackClient::~JackClient()
{
    close();
}

bool JackClient::open()
{
    close();
    Impl& d = *impl_;
    keepError(nullptr);
    jack_set_error_function(keepError);
    jack_set_info_function(quiet);
    jack_status_t status{};
    d.client = jack_client_open(jackClientName().c_str(), JackNoStartServer, &status);
    if (!d.client) {
        std::lock_guard<std::mutex> hold(errorLock);
        why_ = (status & JackServerFailed) ? "no JACK server is running"
                                           : "the JACK server would not take a client: " + lastError;
        return false;
    }
    d.rate = static_cast<int>(jack_get_sample_rate(d.client));
    if (d.rate != kEngineRate) {
        int error = 0;
        d.src = src_callback_new(&Impl::feed, SRC_SINC_MEDIUM_QUALITY, 2, &error, &d);
        if (!d.src) {
            why_ = std::string("no resampler to the server's rate: ") + src_strerror(error);
            close();
            return false;
        }
    }
    d.ports[0] = jack_port_register(d.client, "out_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    d.ports[1] = jack_port_register(d.client, "out_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    d.inputs[0] = jack_port_register(d.client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    d.inputs[1] = jack_port_register(d.client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_on_shutdown(d.client, &Impl::shutdown, &d);
    jack_set_xrun_callback(d.client, &Impl::xrun, &d);
    if (!d.ports[0] || !d.ports[1] || jack_set_process_callback(d.client, &Impl::process, &d) != 0) {
        why_ = "the JACK server would not give the program its ports";
        close();
        return false;
    }
    d.alive.store(true);
    if (jack_activate(d.client) != 0) {
        why_ = "the JACK server would not run the program's client";
        close();
        return false;
    }
    // The system's playback ports, left and right (one port takes both).
    if (const char** playback = jack_get_ports(d.client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                               JackPortIsPhysical | JackPortIsInput)) {
        for (int i = 0; i < 2 && playback[0]; ++i)
            jack_connect(d.client, jack_port_name(d.ports[i]), playback[playback[1] ? i : 0]);
        jack_free(playback);
    }
    // And the system's capture ports to ours.
    if (const char** capture = jack_get_ports(d.client, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                              JackPortIsPhysical | JackPortIsOutput)) {
        for (int i = 0; i < 2 && capture[0] && d.inputs[i]; ++i)
            jack_connect(d.client, capture[capture[1] ? i : 0], jack_port_name(d.inputs[i]));
        jack_free(capture);
    }
    why_.clear();
    return true;
}

void JackClient::setCapture(CaptureFill fill, void* user)
{
    std::lock_guard<std::mutex> hold(impl_->captureLock);
    impl_->capture = fill;
    impl_->captureUser = user;
}

bool JackMidiPeriod::write(int frame, const uint8_t* bytes, size_t count)
{
    if (!buffer || frames <= 0) return false;
    const auto at = static_cast<jack_nframes_t>(std::clamp(frame, 0, frames - 1));
    return jack_midi_event_write(buffer, at, bytes, count) == 0;
}

bool JackClient::openMidiOut(const std::string& name, MidiFill fill, void* user)
{
    Impl& d = *impl_;
    closeMidiOut();
    if (!alive()) return false;
    jack_port_t* port =
        jack_port_register(d.client, name.c_str(), JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (!port) return false;
    std::lock_guard<std::mutex> hold(d.midiLock);
    d.midiPort = port;
    d.midiFill = fill;
    d.midiUser = user;
    return true;
}

void JackClient::closeMidiOut()
{
    Impl& d = *impl_;
    jack_port_t* port = nullptr;
    {
        std::lock_guard<std::mutex> hold(d.midiLock);
        port = d.midiPort;
        d.midiPort = nullptr;
        d.midiFill = nullptr;
        d.midiUser = nullptr;
    }
    if (port && d.client) jack_port_unregister(d.client, port);
}

std::string JackClient::midiOutName() const
{
    std::lock_guard<std::mutex> hold(impl_->midiLock);
    return impl_->midiPort ? jack_port_name(impl_->midiPort) : "";
}

void JackClient::close()
{
    Impl& d = *impl_;
    closeMidiOut();
    if (d.client) {
        jack_deactivate(d.client);
        jack_client_close(d.client);
        d.client = nullptr;
    }
    d.ports[0] = d.ports[1] = nullptr;
    d.inputs[0] = d.inputs[1] = nullptr;
    if (d.src) d.src = src_delete(d.src);
    d.alive.store(false);
    std::lock_guard<std::mutex> hold(d.pullLock);
    d.pull = nullptr;
    d.user = nullptr;
}

bool JackClient::isOpen() const
{
    return impl_->client != nullptr;
}

bool JackClient::alive() const
{
    return impl_->client && impl_->alive.load();
}

int JackClient::rate() const
{
    return impl_->rate;
}

int JackClient::periodFrames() const
{
    return impl_->client && alive() ? static_cast<int>(jack_get_buffer_size(impl_->client)) : 0;
}

bool JackClient::resampling() const
{
    return impl_->src != nullptr;
}

std::string JackClient::name() const
{
    return impl_->client ? jack_get_client_name(impl_->client) : "";
}

std::vector<std::pair<std::string, std::vector<std::string>>> JackClient::connections() const
{
    std::vector<std::pair<std::string, std::vector<std::string>>> out;
    if (!alive()) return out;
    for (jack_port_t* port : {impl_->ports[0], impl_->ports[1], impl_->inputs[0], impl_->inputs[1]}) {
        if (!port) continue;
        std::vector<std::string> peers;
        if (const char** to = jack_port_get_all_connections(impl_->client, port)) {
            for (int i = 0; to[i]; ++i) peers.emplace_back(to[i]);
            jack_free(to);
        }
        out.emplace_back(jack_port_name(port), std::move(peers));
    }
    return out;
}

void JackClient::attach(Pull pull, void* user)
{
    std::lock_guard<std::mutex> hold(impl_->pullLock);
    if (impl_->src) src_reset(impl_->src);
    impl_->pull = pull;
    impl_->user = user;
}

void JackClient::detach()
{
    std::lock_guard<std::mutex> hold(impl_->pullLock);
    impl_->pull = nullptr;
    impl_->user = nullptr;
}

int JackClient::takeXruns()
{
    return impl_->xruns.exchange(0);
}

JackTransport JackClient::transport() const
{
    const Impl& d = *impl_;
    JackTransport t;
    for (;;) {
        const uint64_t before = d.seq.load(std::memory_order_acquire);
        if (before & 1) continue;
        t.rolling = d.rolling.load(std::memory_order_acquire);
        t.frame = d.frame.load(std::memory_order_acquire);
        t.bbt = d.bbt.load(std::memory_order_acquire);
        t.bar = d.bar.load(std::memory_order_acquire);
        t.beat = d.beat.load(std::memory_order_acquire);
        t.tick = d.tick.load(std::memory_order_acquire);
        t.beatsPerBar = d.beatsPerBar.load(std::memory_order_acquire);
        t.ticksPerBeat = d.ticksPerBeat.load(std::memory_order_acquire);
        // Acquire loads keep the second look at seq after them (no fence: the
        // thread checker does not follow fences).
        t.period = d.periods.load(std::memory_order_acquire);
        if (d.seq.load(std::memory_order_acquire) == before) return t;
    }
}

}  // namespace plat
