// A sound output device fed in queue mode with signed 16-bit samples, over
// SDL2's audio. Queueing, the queued count, pause and clear may be called from
// any one thread at a time per device (SDL locks the queue itself).
#pragma once

#include <cstdint>

namespace plat {

class AudioOutput {
public:
    AudioOutput() = default;
    ~AudioOutput() { close(); }
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens the default output device, paused. The audio subsystem is started
    // on first use (and released again by the last close).
    bool open(int frequency, int channels, int bufferFrames);
    void close();
    bool isOpen() const { return device_ != 0; }

    bool queue(const void* bytes, uint32_t count);
    uint32_t queuedBytes() const;
    void pause();
    void resume();
    // Drops everything queued.
    void clear();

    int frequency() const { return frequency_; }
    int channels() const { return channels_; }
    int bufferFrames() const { return bufferFrames_; }
    int bytesPerFrame() const { return channels_ * 2; }

private:
    uint32_t device_ = 0;
    int frequency_ = 0;
    int channels_ = 0;
    int bufferFrames_ = 0;
};

}  // namespace plat
