#include "audio/MMSysAudio.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <new>
#include <string>

#include "audio/CardOutput.h"
#include "audio/WinApi.h"
#include "platform/Platform.h"

namespace {

// The device the timer serves; null while none is started.
std::atomic<MMSysAudio*> currentDevice{nullptr};

std::atomic<const std::atomic<int64_t>*> fenceClock{nullptr};
std::atomic<int64_t> fenceAt{-1};
std::atomic<bool> fenceWaits{false};
// Waits at the fence since the start, and those given up (heard late).
std::atomic<uint64_t> fenceStops{0};
std::atomic<uint64_t> fenceDrops{0};
std::condition_variable_any fenceMoved;
constexpr auto kFenceWait = std::chrono::milliseconds(250);

}  // namespace

void MMSysAudio::SetFence(const std::atomic<int64_t>* clock, int64_t at)
{
    fenceClock.store(clock);
    fenceAt.store(at);
    fenceMoved.notify_all();
}

bool MMSysAudio::AtFence()
{
    return fenceWaits.load();
}

MMSysAudio::MMSysAudio(MMSysFill fill, int queueFrames, int channelCount, int sampleRate, int framesPerBuffer,
                       MMSysOutput* output)
    : callback(fill), device(output), channels(channelCount), rate(sampleRate)
{
    if (framesPerBuffer == -1) framesPerBuffer = queueFrames;
    bufferFrames = framesPerBuffer > 0 ? framesPerBuffer : 1;
    totalFrames = queueFrames + bufferFrames;
    if (bufferCount() > kMaxQueueBuffers) totalFrames = kMaxQueueBuffers * bufferFrames;
    if (!device) {
        card = new (std::nothrow) MMSysCardOutput;
        device = card;
    }
    for (int i = bufferCount() - 1; i >= 0; --i)
        buffers[i] = static_cast<int16_t*>(M_alloc(bufferFrames * channels * 2));
    priming = static_cast<int16_t*>(M_alloc(channels * 2 * kPrimingFrames));
}

MMSysAudio::~MMSysAudio()
{
    if (started) Stop();
    for (int16_t*& b : buffers) {
        M_free(b);
        b = nullptr;
    }
    M_free(priming);
    delete card;
}

bool MMSysAudio::allocated() const
{
    if (!device || !priming || bufferCount() < 1) return false;
    for (int i = 0; i < bufferCount(); ++i)
        if (!buffers[i]) return false;
    return true;
}

int MMSysAudio::Start()
{
    std::unique_lock<std::recursive_mutex> hold(lock);
    if (started) return 1;
    if (!allocated()) return -1;
    if (device->pulls()) {
        hold.unlock();  // opening may start pulls at once
        if (!device->openPulled(rate, channels, bufferFrames, this)) return kDeviceOpenFailed;
        hold.lock();
        retireAll();
        pulledOut = true;
        stopping = 0;
        started = 1;
        currentDevice.store(this);
        hold.unlock();
        device->resume();
        return 0;
    }
    if (!device->open(rate, channels, bufferFrames)) return kDeviceOpenFailed;
    retireAll();
    queued.store(1);  // the priming buffer
    next = 0;
    const int pieces = kPrimingFrames / bufferFrames;
    for (int i = 0; i < pieces; ++i) {
        if (callback(priming + i * bufferFrames * channels, bufferFrames) == -1) {
            device->close();
            queued.store(0);
            return -1;
        }
    }
    const uint32_t bytes = static_cast<uint32_t>(kPrimingFrames * channels * 2);
    if (!device->queue(priming, bytes)) {
        device->close();
        queued.store(0);
        return -1;
    }
    pending[0] = bytes;
    pendingHead = 0;
    pendingCount = 1;
    pendingBytes = bytes;
    device->resume();
    stopping = 0;
    started = 1;
    currentDevice.store(this);
    return 0;
}

int MMSysAudio::Stop()
{
    std::unique_lock<std::recursive_mutex> hold(lock);
    if (!started) return 0;
    MMSysAudio* self = this;
    currentDevice.compare_exchange_strong(self, nullptr);
    if (pulledOut) {
        // Pulls from here on are silence; closing waits for one under way,
        // which needs the lock.
        started = 0;
        stopping = 1;
        pulledOut = false;
        hold.unlock();
        fenceMoved.notify_all();
        device->close();
        if (const uint64_t late = latePulls.exchange(0))
            plat::logLine("sound output: " + std::to_string(late) + " of " + std::to_string(pulls.load()) +
                          " periods were made too late for the card (heard as gaps)");
        pulls.store(0);
        if (const uint64_t stops = fenceStops.exchange(0)) {
            // Told where the session's notes go too: a test reads it there.
            const std::string line = "sound output: waited for the calls due at " + std::to_string(stops) +
                                     " frames, gave up on " + std::to_string(fenceDrops.exchange(0)) +
                                     " (heard late)";
            plat::logLine(line);
            if (plat::hasBackend()) plat::backend().note(line);
        }
        return 0;
    }
    stopping = 1;
    device->clear();  // every queued buffer comes back
    BufferCallback();
    device->close();
    retireAll();
    started = 0;
    return 0;
}

