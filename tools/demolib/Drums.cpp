#include "tools/demolib/Drums.h"

#include <array>
#include <cmath>

#include "tools/demolib/Dsp.h"

namespace demolib {

namespace {

int framesFor(double seconds)
{
    return static_cast<int>(seconds * kRate) + 1;
}

// Linear rise over `attack` seconds, then the given decay.
double rise(double t, double attack)
{
    return attack <= 0.0 || t >= attack ? 1.0 : t / attack;
}

double expDecay(double t, double decay)
{
    return std::exp(-6.907755278982137 * t / decay);
}

// Six square partials at the inharmonic ratios of an analog hi-hat.
class Metal {
public:
    explicit Metal(double tune)
    {
        static const std::array<double, 6> kHz = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
        for (size_t i = 0; i < 6; ++i) {
            osc_[i].setHz(kHz[i] * 1.7 * tune);
            osc_[i].setPhase(0.13 * static_cast<double>(i));
        }
    }
    double next()
    {
        double s = 0.0;
        for (Osc& o : osc_) s += o.pulse(0.5);
        return s / 6.0;
    }

private:
    std::array<Osc, 6> osc_;
};

}  // namespace

Stereo kick(const KickParams& p, uint64_t seed)
{
    Rng rng(seed);
    const int n = framesFor(p.decay + 0.03);
    Stereo out(n);
    double phase = 0.0;
    Svf clickHp, clickLp;
    clickHp.set(1800, 0.7);
    clickLp.set(9000, 0.7);
    const double norm = 1.0 / std::tanh(p.drive);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double hz = p.endHz + (p.startHz - p.endHz) * std::exp(-t / p.pitchTime);
        const double body = std::sin(kTwoPi * phase);
        phase += hz / kRate;
        // A short hold before the fall keeps the punch of the first cycles.
        const double x = t / p.decay;
        const double env = rise(t, 0.0006) * std::exp(-6.9 * x * std::sqrt(x + 0.02));
        const double click =
            clickLp.lowpass(clickHp.highpass(rng.bipolar())) * expDecay(t, 0.006) * rise(t, 0.0003);
        const double y = std::tanh(p.drive * (body * env + p.click * click)) * norm;
        out.l[static_cast<size_t>(i)] = static_cast<float>(y);
        out.r[static_cast<size_t>(i)] = static_cast<float>(y);
    }
    return out;
}

Stereo snare(const SnareParams& p, uint64_t seed)
{
    Rng rng(seed);
    const double len = std::fmax(p.bodyDecay, p.noiseDecay) + 0.02;
    const int n = framesFor(len);
    Stereo out(n);
    double p1 = 0.0, p2 = 0.0;
    Svf hpL, hpR, snapL, snapR;
    hpL.set(p.noiseHz, 0.7);
    hpR.set(p.noiseHz * 1.03, 0.7);
    snapL.set(5200, 1.2);
    snapR.set(5600, 1.2);
    const double norm = 1.0 / std::tanh(p.drive);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double bend = 1.0 + 0.45 * std::exp(-t / 0.012);
        const double body = (std::sin(kTwoPi * p1) + 0.55 * std::sin(kTwoPi * p2)) * expDecay(t, p.bodyDecay);
        p1 += p.bodyHz * bend / kRate;
        p2 += p.bodyHz * 1.72 * bend / kRate;
        const double common = rng.bipolar();
        const double nl = common * (1.0 - p.width) + rng.bipolar() * p.width;
        const double nr = common * (1.0 - p.width) + rng.bipolar() * p.width;
        const double nEnv = expDecay(t, p.noiseDecay);
        const double sEnv = expDecay(t, 0.035) * p.snap;
        const double a = rise(t, 0.0005);
        const double l =
            a * (p.body * body + p.noise * (hpL.highpass(nl) * nEnv + snapL.bandpass(nl) * sEnv));
        const double r =
            a * (p.body * body + p.noise * (hpR.highpass(nr) * nEnv + snapR.bandpass(nr) * sEnv));
        out.l[static_cast<size_t>(i)] = static_cast<float>(std::tanh(p.drive * l) * norm);
        out.r[static_cast<size_t>(i)] = static_cast<float>(std::tanh(p.drive * r) * norm);
    }
    return out;
}

