#include "tools/demolib/FxSounds.h"

#include <cmath>

#include "tools/demolib/Drums.h"
#include "tools/demolib/Dsp.h"

namespace demolib {

namespace {

void put(Stereo& out, int i, double l, double r)
{
    out.l[static_cast<size_t>(i)] = static_cast<float>(l);
    out.r[static_cast<size_t>(i)] = static_cast<float>(r);
}

// Ends a sound that stops at full level with a short fall instead of a cut.
void fadeTail(Stereo& s, double seconds)
{
    const int n = s.frames();
    const int fade = static_cast<int>(seconds * kRate);
    for (int i = 0; i < fade && i < n; ++i) {
        const float g = static_cast<float>(i) / static_cast<float>(fade);
        s.l[static_cast<size_t>(n - 1 - i)] *= g;
        s.r[static_cast<size_t>(n - 1 - i)] *= g;
    }
}

}  // namespace

Stereo riser(int frames, double fromHz, double toHz, uint64_t seed)
{
    Rng rng(seed);
    Stereo out(frames);
    Svf bl, br;
    Osc tone;
    for (int i = 0; i < frames; ++i) {
        const double x = static_cast<double>(i) / frames;
        if ((i & 15) == 0) {
            const double hz = fromHz * std::pow(toHz / fromHz, x);
            bl.set(hz, 2.5);
            br.set(hz * 1.04, 2.5);
            tone.setHz(hz * 0.25);
        }
        const double env = x * x;
        const double t = tone.sine() * 0.15;
        const double nl = rng.bipolar();
        const double nr = rng.bipolar();
        put(out, i, (bl.bandpassNorm(nl) + t) * env, (br.bandpassNorm(nr) + t) * env);
    }
    fadeTail(out, 0.012);
    return out;
}

Stereo downlifter(double seconds, uint64_t seed)
{
    Rng rng(seed);
    const int n = static_cast<int>(seconds * kRate);
    Stereo out(n);
    Svf bl, br;
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = static_cast<double>(i) / n;
        if ((i & 15) == 0) {
            const double hz = 6000.0 * std::pow(200.0 / 6000.0, x);
            bl.set(hz, 1.8);
            br.set(hz * 1.05, 1.8);
        }
        const double env = std::fmin(1.0, x * 200.0) * std::pow(1.0 - x, 2.0);
        const double tone = std::sin(kTwoPi * phase) * 0.3;
        phase += (900.0 * std::pow(60.0 / 900.0, x)) / kRate;
        const double nl = rng.bipolar();
        const double nr = rng.bipolar();
        put(out, i, (bl.bandpassNorm(nl) + tone) * env, (br.bandpassNorm(nr) + tone) * env);
    }
    return out;
}

Stereo impact(double seconds, uint64_t seed)
{
    Rng rng(seed);
    const int n = static_cast<int>(seconds * kRate);
    Stereo out(n);
    Svf nl, nr;
    nl.set(1200, 0.7);
    nr.set(1300, 0.7);
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double hz = 38.0 + 60.0 * std::exp(-t / 0.05);
        const double boom = std::sin(kTwoPi * phase) * std::exp(-6.9 * t / seconds);
        phase += hz / kRate;
        const double burst = std::exp(-t / 0.09);
        const double a = std::fmin(1.0, t / 0.001);
        const double noiseL = rng.bipolar();
        const double noiseR = rng.bipolar();
        put(out, i, a * (boom + 0.5 * nl.lowpass(noiseL) * burst),
            a * (boom + 0.5 * nr.lowpass(noiseR) * burst));
    }
    Stereo crash = cymbal(seconds * 0.8, 5000, 0.2, seed + 1);
    for (int i = 0; i < crash.frames() && i < n; ++i) {
        out.l[static_cast<size_t>(i)] += 0.5f * crash.l[static_cast<size_t>(i)];
        out.r[static_cast<size_t>(i)] += 0.5f * crash.r[static_cast<size_t>(i)];
    }
    return out;
}

Stereo whoosh(double seconds, double fromHz, double toHz, uint64_t seed)
{
    Rng rng(seed);
    const int n = static_cast<int>(seconds * kRate);
    Stereo out(n);
    Svf bl, br;
    for (int i = 0; i < n; ++i) {
        const double x = static_cast<double>(i) / n;
        if ((i & 15) == 0) {
            const double hz = fromHz * std::pow(toHz / fromHz, x);
            bl.set(hz, 1.5);
            br.set(hz * 1.06, 1.5);
        }
        const double env = std::sin(kPi * x) * std::sin(kPi * x);
        // The gust moves across the stereo field.
        const double pan = 0.5 + 0.4 * (x - 0.5);
        const double nl = rng.bipolar();
        const double nr = rng.bipolar();
        put(out, i, bl.bandpassNorm(nl) * env * (1.0 - pan) * 2.0, br.bandpassNorm(nr) * env * pan * 2.0);
    }
    return out;
}

