#include "tools/demolib/Instruments.h"

#include <array>
#include <cmath>
#include <vector>

#include "tools/demolib/Dsp.h"

namespace demolib {

namespace {

constexpr int kControlEvery = 16;  // samples between updates of pitch and filter

int gateFrames(const Note& n)
{
    return static_cast<int>(n.gate * kRate);
}

double glidePitch(const Note& n, double t)
{
    if (n.glideFrom < 0.0) return n.midi;
    return n.midi + (n.glideFrom - n.midi) * std::exp(-t / (n.glideTime / 3.0));
}

double vibratoCents(double depth, double hz, double delay, double t)
{
    if (depth <= 0.0 || t < delay) return 0.0;
    const double fadeIn = clampd((t - delay) / 0.25, 0.0, 1.0);
    return depth * fadeIn * std::sin(kTwoPi * hz * (t - delay));
}

void put(Stereo& out, int i, double l, double r)
{
    out.l[static_cast<size_t>(i)] = static_cast<float>(l);
    out.r[static_cast<size_t>(i)] = static_cast<float>(r);
}

}  // namespace

Stereo synthVoice(const Note& note, const SynthPatch& p, uint64_t seed)
{
    Rng rng(seed);
    const int gate = gateFrames(note);
    const int total = gate + static_cast<int>(p.release * 1.4 * kRate) + kControlEvery;
    Stereo out(total);
    Adsr amp(p.attack, p.decay, p.sustain, p.release);
    Adsr fenv(p.fAttack, p.fDecay, p.fSustain, p.release);

    const int voices = p.unison < 1 ? 1 : p.unison;
    std::vector<Osc> saws(static_cast<size_t>(voices)), pulses(static_cast<size_t>(voices));
    std::vector<double> ratio(static_cast<size_t>(voices)), gl(static_cast<size_t>(voices)),
        gr(static_cast<size_t>(voices));
    const double norm = 1.0 / std::sqrt(static_cast<double>(voices));
    for (int u = 0; u < voices; ++u) {
        const double x = voices == 1 ? 0.0 : static_cast<double>(u) / (voices - 1) - 0.5;
        ratio[static_cast<size_t>(u)] = std::pow(2.0, x * p.detune / 1200.0);
        const PanGains g = panGains(2.0 * x * p.spread);
        gl[static_cast<size_t>(u)] = g.l * norm;
        gr[static_cast<size_t>(u)] = g.r * norm;
        saws[static_cast<size_t>(u)].setPhase(voices == 1 ? 0.0 : rng.uniform());
        pulses[static_cast<size_t>(u)].setPhase(voices == 1 ? 0.0 : rng.uniform());
    }
    Osc sine, sub;
    Svf aL, bL, aR, bR;
    const double envScale = (1.0 - p.velToFilter) + p.velToFilter * note.vel;
    const double driveNorm = p.drive > 0.0 ? 1.0 / std::tanh(p.drive) : 1.0;
    int end = total;
    for (int i = 0; i < total; ++i) {
        const double t = i / kRate;
        if (i == gate) {
            amp.noteOff();
            fenv.noteOff();
        }
        const double fe = fenv.next();
        if (i % kControlEvery == 0) {
            const double pitch =
                glidePitch(note, t) + vibratoCents(p.vibrato, p.vibratoHz, p.vibratoDelay, t) / 100.0;
            const double hz = midiHz(pitch);
            for (int u = 0; u < voices; ++u) {
                saws[static_cast<size_t>(u)].setHz(hz * ratio[static_cast<size_t>(u)]);
                pulses[static_cast<size_t>(u)].setHz(hz * ratio[static_cast<size_t>(u)]);
            }
            sine.setHz(hz);
            sub.setHz(hz * 0.5);
            const double fc =
                p.cutoff * std::pow(hz / 261.63, p.keyTrack) * std::pow(2.0, p.envAmount * envScale * fe);
            if (p.fourPole) {
                aL.set(fc, 0.54);
                aR.set(fc, 0.54);
            }
            bL.set(fc, p.q);
            bR.set(fc, p.q);
        }
        double l = 0.0, r = 0.0;
        for (int u = 0; u < voices; ++u) {
            double v = 0.0;
            if (p.saw != 0.0) v += p.saw * saws[static_cast<size_t>(u)].saw();
            if (p.pulse != 0.0) v += p.pulse * pulses[static_cast<size_t>(u)].pulse(p.pulseWidth);
            l += v * gl[static_cast<size_t>(u)];
            r += v * gr[static_cast<size_t>(u)];
        }
        double common = 0.0;
        if (p.sine != 0.0) common += p.sine * sine.sine();
        if (p.noise != 0.0) common += p.noise * rng.bipolar();
        l += common;
        r += common;
        if (p.fourPole) {
            l = aL.lowpass(l);
            r = aR.lowpass(r);
        }
        l = bL.lowpass(l);
        r = bR.lowpass(r);
        if (p.sub != 0.0) {
            const double s = p.sub * sub.sine();
            l += s;
            r += s;
        }
        if (p.drive > 0.0) {
            l = std::tanh(p.drive * l) * driveNorm;
            r = std::tanh(p.drive * r) * driveNorm;
        }
        const double a = amp.next() * note.vel * p.level;
        put(out, i, l * a, r * a);
        if (amp.released() && amp.level() < 1e-4) {
            end = i + 1;
            break;
        }
    }
    out.l.resize(static_cast<size_t>(end));
    out.r.resize(static_cast<size_t>(end));
    return out;
}

Stereo epiano(const Note& note, const EPianoPatch& p)
{
    const double hz = midiHz(note.midi);
    const double decay = clampd(p.decay * std::pow(261.63 / hz, 0.5), 0.4, 6.0);
    const int gate = gateFrames(note);
    const int total = gate + static_cast<int>(p.release * 1.4 * kRate) + 1;
    Stereo out(total);
    const double rel = decayCoeff(p.release);
    const double index = p.index * std::pow(note.vel, 1.5);
    const bool tine = hz * 14.0 < 15000.0;
    double releaseLevel = 1.0;
    double pc = 0.0, pm = 0.0, pt = 0.0;
    for (int i = 0; i < total; ++i) {
        const double t = i / kRate;
        if (i >= gate) releaseLevel *= rel;
        const double env = clampd(t / 0.002, 0.0, 1.0) * std::exp(-6.9 * t / decay) * releaseLevel;
        const double idx = index * std::exp(-t / 0.35) + 0.12;
        double y = std::sin(kTwoPi * pc + idx * std::sin(kTwoPi * pm));
        if (tine) y += p.tine * note.vel * std::sin(kTwoPi * pt) * std::exp(-t / 0.025);
        pc += hz / kRate;
        pm += hz / kRate;
        pt += hz * 13.98 / kRate;
        const double v = y * env * note.vel * 0.7;
        put(out, i, v, v);
    }
    return out;
}

Stereo mallet(const Note& note, MalletKind kind, uint64_t seed)
{
    struct Partial {
        double ratio, level, decay;
    };
    std::array<Partial, 4> parts{};
    switch (kind) {
        case MalletKind::marimba:
            parts = {{{1.0, 1.0, 1.1}, {3.93, 0.35, 0.3}, {9.54, 0.12, 0.09}, {0, 0, 0}}};
            break;
        case MalletKind::kalimba:
            parts = {{{1.0, 1.0, 1.5}, {5.95, 0.3, 0.25}, {12.3, 0.1, 0.08}, {0, 0, 0}}};
            break;
        case MalletKind::bell:
            parts = {{{1.0, 1.0, 2.6}, {4.0, 0.35, 0.9}, {9.9, 0.12, 0.3}, {2.0, 0.2, 1.2}}};
            break;
        case MalletKind::glass:
            parts = {{{1.0, 1.0, 1.8}, {2.32, 0.5, 0.9}, {4.25, 0.25, 0.5}, {6.63, 0.15, 0.3}}};
            break;
    }
    Rng rng(seed);
    const double hz = midiHz(note.midi);
    const double scaleDecay = clampd(std::pow(261.63 / hz, 0.4), 0.4, 2.5);
    double longest = 0.0;
    for (const Partial& p : parts) longest = std::fmax(longest, p.decay * scaleDecay);
    const int gate = gateFrames(note);
    const int total = static_cast<int>(std::fmin(longest, note.gate + 0.25) * kRate) + 1;
    Stereo out(total);
    const double damp = decayCoeff(0.2);
    double damping = 1.0;
    OnePole noiseLp;
    noiseLp.set(2500);
    std::array<double, 4> phase{};
    for (int i = 0; i < total; ++i) {
        const double t = i / kRate;
        if (i >= gate) damping *= damp;
        double y = 0.0;
        for (size_t k = 0; k < parts.size(); ++k) {
            const double f = hz * parts[k].ratio;
            if (parts[k].level == 0.0 || f > 17000.0) continue;
            y += parts[k].level * std::sin(kTwoPi * phase[k]) *
                 std::exp(-6.9 * t / (parts[k].decay * scaleDecay));
            phase[k] += f / kRate;
        }
        y += 0.12 * noiseLp.lowpass(rng.bipolar()) * std::exp(-t / 0.004);
        const double v = y * clampd(t / 0.001, 0.0, 1.0) * damping * note.vel * 0.6;
        put(out, i, v, v);
    }
    return out;
}

Stereo fmBass(const Note& note, double ratio, double index, double decay)
{
    const int gate = gateFrames(note);
    const int total = gate + static_cast<int>(0.07 * kRate);
    Stereo out(total);
    Adsr amp(0.003, 0.6, 0.75, 0.05);
    double pc = 0.0, pm = 0.0, ps = 0.0;
    for (int i = 0; i < total; ++i) {
        const double t = i / kRate;
        if (i == gate) amp.noteOff();
        const double hz = midiHz(glidePitch(note, t));
        const double idx = index * note.vel * std::exp(-t / decay) + 0.3;
        const double y =
            std::sin(kTwoPi * pc + idx * std::sin(kTwoPi * pm)) * 0.7 + 0.5 * std::sin(kTwoPi * ps);
        pc += hz / kRate;
        pm += hz * ratio / kRate;
        ps += hz * 0.5 / kRate;
        const double v = std::tanh(1.3 * y) * amp.next() * note.vel;
        put(out, i, v, v);
    }
    return out;
}

Stereo flute(const Note& note, uint64_t seed)
{
    Rng rng(seed);
    const int gate = gateFrames(note);
    const int total = gate + static_cast<int>(0.16 * kRate);
    Stereo out(total);
    Adsr amp(0.06, 0.3, 0.85, 0.1);
    Svf breath;
    OnePole hiss;
    hiss.set(7000);
    double p1 = 0.0;
    double hz = midiHz(note.midi);
    breath.set(hz * 2.0, 4.0);
    for (int i = 0; i < total; ++i) {
        const double t = i / kRate;
        if (i == gate) amp.noteOff();
        if (i % kControlEvery == 0)
            hz = midiHz(glidePitch(note, t) + vibratoCents(14.0, 5.2, 0.22, t) / 100.0);
        const double ph = kTwoPi * p1;
        double y = std::sin(ph) + 0.14 * std::sin(2.0 * ph) + 0.05 * std::sin(3.0 * ph);
        p1 += hz / kRate;
        const double n = rng.bipolar();
        const double air = hiss.highpass(n);
        // A puff of air leads the tone.
        y += 0.25 * breath.bandpassNorm(n) + air * (0.04 + 0.3 * std::exp(-t / 0.03));
        const double v = y * amp.next() * note.vel * 0.6;
        put(out, i, v, v);
    }
    return out;
}

namespace {

struct Formant {
    double hz, db, bw;
};
using Vowel = std::array<Formant, 5>;

Vowel vowel(char v)
{
    switch (v) {
        case 'e':
            return {{{400, 0, 60}, {1600, -24, 80}, {2700, -30, 120}, {3300, -35, 150}, {4950, -60, 200}}};
        case 'i':
            return {{{350, 0, 50}, {1700, -20, 100}, {2700, -30, 120}, {3700, -36, 150}, {4950, -60, 200}}};
        case 'o':
            return {{{450, 0, 70}, {800, -9, 80}, {2830, -16, 100}, {3500, -28, 130}, {4950, -55, 135}}};
        case 'u':
            return {{{325, 0, 50}, {700, -12, 60}, {2530, -30, 170}, {3500, -40, 180}, {4950, -64, 200}}};
        default:
            return {{{800, 0, 80}, {1150, -4, 90}, {2800, -20, 120}, {3500, -36, 130}, {4950, -60, 140}}};
    }
}

}  // namespace

Stereo voice(const Note& note, const VoicePatch& p, uint64_t seed)
{
    Rng rng(seed);
    const int gate = gateFrames(note);
    const int total = gate + static_cast<int>(p.release * 1.4 * kRate) + kControlEvery;
    Stereo out(total);
    Adsr amp(p.attack, 0.5, 1.0, p.release);
    const Vowel a = vowel(p.from), b = vowel(p.to);
    std::array<Svf, 5> filters;
    std::array<double, 5> gains{};
    Osc glottis;
    OnePole drift;
    drift.set(3.0);
    const double length = note.gate > 0.01 ? note.gate : 0.01;
    const double vibHz = 5.0 + rng.uniform() * 0.8;
    int end = total;
    for (int i = 0; i < total; ++i) {
        const double t = i / kRate;
        if (i == gate) amp.noteOff();
        const double wander = drift.lowpass(rng.bipolar());
        if (i % kControlEvery == 0) {
            const double cents = vibratoCents(p.vibrato, vibHz, 0.15, t) + 60.0 * wander;
            glottis.setHz(midiHz(glidePitch(note, t) + cents / 100.0));
            const double x = clampd(t / length, 0.0, 1.0);
            const double m = x * x * (3.0 - 2.0 * x);
            for (size_t k = 0; k < 5; ++k) {
                const double hz = a[k].hz + (b[k].hz - a[k].hz) * m;
                const double bw = a[k].bw + (b[k].bw - a[k].bw) * m;
                const double db = a[k].db + (b[k].db - a[k].db) * m;
                filters[k].set(hz, hz / bw);
                gains[k] = dbGain(db) * (k >= 2 ? p.bright : 1.0);
            }
        }
        const double src = glottis.saw() + p.breath * rng.bipolar();
        double y = 0.0;
        for (size_t k = 0; k < 5; ++k) y += gains[k] * filters[k].bandpassNorm(src);
        const double v = y * amp.next() * note.vel;
        put(out, i, v, v);
        if (amp.released() && amp.level() < 1e-4) {
            end = i + 1;
            break;
        }
    }
    out.l.resize(static_cast<size_t>(end));
    out.r.resize(static_cast<size_t>(end));
    return out;
}

}  // namespace demolib
