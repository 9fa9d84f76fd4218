// The synth sounds of ":Library:Synth:": 36 recorded notes each, c2 to b4,
// tuned to equal temperament (a4 = 440 Hz), each dying away by itself.
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

}  // namespace demolib
