// One effect at work: a processor the mixer runs on a stretch of stereo
// frames, in place, full scale at +-1.0.
//
// Threads: a unit is made, set up and freed on the main thread (or the one
// thread of an offline render); once handed to a rack only the thread that
// runs the rack calls process() and applies the values that come through
// the unit's own queue (FxParamQueue), which never blocks either side.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

// Frames a unit is given at most in one call.
constexpr int kFxMaxBlock = 2048;
constexpr int64_t kFxAtOnce = INT64_MIN;

// What the frames a unit is given stand for. A track's effects run on the
// song's timeline before it is brought to the mix tempo: a song frame is
// heard as 1 / ratio output frames, its frequencies times the ratio unless
// key lock keeps them. The rates say at how many frames a heard second
// passes, for frequencies and for times, so that a cutoff in Hz or a decay
// in seconds means what it says at the output; a beat is framesPerBeat
// frames of the stream the unit is given (the song's beat for a track, the
// mix tempo's on the main mix).
struct FxContext {
    double framesPerBeat = 22050.0;
    double freqRate = 44100.0;
    double timeRate = 44100.0;
};

// Parameter values on their way from the main thread to the thread that
// runs the unit: one writer, one reader, fixed size, no lock.
class FxParamQueue {
public:
    struct Change {
        int16_t index;  // kBypass: the bypass, value 0 or 1
        float value;
        int64_t due;  // the timeline frame it is heard from (kFxAtOnce: at once)
    };
    static constexpr int16_t kBypass = -1;
    // False when it is full (the writer keeps the value and tries again).
    bool push(Change c)
    {
        const uint32_t w = write_.load(std::memory_order_relaxed);
        if (w - read_.load(std::memory_order_acquire) >= kSize) return false;
        ring_[w % kSize] = c;
        write_.store(w + 1, std::memory_order_release);
        return true;
    }
    bool pop(Change* c)
    {
        const uint32_t r = read_.load(std::memory_order_relaxed);
        if (r == write_.load(std::memory_order_acquire)) return false;
        *c = ring_[r % kSize];
        read_.store(r + 1, std::memory_order_release);
        return true;
    }

private:
    static constexpr uint32_t kSize = 256;
    std::array<Change, kSize> ring_{};
    std::atomic<uint32_t> write_{0};
    std::atomic<uint32_t> read_{0};
};

class FxUnit {
public:
    virtual ~FxUnit() = default;
    // n frames (at most kFxMaxBlock) of both channels, in place.
    virtual void process(float* left, float* right, int n, const FxContext& c) = 0;
    // A parameter's new value, already within its range; a moving value
    // glides there, so that no step is heard.
    virtual void setParam(int index, float value) = 0;
    // Back to silence, as new; only while nothing runs it.
    virtual void reset() {}

    FxParamQueue queue;
    // The timeline frame the unit takes its slot at (kFxAtOnce: at once).
    int64_t dueAt = 0;
    // A unit that stands for an empty slot: its slot fades to the dry sound.
    bool clears = false;
};
