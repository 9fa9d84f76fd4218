#include "control/BLMidiClock.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "audio/JackClock.h"
#include "control/BLPlayer.h"
#include "library/BLGroove.h"
#include "platform/Platform.h"

namespace {

constexpr uint8_t kPulse = 0xF8;
constexpr uint8_t kStart = 0xFA;
constexpr uint8_t kContinue = 0xFB;
constexpr uint8_t kStop = 0xFC;
constexpr uint8_t kSongPosition = 0xF2;
constexpr int kPulsesPerBeat = 24;
constexpr int kPulsesPerSixteenth = kPulsesPerBeat / 4;

// The beat heard moves in steps of a card's period: it is followed over
// about this many seconds, so that its steps do not shake the pulses.
constexpr double kSettle = 0.5;
// Further off than this (in beats) the heard beat is taken at once.
constexpr double kJump = 0.25;
// Pulses more than a beat behind are not caught up one by one.
constexpr int kCatchUpMost = kPulsesPerBeat;

void note(const std::string& line)
{
    if (plat::hasBackend()) plat::backend().note("midi " + line);
}

}  // namespace

double BLMidiNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// ---------------------------------------------------------------------------

void BLClockTempo::pulse(double seconds)
{
    if (count_ > 0 && seconds - times_[(next_ + kPulses - 1) % kPulses] > kPause) count_ = 0;
    if (count_ == 0) next_ = 0;
    times_[next_] = seconds;
    next_ = (next_ + 1) % kPulses;
    if (count_ < kPulses) ++count_;
}

double BLClockTempo::fit(int last) const
{
    // Least squares through (pulse number, time) of the last `last` pulses:
    // the slope is the time of a pulse.
    const int first = (next_ + kPulses - last) % kPulses;
    const double origin = times_[first];
    double sumY = 0;
    for (int i = 0; i < last; ++i) sumY += times_[(first + i) % kPulses] - origin;
    const double meanX = (last - 1) / 2.0, meanY = sumY / last;
    double sxy = 0, sxx = 0;
    for (int i = 0; i < last; ++i) {
        const double dx = i - meanX;
        sxy += dx * (times_[(first + i) % kPulses] - origin - meanY);
        sxx += dx * dx;
    }
    const double secondsPerPulse = sxy / sxx;
    return secondsPerPulse > 0 ? 60.0 / (secondsPerPulse * kPulsesPerBeat) : 0;
}

double BLClockTempo::bpm() const
{
    if (count_ <= kPulsesPerBeat) return 0;
    const double all = fit(count_);
    // While the tempo moves, the last beat and the whole disagree: a tempo
    // half-way between two is not followed.
    const double lastBeat = fit(kPulsesPerBeat + 1);
    if (!(all > 0) || std::fabs(lastBeat / all - 1) > kSettled) return 0;
    return all;
}

// ---------------------------------------------------------------------------

BLClockOut::~BLClockOut()
{
    close();
}

bool BLClockOut::open(const std::string& portName)
{
    close();
    jack_ = JackClock_Open(portName);
    if (jack_) return true;
    if (!out_.open(portName, "")) return false;
    quit_ = false;
    running_ = false;
    sayStop_ = false;
    opening_ = Opening::none;
    thread_ = std::thread([this] { run(); });
    return true;
}

void BLClockOut::close()
{
    if (jack_) JackClock_Close();
    jack_ = false;
    if (thread_.joinable()) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            quit_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    // Whoever follows the clock stops with it.
    if (running_ && out_.isOpen()) out_.send(&kStop, 1);
    running_ = false;
    out_.close();
}

int BLClockOut::takeSaid()
{
    return jack_ ? JackClock_TakeSaid() : said_.exchange(0);
}

int64_t BLClockOut::pulsesSent() const
{
    return jack_ ? JackClock_PulsesSent() : sent_.load();
}

void BLClockOut::follow(bool playing, double heardBeat, double bpm, double now)
{
    if (!thread_.joinable()) return;
    std::lock_guard<std::mutex> hold(lock_);
    if (!playing || !(bpm > 0)) {
        if (running_) {
            running_ = false;
            sayStop_ = true;
            opening_ = Opening::none;
            wake_.notify_one();
        }
        return;
    }
    // -1 until the engine runs.
    if (!(heardBeat > -1)) return;
    // Played again from the top within one pass (a clock's start while
    // playing): whoever follows stops and starts again with it.
    const bool restarted = running_ && heardBeat < 1 && beatAt(now) > heardBeat + 1;
    if (restarted) {
        running_ = false;
        sayStop_ = true;
    }
    if (!running_) {
        anchorTime_ = now;
        anchorBeat_ = heardBeat;
        bpm_ = bpm;
        if (heardBeat < 1.0 / kPulsesPerBeat) {
            nextPulse_ = 0;
            opening_ = Opening::start;
        } else {
            // Joined while the groove plays: from the next sixteenth on.
            nextPulse_ = static_cast<int64_t>(std::ceil(heardBeat * 4)) * kPulsesPerSixteenth;
            opening_ = Opening::resume;
        }
        running_ = true;
        wake_.notify_one();
        return;
    }
    const double predicted = beatAt(now);
    const double error = heardBeat - predicted;
    const bool jump = std::fabs(error) > kJump;
    const double pull = jump ? 1.0 : 1.0 - std::exp(-(now - anchorTime_) / kSettle);
    anchorBeat_ = predicted + error * pull;
    anchorTime_ = now;
    if (jump || bpm != bpm_) {
        bpm_ = bpm;
        wake_.notify_one();
    }
}