Stereo clap(const ClapParams& p, uint64_t seed)
{
    Rng rng(seed);
    const double lastHand = p.spread * (p.hands - 1);
    const int n = framesFor(lastHand + p.tail);
    Stereo out(n);
    Svf bpL, bpR, hpL, hpR;
    bpL.set(p.hz, 1.6);
    bpR.set(p.hz * 1.06, 1.6);
    hpL.set(500, 0.7);
    hpR.set(500, 0.7);
    std::array<double, 8> level{};
    for (double& v : level) v = rng.range(0.7, 1.0);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        double env = 0.0;
        for (int h = 0; h < p.hands; ++h) {
            const double th = t - h * p.spread;
            if (th < 0.0) continue;
            const double d = h == p.hands - 1 ? p.tail : p.spread * 0.8;
            env += level[static_cast<size_t>(h % 8)] * rise(th, 0.0004) * expDecay(th, d);
        }
        const double common = rng.bipolar();
        const double nl = common * (1.0 - p.width) + rng.bipolar() * p.width;
        const double nr = common * (1.0 - p.width) + rng.bipolar() * p.width;
        out.l[static_cast<size_t>(i)] = static_cast<float>(hpL.highpass(bpL.bandpass(nl)) * env * 1.6);
        out.r[static_cast<size_t>(i)] = static_cast<float>(hpR.highpass(bpR.bandpass(nr)) * env * 1.6);
    }
    return out;
}

Stereo hat(const HatParams& p, uint64_t seed)
{
    Rng rng(seed);
    const int n = framesFor(p.decay + 0.01);
    Stereo out(n);
    Metal metal(p.tune);
    Svf bp, hpL, hpR;
    bp.set(p.tone, 0.9);
    hpL.set(p.tone * 0.72, 0.7);
    hpR.set(p.tone * 0.75, 0.7);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double m = bp.bandpass(metal.next());
        const double env = rise(t, p.attack) * expDecay(t, p.decay);
        const double l = hpL.highpass(m * (1.0 - p.noise) * 2.5 + rng.bipolar() * p.noise) * env;
        const double r = hpR.highpass(m * (1.0 - p.noise) * 2.5 + rng.bipolar() * p.noise) * env;
        out.l[static_cast<size_t>(i)] = static_cast<float>(l);
        out.r[static_cast<size_t>(i)] = static_cast<float>(r);
    }
    return out;
}

Stereo cymbal(double decay, double tone, double bell, uint64_t seed)
{
    Rng rng(seed);
    const int n = framesFor(decay + 0.01);
    Stereo out(n);
    Metal a(1.0), b(1.37);
    Svf hpL, hpR, bellBp;
    hpL.set(tone, 0.6);
    hpR.set(tone * 1.05, 0.6);
    bellBp.set(1100, 3.0);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double m = a.next() + b.next();
        const double env = rise(t, 0.001) * expDecay(t, decay);
        const double bellPart = bellBp.bandpass(m) * expDecay(t, decay * 0.5) * bell * 3.0;
        const double l = hpL.highpass(m * 1.4 + rng.bipolar() * 0.5) * env + bellPart;
        const double r = hpR.highpass(m * 1.4 + rng.bipolar() * 0.5) * env + bellPart;
        out.l[static_cast<size_t>(i)] = static_cast<float>(l * 0.6);
        out.r[static_cast<size_t>(i)] = static_cast<float>(r * 0.6);
    }
    return out;
}

Stereo shaker(double hz, double attack, double decay, uint64_t seed)
{
    Rng rng(seed);
    const int n = framesFor(attack + decay + 0.01);
    Stereo out(n);
    Svf bpL, bpR;
    bpL.set(hz, 1.3);
    bpR.set(hz * 1.08, 1.3);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double env = t < attack ? t / attack : expDecay(t - attack, decay);
        out.l[static_cast<size_t>(i)] = static_cast<float>(bpL.bandpass(rng.bipolar()) * env * 2.0);
        out.r[static_cast<size_t>(i)] = static_cast<float>(bpR.bandpass(rng.bipolar()) * env * 2.0);
    }
    return out;
}

