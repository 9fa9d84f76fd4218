// Loudness of a sound stream as EBU R128 measures it: the integrated
// loudness (gated, in LUFS) and the true peak (oversampled, in dBTP).
// A thin wrapper over libebur128.
#pragma once

namespace plat {

class LoudnessMeter {
public:
    LoudnessMeter() = default;
    ~LoudnessMeter() { close(); }
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    bool open(int channels, int rate);
    void close();
    // Interleaved frames, full scale -1 .. 1.
    bool add(const float* frames, long count);
    // -HUGE_VAL for silence (or nothing measured).
    double integratedLufs() const;
    // The highest true peak of all channels, in dBTP; -HUGE_VAL for silence.
    double truePeakDb() const;

private:
    void* state_ = nullptr;  // ebur128_state
    int channels_ = 0;
};

}  // namespace plat
