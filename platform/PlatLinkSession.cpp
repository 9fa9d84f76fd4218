#include "platform/PlatLinkSession.h"

#include <ableton/Link.hpp>
#include <atomic>
#include <chrono>
#include <ctime>

#include "platform/PlatLink.h"

namespace plat {

namespace {

using Micros = std::chrono::microseconds;

Micros micros(double linkUs)
{
    return Micros(static_cast<long long>(linkUs));
}

}  // namespace

struct LinkSession::Impl {
    // Made at the first enable: Link starts its threads in its constructor.
    std::unique_ptr<ableton::Link> link;
    std::atomic<bool> moved{false};
};

LinkSession::LinkSession() : impl_(std::make_unique<Impl>()) {}

LinkSession::~LinkSession()
{
    if (impl_->link) impl_->link->enable(false);
}

double LinkSession::linkMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &ts);
    return static_cast<double>(ts.tv_sec) * 1e6 + static_cast<double>(ts.tv_nsec) / 1e3;
}

double LinkSession::toLinkMicros(double ms)
{
    const double ours = monotonicMs();
    const double theirs = linkMicros();
    return theirs + (ms - ours) * 1000.0;
}

void LinkSession::enable(bool on, double bpm)
{
    if (!impl_->link) {
        if (!on) return;
        impl_->link = std::make_unique<ableton::Link>(bpm > 0 ? bpm : 120.0);
        // Link's thread only marks: the main thread reads the rest itself.
        std::atomic<bool>* moved = &impl_->moved;
        impl_->link->setNumPeersCallback([moved](std::size_t) { moved->store(true); });
        impl_->link->setTempoCallback([moved](double) { moved->store(true); });
        impl_->link->setStartStopCallback([moved](bool) { moved->store(true); });
        impl_->link->enableStartStopSync(true);
    }
    if (on && !impl_->link->isEnabled() && bpm > 0) {
        // A session of our own starts at our tempo.
        auto state = impl_->link->captureAppSessionState();
        state.setTempo(bpm, micros(linkMicros()));
        impl_->link->commitAppSessionState(state);
    }
    impl_->link->enable(on);
    impl_->moved.store(true);
}

bool LinkSession::enabled() const
{
    return impl_->link && impl_->link->isEnabled();
}

size_t LinkSession::peers() const
{
    return enabled() ? impl_->link->numPeers() : 0;
}

double LinkSession::tempo() const
{
    return impl_->link ? impl_->link->captureAppSessionState().tempo() : 0.0;
}

void LinkSession::setTempo(double bpm, double atMs)
{
    if (!impl_->link) return;
    auto state = impl_->link->captureAppSessionState();
    state.setTempo(bpm, micros(toLinkMicros(atMs)));
    impl_->link->commitAppSessionState(state);
}

double LinkSession::beatAt(double atMs, double quantum) const
{
    if (!impl_->link) return 0.0;
    return impl_->link->captureAppSessionState().beatAtTime(micros(toLinkMicros(atMs)), quantum);
}

double LinkSession::phaseAt(double atMs, double quantum) const
{
    if (!impl_->link) return 0.0;
    return impl_->link->captureAppSessionState().phaseAtTime(micros(toLinkMicros(atMs)), quantum);
}

double LinkSession::timeAtBeat(double beat, double quantum) const
{
    if (!impl_->link) return 0.0;
    const double us =
        static_cast<double>(impl_->link->captureAppSessionState().timeAtBeat(beat, quantum).count());
    return monotonicMs() + (us - linkMicros()) / 1000.0;
}

void LinkSession::requestBeatAt(double beat, double atMs, double quantum)
{
    if (!impl_->link) return;
    auto state = impl_->link->captureAppSessionState();
    state.requestBeatAtTime(beat, micros(toLinkMicros(atMs)), quantum);
    impl_->link->commitAppSessionState(state);
}

bool LinkSession::playing() const
{
    return impl_->link && impl_->link->captureAppSessionState().isPlaying();
}

void LinkSession::setPlaying(bool on, double atMs)
{
    if (!impl_->link) return;
    auto state = impl_->link->captureAppSessionState();
    state.setIsPlaying(on, micros(toLinkMicros(atMs)));
    impl_->link->commitAppSessionState(state);
}

bool LinkSession::changed()
{
    return impl_->moved.exchange(false);
}

}  // namespace plat