void BLClockOut::run()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock<std::mutex> hold(lock_);
    while (!quit_) {
        uint8_t bytes[5];
        size_t count = 0;
        int said = 0;
        if (sayStop_) {
            sayStop_ = false;
            bytes[count++] = kStop;
            said = kStopped;
        } else if (!running_) {
            wake_.wait(hold);
            continue;
        } else {
            const double due = timeOfBeat(static_cast<double>(nextPulse_) / kPulsesPerBeat);
            const double now = BLMidiNow();
            if (due > now) {
                const auto at = Clock::time_point(
                    std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due)));
                wake_.wait_until(hold, at);
                continue;
            }
            if (opening_ == Opening::none && beatAt(now) * kPulsesPerBeat - nextPulse_ > kCatchUpMost)
                nextPulse_ = static_cast<int64_t>(std::floor(beatAt(now) * kPulsesPerBeat));
            if (opening_ != Opening::none) {
                // Song position in sixteenths, 14 bits.
                const int64_t sixteenth = (nextPulse_ / kPulsesPerSixteenth) & 0x3FFF;
                bytes[count++] = kSongPosition;
                bytes[count++] = static_cast<uint8_t>(sixteenth & 0x7F);
                bytes[count++] = static_cast<uint8_t>(sixteenth >> 7);
                bytes[count++] = opening_ == Opening::start ? kStart : kContinue;
                said = opening_ == Opening::start ? kStarted : kContinued;
                opening_ = Opening::none;
            }
            bytes[count++] = kPulse;
            ++nextPulse_;
            sent_.store(nextPulse_);
        }
        hold.unlock();
        // One message at a time: the song position is three bytes, the others one.
        for (size_t i = 0; i < count;) {
            const size_t length = bytes[i] == kSongPosition ? 3 : 1;
            out_.send(bytes + i, length);
            i += length;
        }
        if (said) said_.fetch_or(said);
        hold.lock();
    }
}

// ---------------------------------------------------------------------------

bool BLClockIn::open(const std::string& portName, const std::string& from)
{
    close();
    tempo_.reset();
    refused_ = 0;
    read_.store(written_.load());
    return in_.open(portName, from, [this](const uint8_t* bytes, size_t count, double seconds) {
        if (count > 0) receive(bytes[0], seconds);
    });
}

void BLClockIn::close()
{
    in_.close();
}

void BLClockIn::receive(uint8_t status, double seconds)
{
    if (status != kPulse && status != kStart && status != kContinue && status != kStop) return;
    const uint32_t w = written_.load(std::memory_order_relaxed);
    // Full: the main thread has not passed for a long while; drop.
    if (w - read_.load(std::memory_order_acquire) >= static_cast<uint32_t>(kQueue)) return;
    queue_[w % kQueue] = {status, seconds};
    written_.store(w + 1, std::memory_order_release);
}

void BLClockIn::follow(BLPlayer& player)
{
    uint32_t r = read_.load(std::memory_order_relaxed);
    const uint32_t w = written_.load(std::memory_order_acquire);
    for (; r != w; ++r) {
        const Message m = queue_[r % kQueue];
        switch (m.status) {
            case kPulse: tempo_.pulse(m.seconds); break;
            case kStart:
                tempo_.reset();
                player.stop();
                player.play();
                note("clock in start");
                break;
            case kContinue:
                if (!player.playing) player.play();
                note("clock in continue");
                break;
            case kStop:
                player.stop();
                note("clock in stop");
                break;
        }
    }
    read_.store(r, std::memory_order_release);

    const double bpm = tempo_.bpm();
    if (!(bpm > 0) || std::fabs(bpm * factor_ - player.bpm) <= kDeadBand) return;
    // A tempo refused stays refused until the clock's tempo moves.
    if (refused_ > 0 && std::fabs(bpm - refused_) <= kDeadBand) return;
    char text[112];
    // Outside the window, at half or double time where that falls inside
    // it; else refused, the player's own tempo kept (never the window's end).
    for (const double f : {1.0, 0.5, 2.0}) {
        const auto tempo = static_cast<float>(bpm * f);
        if (player.songBpm <= 0 || !BL_TempoPlayed(player.songBpm, tempo)) continue;
        player.followBpm(tempo);
        factor_ = f;
        refused_ = 0;
        if (f == 1.0)
            std::snprintf(text, sizeof text, "clock in tempo %.2f", bpm);
        else
            std::snprintf(text, sizeof text, "clock in tempo %.2f played at %s time: %.2f", bpm,
                          f < 1 ? "half" : "double", bpm * f);
        note(text);
        return;
    }
    refused_ = bpm;
    factor_ = 1;
    std::snprintf(text, sizeof text, "clock in tempo %.2f is outside the song's tempo window, %.2f kept", bpm,
                  static_cast<double>(player.bpm));
    note(text);
}
