// The synth sounds of ":Library:Synth:": 36 recorded notes each, c2 to b4,
// tuned to equal temperament (a4 = 440 Hz), each dying away by itself, and
// a picture of each sound for the synth browser.
#include <algorithm>
#include <cmath>

#include "tools/demolib/Instruments.h"
#include "tools/demolib/Songs.h"

namespace demolib {

namespace {

constexpr int kLowestNote = 36;  // c2
constexpr double kNotePeak = 0.35;

// One channel of a note, normalised, ending in silence: the synthesizer plays
// a note to the end of its file, so the file must not stop on a sound.
std::vector<float> finishNote(const Stereo& s, double seconds)
{
    const size_t n = static_cast<size_t>(seconds * 44100.0);
    std::vector<float> out(n, 0.0f);
    for (size_t i = 0; i < n && i < s.l.size(); ++i) out[i] = 0.5f * (s.l[i] + s.r[i]);
    double peak = 0.0;
    for (float v : out) peak = std::fmax(peak, std::fabs(static_cast<double>(v)));
    const float g = peak > 0.0 ? static_cast<float>(kNotePeak / peak) : 1.0f;
    const size_t fade = 441;
    for (size_t i = 0; i < n; ++i) {
        out[i] *= g;
        if (i + fade >= n) out[i] *= static_cast<float>(n - 1 - i) / static_cast<float>(fade);
    }
    return out;
}

// 36 notes of one recipe: note k is midi 36 + k, `seconds` long.
template <typename Voice>
SynthSound thirtySix(const char* name, double seconds, Voice voice)
{
    SynthSound sound;
    sound.name = name;
    for (int k = 0; k < 36; ++k) {
        Note n;
        n.midi = kLowestNote + k;
        sound.notes.push_back(finishNote(voice(n, k), seconds));
    }
    return sound;
}

}  // namespace

SynthSound makePluck()
{
    SynthPatch p;
    p.saw = 0.7;
    p.pulse = 0.3;
    p.pulseWidth = 0.35;
    p.cutoff = 900;
    p.keyTrack = 0.7;
    p.q = 1.4;
    p.envAmount = 3.0;
    p.fDecay = 0.25;
    p.attack = 0.002;
    p.decay = 0.95;
    p.sustain = 0.0;
    p.release = 0.05;
    SynthPatch shimmer;
    shimmer.saw = 0.0;
    shimmer.sine = 1.0;
    shimmer.cutoff = 12000;
    shimmer.attack = 0.002;
    shimmer.decay = 0.35;
    shimmer.sustain = 0.0;
    shimmer.release = 0.05;
    SynthSound sound;
    sound.name = "GlassPluck";
    for (int k = 0; k < 36; ++k) {
        Note n;
        n.midi = kLowestNote + k;
        n.gate = 1.0;
        Stereo body = synthVoice(n, p, 300u + static_cast<uint64_t>(k));
        // A glassy shimmer two octaves up that fades first; kept harmonic so
        // the note stays in tune.
        Note up = n;
        up.midi += 24;
        up.vel = 0.2;
        mixInto(body, synthVoice(up, shimmer, 400u + static_cast<uint64_t>(k)));
        sound.notes.push_back(finishNote(body, 1.0));
    }
    return sound;
}

SynthSound makePad()
{
    SynthPatch p;
    p.saw = 0.8;
    p.pulse = 0.2;
    p.unison = 3;
    p.detune = 6;
    p.cutoff = 1200;
    p.keyTrack = 0.4;
    p.q = 0.8;
    p.envAmount = 0.8;
    p.fAttack = 0.25;
    p.fDecay = 1.2;
    p.attack = 0.08;
    p.decay = 1.5;
    p.sustain = 0.0;
    p.release = 0.2;
    SynthSound sound;
    sound.name = "WarmPad";
    for (int k = 0; k < 36; ++k) {
        Note n;
        n.midi = kLowestNote + k;
        n.gate = 1.6;
        sound.notes.push_back(finishNote(synthVoice(n, p, 500u + static_cast<uint64_t>(k)), 1.6));
    }
    return sound;
}

SynthSound makeEPiano()
{
    EPianoPatch p;
    p.index = 1.3;
    p.tine = 0.3;
    p.decay = 0.6;
    p.release = 0.15;
    return thirtySix("ElectricPiano", 1.0, [&](Note n, int) {
        n.gate = 0.8;
        n.vel = 0.85;
        return epiano(n, p);
    });
}

SynthSound makeBass()
{
    SynthPatch p;
    p.saw = 0.6;
    p.pulse = 0.5;
    p.pulseWidth = 0.42;
    p.cutoff = 420;
    p.keyTrack = 0.8;
    p.q = 1.6;
    p.envAmount = 2.2;
    p.fDecay = 0.16;
    p.attack = 0.003;
    p.decay = 0.55;
    p.sustain = 0.0;
    p.release = 0.06;
    p.drive = 0.3;
    return thirtySix("DeepBass", 1.0, [&](Note n, int k) {
        n.gate = 0.8;
        return synthVoice(n, p, 700u + static_cast<uint64_t>(k));
    });
}

SynthSound makeBell()
{
    return thirtySix("TubeBell", 1.2, [&](Note n, int k) {
        n.gate = 0.95;
        n.vel = 0.9;
        return mallet(n, MalletKind::bell, 900u + static_cast<uint64_t>(k));
    });
}

SynthSound makeLead()
{
    SynthPatch p;
    p.saw = 1.0;
    p.unison = 2;
    p.detune = 7;
    p.spread = 0.4;
    p.cutoff = 2600;
    p.keyTrack = 0.6;
    p.q = 1.1;
    p.envAmount = 1.0;
    p.fDecay = 0.4;
    p.fSustain = 0.3;
    p.attack = 0.01;
    p.decay = 0.4;
    p.sustain = 0.55;
    p.release = 0.12;
    return thirtySix("SawLead", 1.0, [&](Note n, int k) {
        n.gate = 0.75;
        return synthVoice(n, p, 1100u + static_cast<uint64_t>(k));
    });
}

// A scope picture of the sound: its middle c over a ground in the sound's
// hue, the envelope of the note as a glow below. 6 x 6 x 6 colour cube.
Picture paintSynthPicture(const SynthSound& sound, uint32_t hue)
{
    Picture pic;
    pic.width = 160;
    pic.height = 120;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                for (int c : {r, g, b}) pic.palette.push_back(static_cast<uint8_t>(c * 51));
    const double hr = (hue >> 16 & 255) / 255.0, hg = (hue >> 8 & 255) / 255.0, hb = (hue & 255) / 255.0;
    std::vector<double> rgb(static_cast<size_t>(160 * 120 * 3), 0.0);
    auto plot = [&](int x, int y, double r, double g, double b, double a) {
        if (x < 0 || y < 0 || x >= 160 || y >= 120) return;
        double* p = &rgb[static_cast<size_t>((y * 160 + x) * 3)];
        p[0] += (r - p[0]) * a;
        p[1] += (g - p[1]) * a;
        p[2] += (b - p[2]) * a;
    };
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 160; ++x) {
            const double t = 0.12 + 0.25 * (1.0 - y / 120.0);
            plot(x, y, hr * t, hg * t, hb * t, 1.0);
            if (x % 20 == 0 || y % 20 == 0) plot(x, y, 1, 1, 1, 0.06);
        }
    const std::vector<float>& note = sound.notes.size() > 12 ? sound.notes[12] : sound.notes.front();
    double peak = 1e-9;
    for (float v : note) peak = std::max(peak, std::fabs(static_cast<double>(v)));
    // The envelope across the picture.
    const size_t span = note.size() / 160 + 1;
    for (int x = 0; x < 160; ++x) {
        double e = 0.0;
        for (size_t i = static_cast<size_t>(x) * span;
             i < std::min(note.size(), static_cast<size_t>(x + 1) * span); ++i)
            e = std::max(e, std::fabs(static_cast<double>(note[i])) / peak);
        const int top = 118 - static_cast<int>(e * 40.0);
        for (int y = top; y < 119; ++y) plot(x, y, hr, hg, hb, 0.35);
    }
    // Three periods of the wave from the middle of the attack.
    const double period = 44100.0 / 130.81;
    const size_t from = static_cast<size_t>(0.08 * 44100.0);
    int lastY = -1;
    for (int x = 0; x < 160; ++x) {
        const size_t i = from + static_cast<size_t>(x * 3.0 * period / 160.0);
        const double v = i < note.size() ? note[i] / peak : 0.0;
        const int y = 48 - static_cast<int>(std::lround(v * 34.0));
        const int y0 = lastY < 0 ? y : lastY;
        for (int k = std::min(y0, y); k <= std::max(y0, y); ++k) {
            plot(x, k, 1.0, 1.0, 1.0, 0.9);
            plot(x, k + 1, hr, hg, hb, 0.6);
        }
        lastY = y;
    }
    pic.pixels.resize(static_cast<size_t>(160 * 120));
    for (size_t i = 0; i < pic.pixels.size(); ++i) {
        int idx = 0;
        for (int c = 0; c < 3; ++c)
            idx = idx * 6 + static_cast<int>(
                                std::lround(std::clamp(rgb[i * 3 + static_cast<size_t>(c)], 0.0, 1.0) * 5.0));
        pic.pixels[i] = static_cast<uint8_t>(idx);
    }
    return pic;
}

}  // namespace demolib
