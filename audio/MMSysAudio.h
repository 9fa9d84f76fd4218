// One wave-output device fed from a fill callback (the engine passes
// GetResampled), 16-bit stereo frames at 44100 Hz, sending them to one of
// the outputs of the table in audio/MMSysOutputs.h: either an output that
// asks for each period itself from its own thread (Pull: the sound card,
// JACK), or one that takes a queue of fixed-size buffers that a periodic
// refill keeps topped up (renders, tests).
//
// Threads: the main thread creates, starts, stops and destroys the device;
// the output's thread (Pull) or the output timer thread (AudioOutTimeSlice)
// fills under the device's lock. Stop takes the same lock, so a fill never
// overlaps a reset or a close; a pulled output is closed after the lock is
// let go, as closing waits for a pull under way. queued is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

class MMSysAudio;
class MMSysCardOutput;

// Where a device's buffers go: the sound card, JACK, or anything that takes
// the same stream (an offline render, a test).
class MMSysOutput {
public:
    virtual ~MMSysOutput() = default;
    // Opened paused.
    virtual bool open(int rate, int channels, int bufferFrames) = 0;
    virtual void close() = 0;
    virtual bool queue(const void* bytes, uint32_t count) = 0;
    // Bytes queued and not played yet.
    virtual uint32_t queuedBytes() = 0;
    virtual void resume() = 0;
    // Drops everything queued.
    virtual void clear() = 0;
    // An output that asks for its sound itself, a period at a time, from
    // its own thread: no queue, no timer, no priming.
    virtual bool pulls() const { return false; }
    virtual bool openPulled(int /*rate*/, int /*channels*/, int /*bufferFrames*/, MMSysAudio* /*owner*/)
    {
        return false;
    }
    // False once the output has gone away.
    virtual bool alive() { return true; }
};

// Writes exactly `frames` stereo frames to dest; -1 stops the device.
using MMSysFill = int (*)(void* dest, int frames);

constexpr int kMaxQueueBuffers = 16;
constexpr int kPrimingFrames = 8192;
// Start's result when the output cannot be opened.
constexpr int kDeviceOpenFailed = 2;

class MMSysAudio {
public:
    // bufferFrames -1: two buffers of queueFrames frames. output null: the
    // sound card (the instance owns that one; a given output stays the caller's).
    MMSysAudio(MMSysFill callback, int queueFrames, int channels, int rate, int bufferFrames,
               MMSysOutput* output = nullptr);
    ~MMSysAudio();
    MMSysAudio(const MMSysAudio&) = delete;
    MMSysAudio& operator=(const MMSysAudio&) = delete;

    // False when a buffer could not be allocated.
    bool allocated() const;

    // 0, 1 if already started, kDeviceOpenFailed if the output cannot be
    // opened, -1 on a later failure (the output is closed again then).
    int Start();
    int Stop();
    // The refill of one timer tick.
    void Callback();
    // Counts the buffers the output has finished playing off `queued`.
    // The output reports no completion of its own: its queued byte count
    // tells how many of the buffers handed to it are done.
    int BufferCallback();
    // The timer's entry: refills the started device, if any.
    static void AudioOutTimeSlice();
    // A pulled output's request for `count` bytes, on its own thread.
    static void Pull(void* self, uint8_t* bytes, int count);
    // A fence at an output frame, counted by `clock` (the fill's own count
    // of frames given): a pull fills up to it, then waits with the lock let
    // go until the main thread moves it (making the calls due there, heard
    // exactly from that frame) or the output stops. One not moved within a
    // quarter of a second is dropped and the sound goes on. -1: none.
    static void SetFence(const std::atomic<int64_t>* clock, int64_t at);
    // A pull waits at the fence now.
    static bool AtFence();
    bool pulled() const { return pulledOut; }
    // False once a started output has gone away.
    bool alive() const { return !started || device->alive(); }

    int bufferCount() const { return totalFrames / bufferFrames; }
    int queuedBuffers() const { return queued.load(); }
    bool isStarted() const { return started != 0; }
    std::recursive_mutex& deviceLock() { return lock; }

private:
    void retireAll();

    int16_t* buffers[kMaxQueueBuffers] = {};
    int16_t* priming = nullptr;
    MMSysFill callback;
    MMSysOutput* device;
    MMSysCardOutput* card = nullptr;
    int32_t totalFrames;
    int32_t bufferFrames;
    int32_t next = 0;
    int32_t started = 0;
    int32_t channels;
    int32_t rate;
    int32_t stopping = 0;
    std::recursive_mutex lock;
    std::atomic<int32_t> queued{0};

    // Byte sizes of the buffers handed to the output, oldest first.
    uint32_t pending[kMaxQueueBuffers + 1] = {};
    int pendingHead = 0;
    int pendingCount = 0;
    uint64_t pendingBytes = 0;
    bool unqueued = false;   // buffers[next] is mixed but not handed over yet
    bool pulledOut = false;  // the started output pulls (Pull fills it)
    // Periods pulled since the start, and those whose sound took longer to
    // make than the period lasts: on a card, a gap. Said at the stop.
    std::atomic<uint64_t> pulls{0};
    std::atomic<uint64_t> latePulls{0};
};
