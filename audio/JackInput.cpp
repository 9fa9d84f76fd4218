#include "audio/JackInput.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/JackOutput.h"
#include "audio/OVTrack.h"
#include "audio/sndInRec.h"
#include "platform/PlatLink.h"

namespace {

constexpr int kEngineRate = 44100;
constexpr double kMsPerFrame = 1000.0 / kEngineRate;
constexpr int kBeatsPerBar = 4;
// A take begins this many song frames before its bar, and ends as many
// before its last bar's end: a downbeat played a hair early is the loop's
// first beat, not lost before the take, and lands at the loop's end, where
// the loop's frame 0 follows it as it repeats.
constexpr double kEarlyFrames = 441;
// A take of this many frames more or fewer than its bars was made at the song's tempo.
constexpr int64_t kSameTempoFrames = 16;

int16_t toShort(float x)
{
    const float s = std::clamp(x, -1.0f, 1.0f) * 32767.0f;
    return static_cast<int16_t>(std::lround(s));
}

// What comes in for a recording of free length: one writer (JACK's
// thread), one reader (the wave input's capture thread).
constexpr uint32_t kRingFrames = 1u << 17;
int16_t ring[kRingFrames * 2];
std::atomic<uint32_t> ringWritten{0};
std::atomic<uint32_t> ringRead{0};
std::atomic<bool> ringRunning{false};

// The take in time. The main thread sets the fields and then `state`
// (release); JACK's thread reads them after seeing it (acquire) and
// alone writes what it records until it sets `done`.
enum TakeState : int { kIdle, kArmed, kRecording, kDone };
std::atomic<int> state{kIdle};
int takeBars = 0;
int16_t* takeBlock = nullptr;
int32_t takeCapacity = 0;
std::atomic<double> takeFrom{0};  // song frames: the bar it starts on
std::atomic<double> takeTo{0};    // and the bar it ends on
std::atomic<double> takeAt{0};    // the song frame heard with the last frame taken
std::atomic<int32_t> takeFrames{0};

bool hooked = false;

void store(const float* left, const float* right, int frames, double came)
{
    const double spb = BPM.load(std::memory_order_relaxed);
    double first = 0, before = 0;
    // The song frames heard as the period's frames came in: the line
    // through the heard frame then and 10 ms earlier.
    if (came < 0 || spb <= 0 || !JackOutput_HeardSongFrame(came, &first) ||
        !JackOutput_HeardSongFrame(came - 10, &before))
        return;
    const double step = (first - before) / (10 / kMsPerFrame);
    const int s = state.load(std::memory_order_acquire);
    if (s == kArmed) {
        // From the next bar heard at least a beat away: the count-in shows.
        const double bar = spb * kBeatsPerBar;
        double from = std::ceil(first / bar) * bar;
        if (from - first < spb) from += bar;
        takeFrom.store(from, std::memory_order_relaxed);
        takeTo.store(from + bar * takeBars, std::memory_order_relaxed);
        takeAt.store(first, std::memory_order_relaxed);
        state.store(kRecording, std::memory_order_release);
    }
    if (state.load(std::memory_order_relaxed) != kRecording) return;
    const double from = takeFrom.load(std::memory_order_relaxed) - kEarlyFrames;
    const double to = takeTo.load(std::memory_order_relaxed) - kEarlyFrames;
    int32_t n = takeFrames.load(std::memory_order_relaxed);
    for (int i = 0; i < frames; ++i) {
        const double f = first + step * i;
        if (f < from) continue;
        if (f >= to || n >= takeCapacity) {
            takeFrames.store(n, std::memory_order_relaxed);
            takeAt.store(f, std::memory_order_relaxed);
            state.store(kDone, std::memory_order_release);
            return;
        }
        takeBlock[2 * n] = toShort(left[i]);
        takeBlock[2 * n + 1] = toShort(right[i]);
        ++n;
    }
    takeFrames.store(n, std::memory_order_relaxed);
    takeAt.store(first + step * frames, std::memory_order_relaxed);
}

void capture(void*, const float* left, const float* right, int frames, double came)
{
    if (ringRunning.load(std::memory_order_acquire)) {
        const uint32_t w = ringWritten.load(std::memory_order_relaxed);
        const uint32_t room = kRingFrames - (w - ringRead.load(std::memory_order_acquire));
        const auto n = std::min<uint32_t>(room, static_cast<uint32_t>(frames));
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t at = (w + i) % kRingFrames;
            ring[2 * at] = toShort(left[i]);
            ring[2 * at + 1] = toShort(right[i]);
        }
        ringWritten.store(w + n, std::memory_order_release);
    }
    store(left, right, frames, came);
}