void MMSysAudio::Callback()
{
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (!started) return;
    BufferCallback();
    const uint32_t bytes = static_cast<uint32_t>(bufferFrames * channels * 2);
    while (queued.load() < bufferCount() && !stopping) {
        if (!unqueued) {
            if (callback(buffers[next], bufferFrames) == -1) {
                Stop();
                return;
            }
            if (stopping) break;
        }
        // A buffer the output would not take is offered again next tick
        // rather than mixed over.
        unqueued = !device->queue(buffers[next], bytes);
        if (unqueued) break;
        pending[(pendingHead + pendingCount) % (kMaxQueueBuffers + 1)] = bytes;
        ++pendingCount;
        pendingBytes += bytes;
        next = (next + 1) % bufferCount();
        queued.fetch_add(1);
    }
}

int MMSysAudio::BufferCallback()
{
    const uint64_t unplayed = device->queuedBytes();
    while (pendingCount > 0 && pendingBytes - pending[pendingHead] >= unplayed) {
        pendingBytes -= pending[pendingHead];
        pendingHead = (pendingHead + 1) % (kMaxQueueBuffers + 1);
        --pendingCount;
        queued.fetch_sub(1);
    }
    return 0;
}

void MMSysAudio::Pull(void* self, uint8_t* bytes, int count)
{
    auto began = std::chrono::steady_clock::now();
    auto* d = static_cast<MMSysAudio*>(self);
    const int frames = count / (2 * d->channels);
    const int frameBytes = 2 * d->channels;
    std::unique_lock<std::recursive_mutex> hold(d->lock);
    if (!d->started || d->stopping || frames <= 0) {
        std::memset(bytes, 0, static_cast<size_t>(count));
        return;
    }
    for (int done = 0; done < frames;) {
        int n = frames - done;
        const int64_t at = fenceAt.load();
        const std::atomic<int64_t>* clock = fenceClock.load();
        if (at >= 0 && clock) {
            const int64_t given = clock->load();
            if (given >= at) {
                // The main thread makes the calls due here; waiting is no lateness.
                const auto waitFrom = std::chrono::steady_clock::now();
                fenceWaits.store(true);
                const bool moved = fenceMoved.wait_for(
                    hold, kFenceWait, [&] { return fenceAt.load() != at || !d->started || d->stopping; });
                fenceWaits.store(false);
                fenceStops.fetch_add(1, std::memory_order_relaxed);
                if (!moved) {
                    fenceDrops.fetch_add(1, std::memory_order_relaxed);
                    int64_t expected = at;
                    fenceAt.compare_exchange_strong(expected, -1);
                }
                began += std::chrono::steady_clock::now() - waitFrom;
                if (!d->started || d->stopping) {
                    std::memset(bytes + done * frameBytes, 0, static_cast<size_t>(count - done * frameBytes));
                    return;
                }
                continue;
            }
            n = static_cast<int>(std::min<int64_t>(n, at - given));
        }
        if (d->callback(bytes + done * frameBytes, n) == -1) {
            std::memset(bytes, 0, static_cast<size_t>(count));
            return;
        }
        done += n;
    }
    // An odd tail (never with whole frames) is silence.
    const int made = frames * frameBytes;
    if (made < count) std::memset(bytes + made, 0, static_cast<size_t>(count - made));
    const auto took = std::chrono::steady_clock::now() - began;
    d->pulls.fetch_add(1, std::memory_order_relaxed);
    if (took > std::chrono::microseconds(int64_t{frames} * 1000000 / d->rate))
        d->latePulls.fetch_add(1, std::memory_order_relaxed);
}

void MMSysAudio::AudioOutTimeSlice()
{
    if (MMSysAudio* d = currentDevice.load()) d->Callback();
}

void MMSysAudio::retireAll()
{
    unqueued = false;
    pendingHead = pendingCount = 0;
    pendingBytes = 0;
    queued.store(0);
}
