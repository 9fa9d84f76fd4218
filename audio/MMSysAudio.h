// One wave-output device: a queue of fixed-size buffers that a periodic
// refill keeps topped up from a fill callback (the engine passes
// GetResampled). 16-bit stereo frames at 44100 Hz, 2048 frames a buffer.
//
// Threads: the main thread creates, starts, stops and destroys the device;
// the output timer thread calls AudioOutTimeSlice, which refills under the
// device's lock. Stop takes the same lock, so a refill never overlaps a
// reset or a close. queued is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/PlatAudio.h"

// Where a device's buffers go: the sound card, or anything that takes the
// same stream (an offline render, a test).
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
};

// The sound card, through the platform's queue-mode audio output.
class MMSysCardOutput : public MMSysOutput {
public:
    bool open(int rate, int channels, int bufferFrames) override;
    void close() override { out_.close(); }
    bool queue(const void* bytes, uint32_t count) override { return out_.queue(bytes, count); }
    uint32_t queuedBytes() override { return out_.queuedBytes(); }
    void resume() override { out_.resume(); }
    void clear() override { out_.clear(); }

private:
    plat::AudioOutput out_;
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
    bool unqueued = false;  // buffers[next] is mixed but not handed over yet
};
