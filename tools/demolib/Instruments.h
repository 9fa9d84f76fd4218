// Pitched voices. Each renders one note, from its attack to the end of its
// release, as a stereo sound that starts from silence.
#pragma once

#include <cstdint>

#include "tools/demolib/Sound.h"

namespace demolib {

struct Note {
    double midi = 60;         // pitch (fractional for detuning)
    double gate = 0.25;       // seconds held
    double vel = 1.0;         // 0..1
    double glideFrom = -1;    // pitch it slides in from; -1: none
    double glideTime = 0.06;  // seconds
};

// A subtractive synthesizer voice: band-limited oscillators (unison with
// detune and stereo spread), a resonant low pass with its own envelope, an
// amplitude envelope, vibrato and drive. Basses, pads, plucks, stabs and
// leads are all patches of it.
struct SynthPatch {
    double saw = 1.0;
    double pulse = 0.0;
    double pulseWidth = 0.5;
    double sine = 0.0;  // at the note's pitch
    double sub = 0.0;   // sine an octave below
    double noise = 0.0;
    int unison = 1;
    double detune = 0.0;  // cents between the outermost unison voices
    double spread = 0.0;  // stereo spread of the unison voices (0..1)

    double cutoff = 2000.0;  // Hz at the note c4; follows the pitch by keyTrack
    double keyTrack = 0.5;
    double q = 0.7;
    bool fourPole = false;
    double envAmount = 0.0;  // octaves the filter envelope opens the cutoff
    double fAttack = 0.002;
    double fDecay = 0.3;
    double fSustain = 0.0;
    double velToFilter = 0.5;  // share of envAmount that follows velocity

    double attack = 0.005;
    double decay = 0.3;
    double sustain = 1.0;
    double release = 0.1;

    double vibrato = 0.0;  // cents
    double vibratoHz = 5.0;
    double vibratoDelay = 0.2;
    double drive = 0.0;  // 0: clean
    double level = 1.0;
};
Stereo synthVoice(const Note& note, const SynthPatch& patch, uint64_t seed);

// Electric piano: a frequency-modulated tone with a bright tine at the attack.
struct EPianoPatch {
    double index = 1.6;  // modulation depth at the attack
    double tine = 0.25;
    double decay = 2.5;  // seconds at c4; shorter up the keyboard
    double release = 0.15;
};
Stereo epiano(const Note& note, const EPianoPatch& patch);

// Struck bars and bells: a few inharmonic partials, each with its own decay.
enum class MalletKind { marimba, kalimba, bell, glass };
Stereo mallet(const Note& note, MalletKind kind, uint64_t seed);

// FM bass: sine carrier, modulator at `ratio`, index falling from `index`.
Stereo fmBass(const Note& note, double ratio, double index, double decay);

// Breathy flute-like lead.
Stereo flute(const Note& note, uint64_t seed);

// A sung vowel: a band-limited glottal tone through formant filters, moving
// from vowel `from` to vowel `to` ('a', 'e', 'i', 'o', 'u') over the note.
struct VoicePatch {
    char from = 'a';
    char to = 'a';
    double attack = 0.04;
    double release = 0.2;
    double vibrato = 18.0;  // cents
    double breath = 0.08;
    double bright = 1.0;  // level of the upper formants
};
Stereo voice(const Note& note, const VoicePatch& patch, uint64_t seed);

}  // namespace demolib
