// Building blocks of the demo library's sound: a seeded noise source,
// band-limited oscillators, zero-delay-feedback filters and envelopes.
//
// Everything is plain double arithmetic in a fixed order, so the same seeds
// give the same samples on every run.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace demolib {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

// Equal temperament, a4 = 440 Hz (so c2, MIDI 36, is 65.41 Hz).
inline double midiHz(double midi)
{
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}
inline double dbGain(double db)
{
    return std::pow(10.0, db / 20.0);
}

// xorshift64*: small, fast and the same everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull)
    {
        if (s_ == 0) s_ = 1;
        for (int i = 0; i < 4; ++i) next();
    }
    uint64_t next()
    {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return s_ * 0x2545F4914F6CDD1Dull;
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double bipolar() { return 2.0 * uniform() - 1.0; }
    double range(double lo, double hi) { return lo + (hi - lo) * uniform(); }
    int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }
    bool chance(double p) { return uniform() < p; }

private:
    uint64_t s_;
};

// Band-limited saw cycles: for every half octave of pitch a table holds only
// the harmonics that stay below 19 kHz, so no partial folds back.
class WaveTables {
public:
    static const WaveTables& get();
    // One cycle of kTableSize samples (plus a guard sample) for this pitch.
    const float* table(double hz) const;
    static constexpr int kTableSize = 4096;

private:
    WaveTables();
    static int slot(double hz);
    static constexpr int kSlots = 24;
    std::vector<float> data_[kSlots];
};

// Phase-accumulating oscillator; each call returns one sample and advances.
class Osc {
public:
    void setHz(double hz)
    {
        dt_ = hz / kRate;
        hz_ = hz;
        saw_ = nullptr;
    }
    void setPhase(double p) { phase_ = p - std::floor(p); }

    double sine()
    {
        const double y = std::sin(kTwoPi * phase_);
        advance();
        return y;
    }
    double saw()
    {
        if (!saw_) saw_ = WaveTables::get().table(hz_);
        const double y = read(saw_, phase_);
        advance();
        return y;
    }
    // Pulse of width pw (0.5 = square): the difference of two saws.
    double pulse(double pw)
    {
        if (!saw_) saw_ = WaveTables::get().table(hz_);
        double p2 = phase_ + pw;
        if (p2 >= 1.0) p2 -= 1.0;
        const double y = read(saw_, phase_) - read(saw_, p2) + 2.0 * pw - 1.0;
        advance();
        return y;
    }

private:
    static double read(const float* t, double phase)
    {
        const double x = phase * WaveTables::kTableSize;
        const int i = static_cast<int>(x);
        const double f = x - i;
        return t[i] + (t[i + 1] - t[i]) * f;
    }
    void advance()
    {
        phase_ += dt_;
        if (phase_ >= 1.0) phase_ -= std::floor(phase_);
    }
    double phase_ = 0.0;
    double dt_ = 0.0;
    double hz_ = 0.0;
    const float* saw_ = nullptr;
};

// State-variable filter in trapezoidal form: stable under fast modulation.
class Svf {
public:
    // q: 0.5 (soft) ... 20 (ringing).
    void set(double hz, double q)
    {
        if (hz < 10.0) hz = 10.0;
        if (hz > 0.45 * kRate) hz = 0.45 * kRate;
        g_ = std::tan(kPi * hz / kRate);
        k_ = 1.0 / q;
        a1_ = 1.0 / (1.0 + g_ * (g_ + k_));
        a2_ = g_ * a1_;
        a3_ = g_ * a2_;
    }
    void process(double x)
    {
        const double v3 = x - ic2_;
        const double v1 = a1_ * ic1_ + a2_ * v3;
        const double v2 = ic2_ + a2_ * ic1_ + a3_ * v3;
        ic1_ = 2.0 * v1 - ic1_;
        ic2_ = 2.0 * v2 - ic2_;
        lp_ = v2;
        bp_ = v1;
        hp_ = x - k_ * v1 - v2;
    }
    double lowpass(double x)
    {
        process(x);
        return lp_;
    }
    double bandpass(double x)
    {
        process(x);
        return bp_;
    }
    // Band pass with unit gain at its centre.
    double bandpassNorm(double x)
    {
        process(x);
        return k_ * bp_;
    }
    double highpass(double x)
    {
        process(x);
        return hp_;
    }

private:
    double g_ = 0.0, k_ = 1.0, a1_ = 0.0, a2_ = 0.0, a3_ = 0.0;
    double ic1_ = 0.0, ic2_ = 0.0, lp_ = 0.0, bp_ = 0.0, hp_ = 0.0;
};

// One-pole low and high pass.
class OnePole {
public:
    void set(double hz) { a_ = 1.0 - std::exp(-kTwoPi * hz / kRate); }
    double lowpass(double x) { return z_ += a_ * (x - z_); }
    double highpass(double x) { return x - lowpass(x); }

private:
    double a_ = 1.0, z_ = 0.0;
};

// Multiplier that makes a level fall by 60 dB in `seconds`.
inline double decayCoeff(double seconds)
{
    if (seconds <= 0.0) return 0.0;
    return std::exp(-6.907755278982137 / (seconds * kRate));
}

// Attack, decay to sustain, release: a smooth (raised cosine) rise, then
// exponential falls.
class Adsr {
public:
    Adsr(double attack, double decay, double sustain, double release)
        : attackStep_(attack > 0.0 ? 1.0 / (attack * kRate) : 1.0),
          decay_(decayCoeff(decay)),
          sustain_(sustain),
          release_(decayCoeff(release))
    {
    }
    void noteOff() { released_ = true; }
    bool released() const { return released_; }
    double level() const { return level_; }
    double next()
    {
        if (released_) {
            level_ *= release_;
        } else if (rise_ < 1.0) {
            rise_ += attackStep_;
            if (rise_ > 1.0) rise_ = 1.0;
            level_ = 0.5 - 0.5 * std::cos(kPi * rise_);
        } else {
            level_ = sustain_ + (level_ - sustain_) * decay_;
        }
        return level_;
    }

private:
    double attackStep_, decay_, sustain_, release_;
    double level_ = 0.0;
    double rise_ = 0.0;
    bool released_ = false;
};

inline double clampd(double x, double lo, double hi)
{
    return x < lo ? lo : (x > hi ? hi : x);
}

}  // namespace demolib
