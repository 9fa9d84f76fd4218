// "Night Shift": deep house at 126 BPM in A minor. The harmony is a two-bar
// swing between Am9 and Fmaj9; loops of one bar keep to A C D E G, which
// sound over both chords.
#include "tools/demolib/Compose.h"
#include "tools/demolib/Drums.h"
#include "tools/demolib/Effects.h"
#include "tools/demolib/FxSounds.h"
#include "tools/demolib/Songs.h"

namespace demolib {

namespace {

void drums(SongBuilder& b)
{
    const auto kicks = variants(1, 11, [](uint64_t s) {
        KickParams p;
        p.startHz = 165;
        p.endHz = 54;
        p.decay = 0.36;
        p.click = 0.3;
        p.drive = 2.2;
        return kick(p, s);
    });
    const auto claps = variants(3, 12, [](uint64_t s) { return clap(ClapParams{}, s); });
    const auto snares = variants(3, 13, [](uint64_t s) {
        SnareParams p;
        p.bodyHz = 200;
        p.noiseDecay = 0.16;
        return snare(p, s);
    });
    const auto closed = variants(4, 14, [](uint64_t s) {
        return hat(HatParams{0.04, 1.0, 9500, 0.35, 0.0004}, s);
    });
    const auto open = variants(2, 15, [](uint64_t s) {
        return hat(HatParams{0.26, 1.0, 9000, 0.35, 0.0008}, s);
    });
    const auto ride = variants(2, 16, [](uint64_t s) { return cymbal(1.1, 6000, 0.7, s); });
    const auto crash = variants(1, 17, [](uint64_t s) { return cymbal(1.8, 4000, 0.1, s); });
    const ReverbSettings room{0.6, 7000, 0.6, 0.004, 0.1, 350};

    {
        Stereo l = b.bars(1);
        b.hits(l, "X...X...X...X...", kicks, 1.0);
        b.hits(l, "....X.......X...", claps, 0.95);
        b.hits(l, "..x...x...x...x.", open, 0.6, 0.15, 2);
        b.hits(l, ".o.g.o.g.o.g.o.g", closed, 0.5, -0.2, 3);
        reverb(l, room);
        b.add("Drums", "Four-floor", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X...X...X...X...", kicks, 1.0);
        b.hits(l, "..x...x...x...x.", open, 0.6, 0.15, 2);
        reverb(l, room);
        b.add("Drums", "Kick-hats", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.hits(l, "X...X...X...X...|X...X...X...X...", kicks, 1.0);
        b.hits(l, "....X.......X...|....X.......X...", claps, 0.95);
        b.hits(l, "................|..........o.xoXx", snares, 0.8);
        b.hits(l, "..x...x...x...x.|..x...x...x.....", open, 0.6, 0.15, 2);
        b.hits(l, "xoxgxoxgxoxgxoxg|xoxgxoxgxoxg....", closed, 0.5, -0.2, 3);
        b.hits(l, "X...............|................", crash, 0.5, -0.3);
        reverb(l, room);
        b.add("Drums", "Groove-fill", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "....X.......X...", claps, 0.95);
        b.hits(l, "..x...x...x...x.", open, 0.6, 0.15, 2);
        b.hits(l, "xoxoxoxoxoxoxoxo", closed, 0.5, -0.2, 3);
        b.hits(l, "x...x...x...x...", ride, 0.3, 0.3, 2);
        reverb(l, room);
        b.add("Drums", "No-kick", 1, std::move(l));
    }
}

void percussion(SongBuilder& b)
{
    const auto shakers = variants(4, 21, [](uint64_t s) { return shaker(7800, 0.012, 0.07, s); });
    const auto congaHi = variants(2, 22, [](uint64_t s) { return drumHead(340, 1.12, 0.22, 0.6, s); });
    const auto congaLo = variants(2, 23, [](uint64_t s) { return drumHead(228, 1.12, 0.3, 0.4, s); });
    const auto rims = variants(2, 24, [](uint64_t s) { return rim(1650, s); });
    const auto tamb = variants(3, 25, [](uint64_t s) { return tambourine(0.12, s); });
    const auto bongo = variants(3, 26, [](uint64_t s) { return drumHead(420, 1.2, 0.12, 0.8, s); });
    const ReverbSettings room{0.8, 6000, 0.7, 0.01, 0.18, 300};
    {
        Stereo l = b.bars(1);
        b.hits(l, "xoXoxoXoxoXoxoXo", shakers, 0.6, 0.25, 3);
        reverb(l, room);
        b.add("Perc", "Shaker", 1, std::move(l), 70);
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "..x..x....x.x...", congaHi, 0.7, 0.35, 4);
        b.hits(l, "x.....x.......o.", congaLo, 0.7, -0.25, 4);
        reverb(l, room);
        b.add("Perc", "Congas", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "...x..x....x..x.", rims, 0.5, -0.3, 2);
        b.hits(l, "..x...x...x...x.", tamb, 0.4, 0.4, 3);
        reverb(l, room);
        b.add("Perc", "Rim-tamb", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "x.ox..x.o.x.x.o.", bongo, 0.6, 0.2, 4);
        b.hits(l, "..g...g...g...g.", shakers, 0.3, -0.4, 3);
        reverb(l, room);
        b.add("Perc", "Bongos", 1, std::move(l), 56);
    }
}

void bass(SongBuilder& b)
{
    SynthPatch round;
    round.saw = 0.7;
    round.pulse = 0.3;
    round.sub = 0.6;
    round.cutoff = 420;
    round.keyTrack = 0.3;
    round.q = 1.4;
    round.fourPole = true;
    round.envAmount = 2.2;
    round.fDecay = 0.12;
    round.attack = 0.003;
    round.decay = 0.3;
    round.sustain = 0.7;
    round.release = 0.04;
    round.drive = 1.3;
    const VoiceFn roundBass = [round](const Note& n, uint64_t s) { return synthVoice(n, round, s); };

    SynthPatch deep = round;
    deep.saw = 0.45;
    deep.pulse = 0.0;
    deep.sine = 0.5;
    deep.sub = 0.5;
    deep.cutoff = 300;
    deep.envAmount = 1.4;
    deep.fDecay = 0.25;
    deep.release = 0.08;
    const VoiceFn deepBass = [deep](const Note& n, uint64_t s) { return synthVoice(n, deep, s); };

    const int beat = b.grid().framesPerBeat();
    {
        Stereo l = b.bars(2);
        b.notes(l, ". . A1 . . . a1 . . . A1 . . . a2 . | . . F1 . . . f1 . . . F1 . . . f2 .", 1.0, 0.8,
                roundBass);
        pump(l, beat, 0.35, 0.2);
        b.add("Bass", "Offbeat", 2, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(l, ". a1 a2 a1 . a1 a2 . . a1 a2 a1 . a1 G2 e2 | . f1 f2 f1 . f1 f2 . . f1 f2 f1 . f1 C3 a2",
                1.0, 0.7, roundBass);
        pump(l, beat, 0.4, 0.18);
        b.add("Bass", "Rolling", 2, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(l, "A1 - - . . . ~c2 - - . e2 . d2 - c2 . | F1 - - . . . ~a1 - - . c2 . g1 - e1 .", 1.0, 0.9,
                deepBass);
        pump(l, beat, 0.25, 0.2);
        b.add("Bass", "Deep", 2, std::move(l));
    }
}

void chords(SongBuilder& b)
{
    const std::vector<int> am9 = {60, 64, 67, 71};
    const std::vector<int> fmaj9 = {60, 64, 67, 69};
    const std::vector<int> am9low = {55, 60, 64, 71};
    const std::vector<int> fmaj9low = {57, 60, 64, 67};
    const int beat = b.grid().framesPerBeat();

    SynthPatch stab;
    stab.saw = 1.0;
    stab.unison = 3;
    stab.detune = 16;
    stab.spread = 0.6;
    stab.cutoff = 900;
    stab.keyTrack = 0.2;
    stab.q = 1.1;
    stab.envAmount = 2.6;
    stab.fDecay = 0.16;
    stab.attack = 0.002;
    stab.decay = 0.35;
    stab.sustain = 0.0;
    stab.release = 0.12;
    const VoiceFn stabVoice = [stab](const Note& n, uint64_t s) { return synthVoice(n, stab, s); };

    SynthPatch pad;
    pad.saw = 1.0;
    pad.unison = 5;
    pad.detune = 24;
    pad.spread = 0.85;
    pad.cutoff = 1300;
    pad.keyTrack = 0.0;
    pad.q = 0.8;
    pad.envAmount = 0.8;
    pad.fAttack = 0.7;
    pad.fDecay = 1.5;
    pad.fSustain = 0.4;
    pad.attack = 0.3;
    pad.decay = 1.0;
    pad.sustain = 0.9;
    pad.release = 0.9;
    const VoiceFn padVoice = [pad](const Note& n, uint64_t s) { return synthVoice(n, pad, s); };

    {
        Stereo l = b.bars(2);
        b.chordRhythm(l, {am9, fmaj9}, "..X..x....X..x..", 1.5, 1.0, stabVoice, 0.5);
        echo(l, {b.grid().seconds(3), 0.35, 0.25, true, 3500});
        reverb(l, {1.6, 5000, 1.0, 0.02, 0.22, 250});
        pump(l, beat, 0.3, 0.2);
        b.add("Chords", "Stabs", 2, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.chordRhythm(l, {am9low, fmaj9low}, "X...............", 15.5, 1.0, padVoice, 0.6);
        sweepLowpass(l, 700, 5000, 0.9, true);
        chorus(l, 3.0, 2, 0.4);
        reverb(l, {2.4, 4500, 1.2, 0.03, 0.3, 250});
        pump(l, beat, 0.45, 0.22);
        b.add("Chords", "Pad", 2, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        const VoiceFn keys = [](const Note& n, uint64_t) { return epiano(n, EPianoPatch{}); };
        b.chordRhythm(l, {am9, fmaj9}, "x.....x.....x...", 5.0, 1.0, keys, 0.4, 0.012);
        chorus(l, 2.0, 4, 0.35);
        reverb(l, {1.8, 5000, 1.0, 0.02, 0.22, 250});
        b.add("Chords", "Keys", 2, std::move(l));
    }
}

void lead(SongBuilder& b)
{
    SynthPatch p;
    p.saw = 0.6;
    p.pulse = 0.4;
    p.pulseWidth = 0.3;
    p.unison = 2;
    p.detune = 8;
    p.spread = 0.3;
    p.cutoff = 1600;
    p.keyTrack = 0.5;
    p.q = 1.2;
    p.envAmount = 1.8;
    p.fDecay = 0.2;
    p.attack = 0.004;
    p.decay = 0.4;
    p.sustain = 0.55;
    p.release = 0.15;
    p.vibrato = 10;
    const VoiceFn leadVoice = [p](const Note& n, uint64_t s) { return synthVoice(n, p, s); };
    const VoiceFn bell = [](const Note& n, uint64_t s) { return mallet(n, MalletKind::bell, s); };
    const double dottedEighth = b.grid().seconds(3);
    {
        Stereo l = b.bars(2);
        b.notes(l, "E5 . . c5 . . a4 . c5 . d5 . e5 - . . | G5 . . e5 . . d5 . c5 . a4 . c5 - . .", 1.0, 0.8,
                leadVoice);
        echo(l, {dottedEighth, 0.4, 0.3, true, 4000});
        reverb(l, {1.8, 5000, 1.0, 0.02, 0.2, 300});
        b.add("Lead", "Hook", 2, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(l, "A4 - - - . . . . . . g4 . a4 . . . | c5 - - - . . . . d5 . c5 . a4 . g4 .", 1.0, 0.9,
                leadVoice);
        echo(l, {dottedEighth, 0.45, 0.3, true, 3500});
        reverb(l, {2.2, 5000, 1.0, 0.02, 0.25, 300});
        b.add("Lead", "Call", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "e5 . . . . . a5 . . . g5 . d5 . c5 .", 0.9, 0.5, bell);
        echo(l, {dottedEighth, 0.5, 0.4, true, 5000});
        reverb(l, {2.5, 6000, 1.2, 0.02, 0.3, 300});
        b.add("Lead", "Bells", 1, std::move(l));
    }
}

void arp(SongBuilder& b)
{
    SynthPatch p;
    p.saw = 1.0;
    p.cutoff = 700;
    p.keyTrack = 0.6;
    p.q = 2.2;
    p.envAmount = 3.2;
    p.fDecay = 0.09;
    p.attack = 0.002;
    p.decay = 0.2;
    p.sustain = 0.0;
    p.release = 0.08;
    const VoiceFn pluck = [p](const Note& n, uint64_t s) { return synthVoice(n, p, s); };
    SynthPatch blip;
    blip.saw = 0.0;
    blip.sine = 1.0;
    blip.pulse = 0.3;
    blip.cutoff = 3000;
    blip.attack = 0.002;
    blip.decay = 0.12;
    blip.sustain = 0.0;
    blip.release = 0.05;
    const VoiceFn blipVoice = [blip](const Note& n, uint64_t s) { return synthVoice(n, blip, s); };
    const double eighth = b.grid().seconds(2);
    const double dottedEighth = b.grid().seconds(3);
    {
        Stereo l = b.bars(1);
        b.notes(l, "a3 c4 e4 g4 a4 g4 e4 c4 a3 c4 e4 g4 a4 g4 e4 c4", 1.0, 0.6, pluck);
        echo(l, {dottedEighth, 0.4, 0.3, true, 4000});
        reverb(l, {1.4, 5000, 1.0, 0.01, 0.15, 300});
        b.add("Arp", "Sixteenths", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "a3 a4 . a3 a4 . a3 a4 . e4 . a3 g4 . c4 .", 1.0, 0.5, pluck);
        echo(l, {eighth, 0.35, 0.25, true, 4000});
        b.add("Arp", "Octaves", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "e5 . . . g5 . . . d5 . . . c5 . a4 .", 0.8, 0.5, blipVoice);
        echo(l, {dottedEighth, 0.55, 0.45, true, 6000});
        reverb(l, {2.0, 6000, 1.0, 0.02, 0.2, 300});
        b.add("Arp", "Blips", 1, std::move(l));
    }
}

void effects(SongBuilder& b)
{
    const int bar = b.grid().framesPerBar();
    {
        Stereo l = b.bars(2);
        placeWrapped(l, riser(2 * bar, 250, 9000, 31), 0, 1.0);
        reverb(l, {1.5, 6000, 1.0, 0.01, 0.25, 300});
        b.add("FX", "Riser", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        placeWrapped(l, impact(1.6, 32), 0, 1.0);
        placeWrapped(l, downlifter(b.grid().seconds(12), 33), b.grid().frame(2), 0.5);
        reverb(l, {2.5, 5000, 1.2, 0.02, 0.3, 200});
        b.add("FX", "Impact", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        placeWrapped(l, whoosh(b.grid().seconds(8), 600, 7000, 34), b.grid().frame(8), 1.0);
        placeWrapped(l, reverseCymbal(b.grid().seconds(4), 35), b.grid().frame(12), 0.5);
        reverb(l, {1.8, 6000, 1.0, 0.01, 0.25, 300});
        b.add("FX", "Sweep", 1, std::move(l));
    }
}

void vocals(SongBuilder& b)
{
    const VoiceFn ah = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'a', 'o', 0.01, 0.08, 12, 0.06, 1.0}, s);
    };
    const VoiceFn ooh = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'u', 'o', 0.35, 0.8, 16, 0.1, 0.7}, s);
    };
    const VoiceFn hey = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'e', 'i', 0.005, 0.06, 0, 0.2, 1.3}, s);
    };
    const double dottedEighth = b.grid().seconds(3);
    {
        Stereo l = b.bars(1);
        b.notes(l, ". . E4 . . A4 . . . . G4 - . C5 . .", 1.0, 0.7, ah);
        echo(l, {dottedEighth, 0.35, 0.25, true, 4000});
        reverb(l, {2.0, 5000, 1.0, 0.03, 0.3, 300});
        b.add("Vox", "Ah-chops", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.chord(l, 0, 31, {57, 60, 64}, 0.9, 1.0, ooh, 0.6);
        chorus(l, 4.0, 2, 0.4);
        reverb(l, {3.0, 4500, 1.3, 0.03, 0.35, 250});
        b.add("Vox", "Ooh", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, ". . . . . . . . . . . . A4 . . .", 1.0, 0.5, hey);
        echo(l, {b.grid().seconds(2), 0.45, 0.35, true, 5000});
        reverb(l, {1.5, 6000, 0.9, 0.02, 0.25, 300});
        b.add("Vox", "Hey", 1, std::move(l));
    }
}

}  // namespace

Song makeHouse()
{
    Song song;
    song.folder = "NightShift";
    song.library = "Beatloom House";
    song.title = "Night Shift - Deep House";
    song.description = {
        "A warm deep house groove in A minor at 126 BPM: four-on-the-floor drums, rolling and",
        "offbeat basses, synth stabs, electric piano, a filtered pad and vocal chops for the late hours.",
    };
    song.bpm = 126;
    song.arpNotes = "A C D E G";
    song.pictureTheme = 0;
    song.groups = {"Drums", "Perc", "Bass", "Chords", "Lead", "Arp", "FX", "Vox"};

    SongBuilder b(song, 0.1, 126001);
    b.level("Drums", 118);
    b.level("Perc", 80);
    b.level("Bass", 94);
    b.level("Chords", 84);
    b.level("Lead", 76);
    b.level("Arp", 72);
    b.level("FX", 70);
    b.level("Vox", 78);
    drums(b);
    percussion(b);
    bass(b);
    chords(b);
    lead(b);
    arp(b);
    effects(b);
    vocals(b);
    b.finish();

    song.randomSets = {
        {"Groove", {"Drums", "Bass", "Chords", "Perc", "Vox", "Arp", "FX"}},
        {"Deep", {"Drums", "Bass", "Chords", "Vox", "Perc", "FX"}},
        {"Full", {"Drums", "Bass", "Chords", "Perc", "Lead", "Arp", "Vox", "FX"}},
        {"Tools", {"Drums", "Perc", "Bass", "Arp", "FX", "Lead"}},
    };
    // Columns: 0 Drums, 1 Drums, 2 Perc, 3 Bass, 4 Chords, 5 Chords, 6 Lead,
    // 7 Arp, 8 FX, 9 Vox, 10 Perc.
    const std::vector<std::string> columns = {"Drums", "Drums", "Perc", "Bass", "Chords", "Chords",
                                              "Lead",  "Arp",   "FX",   "Vox",  "Perc"};
    song.styles = {
        {"Club",
         columns,
         {{0, -1, -1, -1, -1, -1, -1, -1},
          {0, 2, -1, -1, -1, -1, -1, -1},
          {0, 2, 3, -1, -1, -1, -1, -1},
          {0, 2, 3, 4, -1, -1, -1, -1},
          {1, 2, 3, 4, -1, 7, -1, -1},
          {1, 2, 3, 4, -1, 7, 8, 9},
          {-1, -1, -1, 5, -1, -1, 8, 9},
          {-1, 2, -1, 5, 6, -1, 8, 9},
          {1, 2, 3, 4, 6, 7, -1, 9},
          {1, 10, 3, 4, 6, 7, -1, 9},
          {0, 10, 3, 4, -1, -1, -1, -1},
          {0, 2, -1, -1, -1, -1, -1, -1}}},
        {"Radio",
         columns,
         {{0, 2, 3, -1, -1, -1, -1, -1},
          {0, 2, 3, 4, -1, -1, -1, 9},
          {1, 2, 3, 4, 6, -1, -1, 9},
          {-1, -1, -1, 5, 6, -1, 8, 9},
          {1, 10, 3, 4, 6, 7, -1, 9},
          {1, 10, 3, 4, 6, 7, -1, -1},
          {0, 2, 3, -1, -1, -1, -1, -1}}},
        {"Dub",
         {"Drums", "Perc", "Bass", "Chords", "Vox", "FX", "Arp"},
         {{0, -1, 2, -1, -1, -1, -1, -1},
          {0, 1, 2, -1, -1, -1, -1, -1},
          {0, 1, 2, 3, -1, -1, -1, -1},
          {0, 1, 2, 3, 4, -1, -1, -1},
          {-1, 1, -1, 3, 4, 5, -1, -1},
          {0, 1, 2, 3, 4, -1, 6, -1},
          {0, 1, 2, -1, -1, -1, 6, -1},
          {0, -1, -1, -1, -1, -1, -1, -1}}},
    };
    song.preview = {"Drums01", "Perc01", "Bass02", "Chords01", "Vox01", "Arp01"};
    return song;
}

}  // namespace demolib