Stereo drumHead(double hz, double bend, double decay, double slap, uint64_t seed)
{
    Rng rng(seed);
    const int n = framesFor(decay + 0.01);
    Stereo out(n);
    double p1 = 0.0, p2 = 0.0;
    Svf slapBp;
    slapBp.set(2400, 1.5);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double f = hz * (1.0 + (bend - 1.0) * std::exp(-t / 0.015));
        const double tone = std::sin(kTwoPi * p1) * expDecay(t, decay) +
                            0.3 * std::sin(kTwoPi * p2) * expDecay(t, decay * 0.35);
        p1 += f / kRate;
        p2 += f * 1.59 / kRate;
        const double s = slapBp.bandpass(rng.bipolar()) * expDecay(t, 0.018) * slap * 2.5;
        const double y = rise(t, 0.0005) * (tone + s);
        out.l[static_cast<size_t>(i)] = static_cast<float>(y);
        out.r[static_cast<size_t>(i)] = static_cast<float>(y);
    }
    return out;
}

Stereo rim(double hz, uint64_t seed)
{
    Rng rng(seed);
    const int n = framesFor(0.08);
    Stereo out(n);
    Svf bp;
    bp.set(3200, 2.0);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double y = rise(t, 0.0003) * (std::sin(kTwoPi * hz * t) * expDecay(t, 0.035) +
                                            0.5 * std::sin(kTwoPi * hz * 0.29 * t) * expDecay(t, 0.05) +
                                            bp.bandpass(rng.bipolar()) * expDecay(t, 0.012) * 1.5);
        out.l[static_cast<size_t>(i)] = static_cast<float>(y);
        out.r[static_cast<size_t>(i)] = static_cast<float>(y);
    }
    return out;
}

Stereo cowbell(double hz, double decay)
{
    const int n = framesFor(decay + 0.01);
    Stereo out(n);
    Osc a, b;
    a.setHz(hz);
    b.setHz(hz * 1.48);
    Svf bp;
    bp.set(hz * 1.7, 1.4);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double env = rise(t, 0.0005) * (0.65 * expDecay(t, 0.04) + 0.35 * expDecay(t, decay));
        const double y = bp.bandpass(a.pulse(0.5) + b.pulse(0.5)) * env;
        out.l[static_cast<size_t>(i)] = static_cast<float>(y);
        out.r[static_cast<size_t>(i)] = static_cast<float>(y);
    }
    return out;
}

Stereo woodblock(double hz, double decay)
{
    const int n = framesFor(decay + 0.01);
    Stereo out(n);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double y =
            rise(t, 0.0003) * (std::sin(kTwoPi * hz * t) * expDecay(t, decay) +
                               0.3 * std::sin(kTwoPi * hz * 2.71 * t) * expDecay(t, decay * 0.4));
        out.l[static_cast<size_t>(i)] = static_cast<float>(y);
        out.r[static_cast<size_t>(i)] = static_cast<float>(y);
    }
    return out;
}

Stereo tambourine(double decay, uint64_t seed)
{
    Rng rng(seed);
    const int n = framesFor(decay + 0.05);
    Stereo out(n);
    Metal jingles(4.1);
    Svf hpL, hpR;
    hpL.set(6500, 0.8);
    hpR.set(7000, 0.8);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        double env = 0.0;
        for (int k = 0; k < 3; ++k) {
            const double tk = t - 0.011 * k;
            if (tk >= 0.0) env += rise(tk, 0.0008) * expDecay(tk, k == 2 ? decay : 0.02) * (1.0 - 0.2 * k);
        }
        const double m = jingles.next();
        out.l[static_cast<size_t>(i)] = static_cast<float>(hpL.highpass(m + rng.bipolar() * 0.6) * env);
        out.r[static_cast<size_t>(i)] = static_cast<float>(hpR.highpass(m + rng.bipolar() * 0.6) * env);
    }
    return out;
}

Stereo snap(uint64_t seed)
{
    Rng rng(seed);
    const int n = framesFor(0.09);
    Stereo out(n);
    Svf bp;
    bp.set(2300, 2.5);
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double y = bp.bandpass(rng.bipolar()) * rise(t, 0.0004) * expDecay(t, 0.04) * 2.5;
        out.l[static_cast<size_t>(i)] = static_cast<float>(y);
        out.r[static_cast<size_t>(i)] = static_cast<float>(y);
    }
    return out;
}

}  // namespace demolib
