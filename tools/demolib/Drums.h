// Drum and percussion voices, each synthesised from oscillators, noise and
// filters into a one-shot sound. Every hit starts from silence (a short
// attack ramp), so a hit on the loop point makes no click.
#pragma once

#include <cstdint>

#include "tools/demolib/Sound.h"

namespace demolib {

struct KickParams {
    double startHz = 160;      // pitch at the attack
    double endHz = 50;         // pitch the body settles on
    double pitchTime = 0.035;  // time constant of the pitch fall (s)
    double decay = 0.45;       // body decay to -60 dB (s)
    double click = 0.35;       // level of the beater noise
    double drive = 1.8;        // saturation of the body
    double sub = 0.0;          // extra sine tail at endHz (808 boom)
};
Stereo kick(const KickParams& p, uint64_t seed);

struct SnareParams {
    double bodyHz = 185;      // first drum-head mode
    double bodyDecay = 0.14;  // s
    double body = 0.7;
    double noise = 0.8;
    double noiseDecay = 0.22;  // s
    double noiseHz = 1800;     // high pass of the wires
    double snap = 0.4;         // bright attack
    double drive = 1.5;
    double width = 0.3;  // decorrelation of the noise between channels
};
Stereo snare(const SnareParams& p, uint64_t seed);

struct ClapParams {
    double hz = 1200;
    double spread = 0.009;  // time between the hands (s)
    int hands = 4;
    double tail = 0.22;  // s
    double width = 0.5;
};
Stereo clap(const ClapParams& p, uint64_t seed);

struct HatParams {
    double decay = 0.05;     // s: short closed, long open
    double tune = 1.0;       // scales the metallic partials
    double tone = 9000;      // band centre
    double noise = 0.3;      // share of plain noise
    double attack = 0.0004;  // s
};
Stereo hat(const HatParams& p, uint64_t seed);

// Crash or ride cymbal.
Stereo cymbal(double decay, double tone, double bell, uint64_t seed);

// Filtered noise swell: shaker, cabasa.
Stereo shaker(double hz, double attack, double decay, uint64_t seed);

// A tuned membrane: conga, bongo, tom (pitch falls from `bend` x hz).
Stereo drumHead(double hz, double bend, double decay, double slap, uint64_t seed);

Stereo rim(double hz, uint64_t seed);
Stereo cowbell(double hz, double decay);
Stereo woodblock(double hz, double decay);
Stereo tambourine(double decay, uint64_t seed);
// A finger snap.
Stereo snap(uint64_t seed);

}  // namespace demolib
