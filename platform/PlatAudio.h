// A sound output device fed in queue mode with signed 16-bit samples, over
// SDL2's audio. Queueing, the queued count, pause and clear may be called from
// any one thread at a time per device (SDL locks the queue itself).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // The device's own thread asks for each period of `count` bytes.
    using Pull = void (*)(void* user, uint8_t* bytes, int count);
    // Opens `device` (empty: the system's default) in pull mode, paused: no
    // queue, the sound is made as the device asks for it. Never call close,
    // pause or resume while holding a lock that `pull` takes: they wait for
    // a pull under way to end.
    bool openPulled(int frequency, int channels, int bufferFrames, Pull pull, void* user,
                    const std::string& device = {});
    // False once the device has gone away (unplugged, or its server ended).
    bool alive() const;
    // The output devices the system offers, by name.
    static std::vector<std::string> deviceNames();
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

// Why a capture device would not open.
enum class CaptureProblem : int {
    none,
    noDevice,    // the system offers none
    busy,        // another program holds it
    permission,  // this user may not use it
    other,       // the system's words say what
};

// A sound capture device read in queue mode: signed 16-bit samples gather in
// the device's queue while it runs and are taken out in whole buffers. One
// thread at a time per device.
class AudioInput {
public:
    AudioInput() = default;
    ~AudioInput() { close(); }
    AudioInput(const AudioInput&) = delete;
    AudioInput& operator=(const AudioInput&) = delete;

    // Whether the system offers a capture device; true when it cannot tell.
    static bool deviceExists();

    // Opens the default capture device, paused; when it would not open,
    // problem() says why and problemText() in the system's words.
    bool open(int frequency, int channels, int bufferFrames);
    CaptureProblem problem() const { return problem_; }
    const std::string& problemText() const { return problemText_; }
    void close();
    bool isOpen() const { return device_ != 0; }
    void resume();
    // Pauses and drops what was captured and not taken.
    void stop();
    uint32_t availableBytes() const;
    // Up to `count` bytes of what was captured; the number taken.
    uint32_t take(void* bytes, uint32_t count);

private:
    uint32_t device_ = 0;
    CaptureProblem problem_ = CaptureProblem::none;
    std::string problemText_;
};

}  // namespace plat
