// Time stretching that keeps the pitch: key lock. Stereo, 44100 Hz, float
// frames one channel after the other. Two kinds: live (the live chain, on
// the output timer thread: once made and reset on the main thread, feeding
// and taking allocate nothing as long as no feed exceeds kPlatStretchFeed),
// and render (a whole file: the finer engine at its best, the exact output
// length, not for the timer thread).
#pragma once

#include <cstdint>
#include <memory>

constexpr int kPlatStretchFeed = 4096;

class PlatStretcher {
public:
    virtual ~PlatStretcher() = default;

    // Output frames per input frame. Live: at any time. Render: before the first feed.
    virtual void setRatio(double outPerIn) = 0;
    // Live: input frames to lead in with before the first real frame, and
    // output frames to drop then, so that output frame k is input frame
    // k x ratio. Both for the ratio set now. 0 for a render.
    virtual int startPad() const = 0;
    virtual int startDelay() const = 0;
    // Input frames wanted before more output comes (a hint).
    virtual int framesWanted() const = 0;
    // Hands on `frames` frames of in[0] (left) and in[1] (right); `last`
    // ends a render's input.
    virtual void feed(const float* const* in, int frames, bool last) = 0;
    // Output frames ready; -1 once a render has given everything.
    virtual int ready() const = 0;
    // Moves up to `frames` ready frames into out[0] and out[1]; frames moved.
    virtual int take(float* const* out, int frames) = 0;
    // Forgets all input and output (main thread for a live one).
    virtual void reset() = 0;
};

// Null when the stretcher cannot be made.
std::unique_ptr<PlatStretcher> PlatStretcher_Live(double outPerIn);
// inputFrames: the exact length of the input, so the output is
// inputFrames x outPerIn frames, rounded. One channel (in[0], out[0]) or two.
std::unique_ptr<PlatStretcher> PlatStretcher_Render(double outPerIn, int64_t inputFrames, int channels = 2);