Stereo reverseCymbal(double seconds, uint64_t seed)
{
    Stereo c = cymbal(seconds, 4000, 0.1, seed);
    const int n = c.frames();
    Stereo out(n);
    for (int i = 0; i < n; ++i) {
        out.l[static_cast<size_t>(i)] = c.l[static_cast<size_t>(n - 1 - i)];
        out.r[static_cast<size_t>(i)] = c.r[static_cast<size_t>(n - 1 - i)];
    }
    fadeTail(out, 0.008);
    return out;
}

Stereo zap(double fromHz, double toHz, double seconds)
{
    const int n = static_cast<int>(seconds * kRate);
    Stereo out(n);
    double phase = 0.0;
    for (int i = 0; i < n; ++i) {
        const double t = i / kRate;
        const double x = t / seconds;
        const double hz = toHz + (fromHz - toHz) * std::exp(-x * 5.0);
        const double y = std::sin(kTwoPi * phase) * std::fmin(1.0, t / 0.001) * std::pow(1.0 - x, 1.5);
        phase += hz / kRate;
        put(out, i, y, y);
    }
    return out;
}

Stereo vinyl(int frames, double density, uint64_t seed)
{
    Stereo out(frames);
    OnePole hissL, hissR;
    hissL.set(5000);
    hissR.set(5000);
    Svf crackle;
    crackle.set(3000, 0.8);
    double pop = 0.0;
    // Two rounds so the filters' state at the loop's end leads into its start.
    for (int pass = 0; pass < 2; ++pass) {
        Rng rng(seed);
        for (int i = 0; i < frames; ++i) {
            if (rng.chance(density / kRate)) {
                const double size = rng.range(0.3, 1.0);
                pop = rng.chance(0.5) ? size : -size;
            }
            const double c = crackle.bandpass(pop);
            pop *= 0.3;
            const double hl = hissL.lowpass(rng.bipolar()) * 0.05;
            const double hr = hissR.lowpass(rng.bipolar()) * 0.05;
            if (pass == 1) put(out, i, c + hl, c * 0.8 + hr);
        }
    }
    return out;
}

Stereo wind(int frames, double lowHz, double highHz, int cycles, uint64_t seed)
{
    Stereo out(frames);
    Svf bl, br;
    // Two rounds so the filter state at the loop's end leads into its start.
    for (int pass = 0; pass < 2; ++pass) {
        Rng noise(seed);
        for (int i = 0; i < frames; ++i) {
            if ((i & 15) == 0) {
                const double x = static_cast<double>(i) / frames;
                const double m = 0.5 - 0.5 * std::cos(kTwoPi * cycles * x);
                const double m2 = 0.5 - 0.5 * std::cos(kTwoPi * cycles * x + 1.3);
                bl.set(lowHz * std::pow(highHz / lowHz, m), 3.0);
                br.set(lowHz * std::pow(highHz / lowHz, m2), 3.0);
            }
            const double l = bl.bandpassNorm(noise.bipolar());
            const double r = br.bandpassNorm(noise.bipolar());
            if (pass == 1) put(out, i, l, r);
        }
    }
    return out;
}

Stereo scratch(const Stereo& source, double seconds, int strokes, double reach)
{
    const int n = static_cast<int>(seconds * kRate);
    Stereo out(n);
    const int len = source.frames();
    if (len < 2) return out;
    for (int i = 0; i < n; ++i) {
        const double x = static_cast<double>(i) / n;
        // Position in the source (seconds) and the speed of the hand.
        const double pos = reach * 0.5 * (1.0 - std::cos(kTwoPi * strokes * x));
        const double speed = std::fabs(reach * kPi * strokes * std::sin(kTwoPi * strokes * x) / seconds);
        const double at = clampd(pos * kRate, 0.0, len - 2.0);
        const int k = static_cast<int>(at);
        const double f = at - k;
        const double gain = std::fmin(1.0, speed * 1.5);
        const double l =
            source.l[static_cast<size_t>(k)] * (1.0 - f) + source.l[static_cast<size_t>(k + 1)] * f;
        const double r =
            source.r[static_cast<size_t>(k)] * (1.0 - f) + source.r[static_cast<size_t>(k + 1)] * f;
        put(out, i, l * gain, r * gain);
    }
    return out;
}

}  // namespace demolib
