// "Voltage Drop": electro and breakbeat at 140 BPM in F minor. Two-bar
// loops move from Fm7 to Dbmaj7; one-bar loops keep to F Ab Bb C Eb.
#include "tools/demolib/Compose.h"
#include "tools/demolib/Drums.h"
#include "tools/demolib/Effects.h"
#include "tools/demolib/FxSounds.h"
#include "tools/demolib/Songs.h"

namespace demolib {

namespace {

const std::vector<int> kFm7 = {56, 60, 63, 65};     // Ab C Eb F
const std::vector<int> kDbmaj7 = {56, 60, 61, 65};  // Ab C Db F

void drums(SongBuilder& b)
{
    const auto kicks = variants(1, 71, [](uint64_t s) {
        KickParams p;
        p.startHz = 200;
        p.endHz = 44;
        p.pitchTime = 0.025;
        p.decay = 0.6;
        p.click = 0.25;
        p.drive = 1.6;
        return kick(p, s);
    });
    const auto snares = variants(3, 72, [](uint64_t s) {
        SnareParams p;
        p.bodyHz = 220;
        p.bodyDecay = 0.1;
        p.noiseDecay = 0.18;
        p.noiseHz = 2200;
        p.snap = 0.7;
        p.drive = 1.8;
        return snare(p, s);
    });
    const auto claps = variants(3, 73, [](uint64_t s) {
        return clap(ClapParams{1400, 0.007, 4, 0.18, 0.6}, s);
    });
    const auto closed = variants(4, 74, [](uint64_t s) {
        return hat(HatParams{0.035, 1.1, 10000, 0.25, 0.0003}, s);
    });
    const auto open = variants(2, 75, [](uint64_t s) {
        return hat(HatParams{0.22, 1.1, 9500, 0.25, 0.0006}, s);
    });
    const ReverbSettings room{0.7, 7000, 0.6, 0.004, 0.12, 400};
    {
        Stereo l = b.bars(1);
        b.hits(l, "X......X..X.....", kicks, 1.0);
        b.hits(l, "....X.......X...", claps, 0.9);
        b.hits(l, "....x.......x...", snares, 0.5);
        b.hits(l, "xoxoxoxoxoxoxoxo", closed, 0.5, -0.15, 2);
        reverb(l, room);
        b.add("Drums", "Electro", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.hits(l, "X.X.......X.....|..X...X...X.....", kicks, 1.0);
        b.hits(l, "....X..o.o..X..o|.o..X..o.o..X...", snares, 0.85, 0.0, 3);
        b.hits(l, "x.x.x.x.x.x.x.x.|x.x.x.x.x.x.x...", closed, 0.5, -0.15, 3);
        b.hits(l, "................|..............x.", open, 0.5, 0.2);
        reverb(l, room);
        b.add("Drums", "Breakbeat", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X.....X...X..X..", kicks, 1.0);
        b.hits(l, "....X.......X...", snares, 0.85);
        b.hits(l, "..x...x...x...x.", open, 0.45, 0.2, 2);
        b.hits(l, "x.o.x.o.x.o.x.o.", closed, 0.4, -0.15, 2);
        reverb(l, room);
        b.add("Drums", "Skip", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "....X.......X...", claps, 0.9);
        b.hits(l, "xoxoxoxoxoxoxxox", closed, 0.5, -0.15, 2);
        b.hits(l, "..x...x...x...x.", open, 0.4, 0.2, 2);
        reverb(l, room);
        b.add("Drums", "Tops", 1, std::move(l));
    }
}

void percussion(SongBuilder& b)
{
    const std::vector<Stereo> bell = {cowbell(698.5, 0.35)};
    const auto toms = variants(1, 81, [](uint64_t s) { return drumHead(130.8, 1.5, 0.45, 0.2, s); });
    const auto tomsHi = variants(1, 82, [](uint64_t s) { return drumHead(174.6, 1.5, 0.4, 0.2, s); });
    const auto clicks = variants(2, 83, [](uint64_t s) { return rim(2100, s); });
    const std::vector<Stereo> block = {woodblock(1046.5, 0.08)};
    const ReverbSettings room{1.0, 6000, 0.8, 0.01, 0.2, 400};
    {
        Stereo l = b.bars(1);
        b.hits(l, "x..x..x...x.x...", bell, 0.5, 0.3);
        echo(l, {b.grid().seconds(3), 0.3, 0.2, true, 5000});
        reverb(l, room);
        b.add("Perc", "Cowbell", 1, std::move(l), 70);
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "..........x..x.x", toms, 0.9, -0.3);
        b.hits(l, "......x.....x...", tomsHi, 0.8, 0.3);
        reverb(l, room);
        b.add("Perc", "Toms", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, ".x..x.x..x..x.x.", clicks, 0.6, -0.35, 2);
        b.hits(l, "...x......x.....", block, 0.5, 0.4);
        reverb(l, room);
        b.add("Perc", "Clicks", 1, std::move(l));
    }
}

void bass(SongBuilder& b)
{
    SynthPatch acid;
    acid.saw = 1.0;
    acid.cutoff = 260;
    acid.keyTrack = 0.4;
    acid.q = 7.0;
    acid.fourPole = true;
    acid.envAmount = 3.6;
    acid.fDecay = 0.18;
    acid.velToFilter = 0.8;
    acid.attack = 0.003;
    acid.decay = 0.3;
    acid.sustain = 0.8;
    acid.release = 0.03;
    acid.drive = 1.8;
    const VoiceFn acidVoice = [acid](const Note& n, uint64_t s) { return synthVoice(n, acid, s); };
    const VoiceFn fm = [](const Note& n, uint64_t) { return fmBass(n, 1.0, 3.5, 0.08); };
    SynthPatch sub;
    sub.saw = 0.3;
    sub.sine = 0.8;
    sub.cutoff = 300;
    sub.attack = 0.005;
    sub.decay = 0.4;
    sub.sustain = 0.8;
    sub.release = 0.06;
    sub.drive = 1.2;
    const VoiceFn subVoice = [sub](const Note& n, uint64_t s) { return synthVoice(n, sub, s); };
    const int beat = b.grid().framesPerBeat();
    {
        Stereo l = b.bars(1);
        b.notes(l, "F1 f2 . F1 ~ab1 f1 f2 . eb2 F1 . c2 ~eb2 f1 F2 .", 1.0, 0.6, acidVoice);
        echo(l, {b.grid().seconds(3), 0.25, 0.12, true, 2500});
        b.add("Bass", "Acid", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(l,
                "F1 . F2 f1 . ab1 ~bb1 . F1 . c2 . F2 ~eb2 c2 . | "
                "Db2 . db1 Db2 . ab1 ~c2 . Db2 . F2 . db2 ~eb2 c2 .",
                1.0, 0.6, acidVoice);
        b.add("Bass", "Acid-walk", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "F1 . . f1 . . F1 . . f1 . . F1 . eb1 .", 1.0, 0.7, fm);
        pump(l, beat, 0.2, 0.15);
        b.add("Bass", "FM", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(l, "F2 - - . . . F2 - . . f1 . ~ab1 - . . | Db2 - - . . . Db2 - . . db1 . ~eb1 - . .", 1.0,
                0.9, subVoice);
        pump(l, beat, 0.3, 0.15);
        b.add("Bass", "Sub", 2, std::move(l));
    }
}

void stabs(SongBuilder& b)
{
    SynthPatch saw;
    saw.saw = 1.0;
    saw.pulse = 0.4;
    saw.unison = 3;
    saw.detune = 20;
    saw.spread = 0.7;
    saw.cutoff = 1200;
    saw.keyTrack = 0.2;
    saw.q = 1.6;
    saw.envAmount = 2.5;
    saw.fDecay = 0.12;
    saw.attack = 0.002;
    saw.decay = 0.25;
    saw.sustain = 0.0;
    saw.release = 0.1;
    const VoiceFn stab = [saw](const Note& n, uint64_t s) { return synthVoice(n, saw, s); };
    SynthPatch pad;
    pad.saw = 1.0;
    pad.unison = 5;
    pad.detune = 30;
    pad.spread = 0.9;
    pad.cutoff = 900;
    pad.keyTrack = 0.0;
    pad.q = 1.0;
    pad.envAmount = 1.5;
    pad.fAttack = 1.2;
    pad.fDecay = 2.0;
    pad.fSustain = 0.3;
    pad.attack = 0.4;
    pad.sustain = 1.0;
    pad.release = 0.8;
    const VoiceFn padVoice = [pad](const Note& n, uint64_t s) { return synthVoice(n, pad, s); };
    const double dotted = b.grid().seconds(3);
    {
        Stereo l = b.bars(2);
        b.chordRhythm(l, {kFm7, kDbmaj7}, "X..X..X...X..X..", 1.2, 1.0, stab, 0.5);
        echo(l, {dotted, 0.35, 0.25, true, 4000});
        reverb(l, {1.4, 6000, 1.0, 0.01, 0.2, 300});
        b.add("Stabs", "Chords", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.chordRhythm(l, {{53, 56, 60, 65}}, "X.....X.....X...", 1.0, 1.0, stab, 0.6);
        echo(l, {dotted, 0.45, 0.3, true, 4000});
        reverb(l, {1.8, 6000, 1.0, 0.01, 0.25, 300});
        b.add("Stabs", "Minor", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.chord(l, 0, 15.5, {53, 60, 63, 67}, 0.9, 1.0, padVoice, 0.7);
        b.chord(l, 16, 15.5, {53, 60, 61, 65}, 0.9, 1.0, padVoice, 0.7);
        chorus(l, 3.0, 2, 0.4);
        reverb(l, {2.6, 5000, 1.2, 0.03, 0.3, 300});
        b.add("Stabs", "Pad", 2, std::move(l));
    }
}

void lead(SongBuilder& b)
{
    SynthPatch sq;
    sq.saw = 0.0;
    sq.pulse = 1.0;
    sq.pulseWidth = 0.5;
    sq.unison = 2;
    sq.detune = 10;
    sq.spread = 0.4;
    sq.cutoff = 1800;
    sq.keyTrack = 0.5;
    sq.q = 1.0;
    sq.envAmount = 1.2;
    sq.fDecay = 0.3;
    sq.attack = 0.005;
    sq.decay = 0.5;
    sq.sustain = 0.7;
    sq.release = 0.12;
    sq.vibrato = 12;
    sq.vibratoDelay = 0.25;
    const VoiceFn square = [sq](const Note& n, uint64_t s) { return synthVoice(n, sq, s); };
    SynthPatch hook = sq;
    hook.saw = 1.0;
    hook.pulse = 0.0;
    hook.unison = 3;
    hook.detune = 14;
    hook.cutoff = 2500;
    const VoiceFn sawLead = [hook](const Note& n, uint64_t s) { return synthVoice(n, hook, s); };
    const VoiceFn robot = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'e', 'o', 0.01, 0.08, 0, 0.02, 1.4}, s);
    };
    const double dotted = b.grid().seconds(3);
    {
        Stereo l = b.bars(4);
        b.notes(l,
                "C5 - - ab4 - - f4 - ~g4 - ab4 - c5 - eb5 - | F5 - - - eb5 - c5 - ~db5 - - - c5 - ab4 - | "
                "C5 - - ab4 - - f4 - ~g4 - ab4 - bb4 - c5 - | Ab4 - - - - - f4 - - - - - . . . .",
                1.0, 0.9, square);
        echo(l, {dotted, 0.4, 0.28, true, 3500});
        reverb(l, {1.8, 5000, 1.0, 0.02, 0.22, 300});
        b.add("Lead", "Square", 4, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "F5 . f5 eb5 . c5 . ab4 . bb4 . c5 - . F4 .", 1.0, 0.7, sawLead);
        echo(l, {dotted, 0.4, 0.28, true, 3500});
        reverb(l, {1.5, 5000, 1.0, 0.02, 0.2, 300});
        b.add("Lead", "Hook", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "F3 . . F3 . . ab3 . . . C4 . bb3 - . .", 1.0, 0.6, robot);
        band(l, 200, 7000);
        echo(l, {b.grid().seconds(2), 0.35, 0.25, true, 4000});
        b.add("Lead", "Robot", 1, std::move(l));
    }
}

void arp(SongBuilder& b)
{
    SynthPatch p;
    p.saw = 0.5;
    p.pulse = 0.5;
    p.pulseWidth = 0.25;
    p.cutoff = 900;
    p.keyTrack = 0.6;
    p.q = 3.0;
    p.envAmount = 3.0;
    p.fDecay = 0.07;
    p.attack = 0.002;
    p.decay = 0.15;
    p.sustain = 0.0;
    p.release = 0.05;
    const VoiceFn pluck = [p](const Note& n, uint64_t s) { return synthVoice(n, p, s); };
    const double dotted = b.grid().seconds(3);
    {
        Stereo l = b.bars(1);
        b.notes(l, "f3 ab3 c4 eb4 f4 eb4 c4 ab3 f3 ab3 c4 eb4 f4 eb4 c4 ab3", 1.0, 0.6, pluck);
        echo(l, {dotted, 0.4, 0.3, true, 4000});
        b.add("Arp", "Up-down", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "f3 f4 f3 f4 c4 f4 f3 f4 eb4 f4 f3 f4 ab3 f4 bb3 c4", 1.0, 0.5, pluck);
        echo(l, {b.grid().seconds(2), 0.35, 0.25, true, 4000});
        b.add("Arp", "Octaves", 1, std::move(l));
    }
    {
        // A sequence drawn from the scale, fixed by the seed.
        static const char* const kScale[] = {"f4", "ab4", "bb4", "c5", "eb5", "f5"};
        std::string seq;
        Rng rng(77);
        for (int s = 0; s < 16; ++s)
            seq += rng.chance(0.75) ? std::string(kScale[rng.below(6)]) + " " : std::string(". ");
        Stereo l = b.bars(1);
        b.notes(l, seq, 0.9, 0.5, pluck);
        echo(l, {dotted, 0.5, 0.35, true, 5000});
        reverb(l, {1.5, 6000, 1.0, 0.01, 0.2, 300});
        b.add("Arp", "Sequence", 1, std::move(l));
    }
}

void effects(SongBuilder& b)
{
    const int bar = b.grid().framesPerBar();
    {
        Stereo l = b.bars(1);
        placeWrapped(l, zap(3000, 150, 0.25), b.grid().frame(2), 1.0, -0.4);
        placeWrapped(l, zap(2200, 120, 0.3), b.grid().frame(7), 0.8, 0.4);
        placeWrapped(l, zap(4000, 300, 0.15), b.grid().frame(13), 0.7, 0.0);
        echo(l, {b.grid().seconds(3), 0.45, 0.35, true, 5000});
        reverb(l, {1.5, 6000, 1.0, 0.01, 0.2, 300});
        b.add("FX", "Zaps", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        placeWrapped(l, riser(2 * bar, 300, 10000, 91), 0, 1.0);
        reverb(l, {1.5, 6000, 1.0, 0.01, 0.25, 300});
        b.add("FX", "Riser", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        placeWrapped(l, impact(1.4, 92), 0, 1.0);
        placeWrapped(l, downlifter(b.grid().seconds(10), 93), b.grid().frame(4), 0.6);
        reverb(l, {2.2, 5000, 1.1, 0.02, 0.3, 200});
        b.add("FX", "Drop", 1, std::move(l));
    }
}

}  // namespace

Song makeElectro()
{
    Song song;
    song.folder = "VoltageDrop";
    song.library = "Beatloom Electro";
    song.title = "Voltage Drop - Electro Breaks";
    song.description = {
        "Electro and breakbeat in F minor at 140 BPM: a booming kick, snappy breaks, squelching acid",
        "and FM basses, detuned stabs from Fm7 to Dbmaj7, square leads, arpeggios and laser zaps.",
    };
    song.bpm = 140;
    song.arpNotes = "F Gd Ad C Dd";
    song.pictureTheme = 2;
    song.groups = {"Drums", "Perc", "Bass", "Stabs", "Lead", "Arp", "FX"};

    SongBuilder b(song, 0.0, 140001);
    b.level("Drums", 118);
    b.level("Perc", 76);
    b.level("Bass", 100);
    b.level("Stabs", 84);
    b.level("Lead", 76);
    b.level("Arp", 72);
    b.level("FX", 68);
    drums(b);
    percussion(b);
    bass(b);
    stabs(b);
    lead(b);
    arp(b);
    effects(b);
    b.finish();

    song.randomSets = {
        {"Electro", {"Drums", "Bass", "Stabs", "Perc", "Arp", "Lead", "FX"}},
        {"Acid", {"Drums", "Bass", "Arp", "Perc", "FX", "Stabs"}},
        {"Full", {"Drums", "Bass", "Stabs", "Lead", "Arp", "Perc", "FX"}},
        {"Breaks", {"Drums", "Perc", "Bass", "FX", "Lead", "Arp"}},
    };
    // Columns: 0 Drums, 1 Drums, 2 Perc, 3 Bass, 4 Bass, 5 Stabs, 6 Lead,
    // 7 Arp, 8 FX, 9 Drums.
    const std::vector<std::string> columns = {"Drums", "Drums", "Perc", "Bass", "Bass",
                                              "Stabs", "Lead",  "Arp",  "FX",   "Drums"};
    song.styles = {
        {"Rave",
         columns,
         {{0, -1, -1, -1, -1, -1, -1, -1},
          {0, -1, 3, -1, -1, -1, -1, -1},
          {0, 2, 3, -1, -1, -1, 7, -1},
          {1, 2, 3, 5, -1, -1, 7, -1},
          {9, -1, -1, 5, -1, -1, 7, 8},
          {-1, -1, -1, 5, 6, -1, -1, 8},
          {1, 2, 4, 5, 6, -1, 7, -1},
          {0, 2, 4, 5, 6, -1, 7, 8},
          {0, 2, 3, -1, -1, -1, 7, -1},
          {0, -1, 3, -1, -1, -1, -1, -1}}},
        {"Breaks",
         columns,
         {{1, -1, -1, -1, -1, -1, -1, -1},
          {1, 2, 4, -1, -1, -1, -1, -1},
          {1, 2, 4, 5, -1, -1, -1, 8},
          {9, -1, -1, 5, 6, -1, -1, 8},
          {1, 2, 4, 5, 6, 7, -1, -1},
          {1, 2, 3, 5, -1, 7, -1, -1},
          {1, -1, 3, -1, -1, -1, -1, 8}}},
        {"Acid",
         {"Drums", "Bass", "Arp", "Perc", "FX"},
         {{0, 1, -1, -1, -1, -1, -1, -1},
          {0, 1, 3, -1, -1, -1, -1, -1},
          {0, 1, 3, 2, -1, -1, -1, -1},
          {-1, 1, 2, -1, 4, -1, -1, -1},
          {0, 1, 2, 3, 4, -1, -1, -1},
          {0, 1, -1, 3, -1, -1, -1, -1}}},
    };
    song.preview = {"Drums02", "Perc01", "Bass01", "Stabs01", "Arp01"};
    return song;
}

}  // namespace demolib
