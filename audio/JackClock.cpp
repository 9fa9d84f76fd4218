#include "audio/JackClock.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <utility>

#include "audio/JackOutput.h"
#include "audio/OVTrack.h"

namespace {

constexpr uint8_t kPulse = 0xF8;
constexpr uint8_t kStart = 0xFA;
constexpr uint8_t kContinue = 0xFB;
constexpr uint8_t kStop = 0xFC;
constexpr uint8_t kSongPosition = 0xF2;
constexpr int kPulsesPerBeat = 24;
constexpr int kPulsesPerSixteenth = kPulsesPerBeat / 4;

JackClockWriter writer;
std::atomic<bool> open{false};
std::atomic<int> said{0};
std::atomic<int64_t> sent{0};

void writeToPort(void* user, int frame, const uint8_t* bytes, int count)
{
    static_cast<plat::JackMidiPeriod*>(user)->write(frame, bytes, static_cast<size_t>(count));
}

void fill(void*, plat::JackMidiPeriod& period)
{
    double first = 0, end = 0;
    const double spb = BPM.load(std::memory_order_relaxed);
    const double ms = 1000.0 / period.rate;
    const bool heard = period.startMs >= 0 && spb > 0 && JackOutput_HeardSongFrame(period.startMs, &first) &&
                       JackOutput_HeardSongFrame(period.startMs + period.frames * ms, &end);
    writer.period(heard, first, end, period.frames, spb, writeToPort, &period);
    if (writer.said) said.fetch_or(std::exchange(writer.said, 0), std::memory_order_relaxed);
    sent.store(writer.sent, std::memory_order_relaxed);
}

}  // namespace

void JackClockWriter::period(bool heard, double first, double end, int frames, double spb, Write write,
                             void* user)
{
    const auto at = [&](double songFrame) {
        if (!(end > first)) return 0;
        return std::clamp(static_cast<int>(std::floor((songFrame - first) / (end - first) * frames)), 0,
                          frames - 1);
    };
    // Stopped, or played again from further back (a start from the top while
    // playing): whoever follows stops, and starts again with it.
    if (running_ && (!heard || first < lastEnd_ - spb / 2)) {
        write(user, 0, &kStop, 1);
        running_ = false;
        said |= JackClock_kStopped;
    }
    if (!heard || !(spb > 0)) return;
    lastEnd_ = end;
    const double pulse = spb / kPulsesPerBeat;
    if (!running_) {
        if (end <= 0) return;  // the first frame is heard later
        const auto k = static_cast<int64_t>(std::ceil(std::max(first, 0.0) / pulse - 1e-9));
        if (k == 0) {
            nextPulse_ = 0;
            if (0 >= end) return;
            write(user, at(0), &kStart, 1);
            said |= JackClock_kStarted;
        } else {
            // Joined while the groove plays: from the next sixteenth on.
            nextPulse_ = (k + kPulsesPerSixteenth - 1) / kPulsesPerSixteenth * kPulsesPerSixteenth;
            const double from = static_cast<double>(nextPulse_) * pulse;
            if (from >= end) return;
            const int64_t sixteenth = (nextPulse_ / kPulsesPerSixteenth) & 0x3FFF;
            const uint8_t position[3] = {kSongPosition, static_cast<uint8_t>(sixteenth & 0x7F),
                                         static_cast<uint8_t>(sixteenth >> 7)};
            write(user, at(from), position, 3);
            write(user, at(from), &kContinue, 1);
            said |= JackClock_kContinued;
        }
        running_ = true;
    }
    // A jump ahead (the groove placed elsewhere): not caught up pulse by pulse.
    if (static_cast<double>(nextPulse_) * pulse < first - spb)
        nextPulse_ = static_cast<int64_t>(std::ceil(first / pulse));
    for (double f = static_cast<double>(nextPulse_) * pulse; f < end;
         f = static_cast<double>(nextPulse_) * pulse) {
        write(user, at(f), &kPulse, 1);
        ++nextPulse_;
    }
    sent = nextPulse_;
}

bool JackClock_Open(const std::string& portName)
{
    JackClock_Close();
    writer = JackClockWriter{};
    said.store(0);
    sent.store(0);
    if (!JackOutput_OpenMidiOut(portName, fill, nullptr)) return false;
    open.store(true);
    return true;
}

void JackClock_Close()
{
    if (!open.exchange(false)) return;
    JackOutput_CloseMidiOut();
}

bool JackClock_IsOpen()
{
    return open.load();
}

int JackClock_TakeSaid()
{
    return said.exchange(0);
}

int64_t JackClock_PulsesSent()
{
    return sent.load();
}
