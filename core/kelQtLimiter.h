// A look-ahead peak limiter for the loudness normalisation of exports: the
// gain falls ahead of a peak, so no sample leaves it above the ceiling,
// and recovers smoothly after it. All channels share one gain, so the
// stereo image stays where it is.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

class kelQtLimiter {
public:
    // ceiling: linear full scale (0 .. 1]; lookahead in frames (at least 1);
    // release: seconds for the gain to recover most of the way.
    kelQtLimiter(int channels, int rate, float ceiling, int lookahead = 64, double release = 0.08);

    // Takes `frames` frames and writes as many to `out`, delayed by
    // lookahead - 1 frames (the first ones out are the silence before the
    // stream). in and out may be the same buffer.
    void process(const float* in, long frames, float* out);
    // The frames still held: lookahead - 1 of them.
    long tailFrames() const { return lookahead_ - 1; }
    // Writes the held frames to `out` (tailFrames() frames).
    void flush(float* out);

private:
    float step(const float* frame, float* out);

    int channels_;
    int lookahead_;
    float ceiling_;
    float releaseCoef_;
    float envelope_ = 1.0f;
    std::vector<float> delay_;  // lookahead frames of input, a ring
    int64_t index_ = 0;
    std::deque<std::pair<int64_t, float>> minima_;  // the least gain wanted in the window
    std::vector<float> smooth_;                     // the last lookahead envelope values, a ring
    double smoothSum_;
};
