// The delay in time with the beat: echoes `time` beats apart (a beat of the
// stream it runs on, so it follows the tempo), each one `feedback` times the
// one before, mixed with the dry sound; ping-pong sends them left and right
// by turns. At rest the echoes fall on whole frames and are exact copies;
// a change of time glides there when it is small (the tempo nudged) and
// crosses over between the two lengths when it is not.
#pragma once

#include <vector>

#include "audio/fx/FxUnit.h"

class FxDelay : public FxUnit {
public:
    enum Param { kTime, kFeedback, kMix, kPingPong };
    // The longest delay held, in frames of the stream (6 s at 44.1 kHz).
    static constexpr int kMostFrames = 264600;

    FxDelay(float beats, float feedback, float mix, bool pingPong);
    void process(float* left, float* right, int n, const FxContext& c) override;
    void setParam(int index, float value) override;
    void reset() override;

private:
    double tap(int channel, double delay) const;

    float beats_, feedback_, mix_;
    bool pingPong_;
    std::vector<float> line_[2];
    int write_ = 0;
    double delay_ = -1;   // frames, where the echoes are read now
    double target_ = 0;   // frames, where they are heading
    double from_ = 0;     // crossing over: the length left
    double cross_ = 1.0;  // 1: no crossing over
    double feedbackNow_ = 0, mixNow_ = 0, pingNow_ = 0;
};