class JackSource : public WaveInSource {
public:
    bool open(int rate, int channels, int) override
    {
        if (rate != kEngineRate || channels != 2 || !JackInput_InUse()) return false;
        ringRunning.store(false);
        return true;
    }
    void close() override { ringRunning.store(false); }
    bool start() override
    {
        ringRead.store(ringWritten.load());
        ringRunning.store(true, std::memory_order_release);
        return true;
    }
    void stop() override
    {
        ringRunning.store(false);
        ringRead.store(ringWritten.load());
    }
    bool take(void* dest, uint32_t bytes) override
    {
        const uint32_t frames = bytes / 4;
        const uint32_t r = ringRead.load(std::memory_order_relaxed);
        if (ringWritten.load(std::memory_order_acquire) - r < frames) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return false;
        }
        auto* out = static_cast<int16_t*>(dest);
        for (uint32_t i = 0; i < frames; ++i) {
            const uint32_t at = (r + i) % kRingFrames;
            out[2 * i] = ring[2 * at];
            out[2 * i + 1] = ring[2 * at + 1];
        }
        ringRead.store(r + frames, std::memory_order_release);
        return true;
    }
    bool exists() override { return JackInput_InUse(); }
};

JackSource source;

}  // namespace

bool JackInput_InUse()
{
    if (!JackOutput_InUse() || JackOutput_Resampling()) return false;
    if (!hooked) hooked = JackOutput_SetCapture(capture, nullptr);
    return hooked;
}

WaveInSource* JackInput_Source()
{
    return &source;
}

bool JackInput_StartTake(int bars, int16_t* block, int32_t capacity)
{
    if (!JackInput_InUse() || !block || capacity <= 0 || bars < 1) return false;
    double now = 0;
    if (!JackOutput_HeardSongFrame(plat::monotonicMs(), &now)) return false;
    state.store(kIdle);
    takeBars = bars;
    takeBlock = block;
    takeCapacity = capacity;
    takeFrames.store(0);
    state.store(kArmed, std::memory_order_release);
    return true;
}

bool JackInput_TakeStatus(int* countIn, int* percent)
{
    const int s = state.load(std::memory_order_acquire);
    const double spb = BPM.load();
    if (countIn) *countIn = 0;
    if (percent) *percent = 0;
    if (s == kArmed) {
        if (countIn) *countIn = kBeatsPerBar;
        return true;
    }
    if (s != kRecording) return false;
    const double from = takeFrom.load(), to = takeTo.load(), at = takeAt.load();
    if (at < from) {
        if (countIn && spb > 0) *countIn = static_cast<int>(std::ceil((from - at) / spb));
    } else if (percent && to > from) {
        *percent = static_cast<int>(std::clamp((at - from) * 100 / (to - from), 0.0, 99.0));
    }
    return true;
}

int32_t JackInput_EndTake(int* bars)
{
    const int s = state.exchange(kIdle, std::memory_order_acq_rel);
    if (bars) *bars = takeBars;
    // JACK's thread may be in the middle of a period: let it pass.
    if (s == kRecording) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (s != kDone || !takeBlock) return 0;
    int32_t n = takeFrames.load(std::memory_order_acquire);
    const double spb = BPM.load();
    const auto bar = static_cast<int64_t>(std::llround(spb * kBeatsPerBar));
    const int64_t wanted = bar * takeBars;
    if (n <= 1 || wanted <= 0 || wanted > takeCapacity) return 0;
    // Brought to the song's tempo: `wanted` frames from the n taken. Made
    // at the song's tempo, the few frames more or less are the rounding of
    // the bars' ends: the frames are kept as they came, as a click split
    // between two frames would no longer be on its frame.
    std::vector<int16_t> made(static_cast<size_t>(wanted) * 2);
    if (std::llabs(n - wanted) <= kSameTempoFrames) {
        std::memcpy(made.data(), takeBlock, static_cast<size_t>(std::min<int64_t>(n, wanted)) * 4);
        n = static_cast<int32_t>(wanted);
    }
    for (int64_t i = 0; i < wanted && n != wanted; ++i) {
        const double x = static_cast<double>(i) * n / static_cast<double>(wanted);
        const auto j = std::min<int64_t>(static_cast<int64_t>(x), n - 1);
        const int64_t k = std::min<int64_t>(j + 1, n - 1);
        const double t = x - static_cast<double>(j);
        for (int c = 0; c < 2; ++c)
            made[static_cast<size_t>(2 * i + c)] = static_cast<int16_t>(
                std::lround(takeBlock[2 * j + c] + (takeBlock[2 * k + c] - takeBlock[2 * j + c]) * t));
    }
    // Turned so that the loop's frame 0 is the period's: the take began a
    // little before bar `first` of the timeline.
    const auto first = static_cast<int64_t>(std::llround(takeFrom.load() / static_cast<double>(bar)));
    const int64_t shift = ((first % takeBars) * bar - static_cast<int64_t>(kEarlyFrames) + wanted) % wanted;
    for (int64_t i = 0; i < wanted; ++i) {
        const int64_t to = (i + shift) % wanted;
        takeBlock[2 * to] = made[static_cast<size_t>(2 * i)];
        takeBlock[2 * to + 1] = made[static_cast<size_t>(2 * i + 1)];
    }
    return static_cast<int32_t>(wanted);
}

int32_t JackInput_TakeCapacity(int songBpm)
{
    const int slowest = std::max(10, songBpm - 50);
    return static_cast<int32_t>(int64_t{8} * kBeatsPerBar * kEngineRate * 60 / slowest + 4096);
}
