// "Riverbed": liquid drum and bass at 175 BPM in E minor. Two-bar loops go
// from Em9 to Cmaj7; one-bar loops keep to E G A B D. Its description lives
// in the program's own store, not in the song's folder.
#include "tools/demolib/Compose.h"
#include "tools/demolib/Drums.h"
#include "tools/demolib/Effects.h"
#include "tools/demolib/FxSounds.h"
#include "tools/demolib/Songs.h"

namespace demolib {

namespace {

const std::vector<int> kEm9 = {55, 59, 62, 66};    // G B D F# over E
const std::vector<int> kCmaj7 = {55, 59, 60, 64};  // G B C E over C

void drums(SongBuilder& b)
{
    const auto kicks = variants(1, 201, [](uint64_t s) {
        KickParams p;
        p.startHz = 180;
        p.endHz = 55;
        p.pitchTime = 0.02;
        p.decay = 0.28;
        p.click = 0.5;
        p.drive = 2.0;
        return kick(p, s);
    });
    const auto snares = variants(4, 202, [](uint64_t s) {
        SnareParams p;
        p.bodyHz = 230;
        p.bodyDecay = 0.09;
        p.noiseDecay = 0.2;
        p.noiseHz = 2000;
        p.snap = 0.8;
        p.drive = 2.0;
        return snare(p, s);
    });
    const auto hats = variants(4, 203, [](uint64_t s) {
        return hat(HatParams{0.03, 1.15, 10500, 0.3, 0.0003}, s);
    });
    const auto open = variants(2, 204, [](uint64_t s) {
        return hat(HatParams{0.2, 1.15, 10000, 0.3, 0.0006}, s);
    });
    const ReverbSettings room{0.8, 7000, 0.7, 0.005, 0.14, 400};
    {
        Stereo l = b.bars(2);
        b.hits(l, "X.........X.....|..X.......X.....", kicks, 1.0);
        b.hits(l, "....X.......X...|....X..o....X...", snares, 0.9, 0.0, 2);
        b.hits(l, "x.x.x.x.x.x.x.x.|x.x.x.x.x.x.xox.", hats, 0.45, -0.15, 2);
        reverb(l, room);
        b.add("Drums", "Two-step", 2, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.hits(l, "X.X.......X.....|..X...X...X..X..", kicks, 1.0);
        b.hits(l, "....X..o.o..X..o|.o..X..o.o..X.o.", snares, 0.85, 0.0, 3);
        b.hits(l, "x.xox.x.x.xox.x.|x.x.x.xox.x.x.xo", hats, 0.45, -0.15, 3);
        b.hits(l, "..............x.|................", open, 0.4, 0.2);
        reverb(l, room);
        b.add("Drums", "Break", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X.........X.....", kicks, 1.0);
        b.hits(l, "....X.......X...", snares, 0.9, 0.0, 2);
        b.hits(l, "xoxoxoxoxoxoxoxo", hats, 0.45, -0.15, 3);
        reverb(l, room);
        b.add("Drums", "Roller", 1, std::move(l));
    }
}

void percussion(SongBuilder& b)
{
    const auto shakers = variants(4, 211, [](uint64_t s) { return shaker(8000, 0.008, 0.05, s); });
    const auto ride = variants(2, 212, [](uint64_t s) { return cymbal(1.4, 6500, 0.9, s); });
    const auto rims = variants(2, 213, [](uint64_t s) { return rim(1900, s); });
    const ReverbSettings room{1.2, 6000, 0.9, 0.01, 0.22, 400};
    {
        Stereo l = b.bars(1);
        b.hits(l, "xoxoxoxoxoxoxoxo", shakers, 0.6, 0.3, 2);
        reverb(l, room);
        b.add("Perc", "Shaker", 1, std::move(l), 70);
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "x.o.x.o.x.o.x.o.", ride, 0.6, 0.3, 2);
        reverb(l, room);
        b.add("Perc", "Ride", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "..x..x....x..x.x", rims, 0.6, -0.3, 2);
        echo(l, {b.grid().seconds(3), 0.35, 0.25, true, 4000});
        reverb(l, room);
        b.add("Perc", "Rims", 1, std::move(l));
    }
}

void bass(SongBuilder& b)
{
    SynthPatch reese;
    reese.saw = 1.0;
    reese.unison = 3;
    reese.detune = 28;
    reese.spread = 0.3;
    reese.sine = 0.4;
    reese.cutoff = 450;
    reese.keyTrack = 0.3;
    reese.q = 1.2;
    reese.envAmount = 0.8;
    reese.fDecay = 0.4;
    reese.fSustain = 0.3;
    reese.attack = 0.01;
    reese.decay = 0.5;
    reese.sustain = 0.9;
    reese.release = 0.1;
    reese.drive = 1.5;
    const VoiceFn reeseVoice = [reese](const Note& n, uint64_t s) { return synthVoice(n, reese, s); };
    SynthPatch sub;
    sub.saw = 0.0;
    sub.sine = 1.0;
    sub.pulse = 0.1;
    sub.cutoff = 250;
    sub.attack = 0.01;
    sub.decay = 0.5;
    sub.sustain = 0.9;
    sub.release = 0.08;
    sub.drive = 1.3;
    const VoiceFn subVoice = [sub](const Note& n, uint64_t s) { return synthVoice(n, sub, s); };
    {
        Stereo l = b.bars(2);
        b.notes(l, "E2 - - - - - - - - - ~g2 - - - ~d2 - | C2 - - - - - - - - - ~d2 - - - ~e2 -", 1.0, 0.98,
                reeseVoice);
        b.add("Bass", "Reese", 2, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(l, "E2 - - - . . . . . . e2 - b1 - . . | C2 - - - . . . . . . c2 - d2 - . .", 1.0, 0.9,
                subVoice);
        b.add("Bass", "Sub", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "E1 - - . . . e2 . . . E1 - . . d2 .", 1.0, 0.8, reeseVoice);
        sweepLowpass(l, 300, 2000, 3.0, true);
        b.add("Bass", "Growl", 1, std::move(l));
    }
}

void pads(SongBuilder& b)
{
    SynthPatch p;
    p.saw = 1.0;
    p.unison = 5;
    p.detune = 22;
    p.spread = 0.9;
    p.cutoff = 1500;
    p.keyTrack = 0.0;
    p.q = 0.7;
    p.envAmount = 0.6;
    p.fAttack = 1.0;
    p.fDecay = 1.5;
    p.fSustain = 0.5;
    p.attack = 0.35;
    p.sustain = 1.0;
    p.release = 0.8;
    const VoiceFn padVoice = [p](const Note& n, uint64_t s) { return synthVoice(n, p, s); };
    const VoiceFn bells = [](const Note& n, uint64_t s) { return mallet(n, MalletKind::glass, s); };
    const VoiceFn keys = [](const Note& n, uint64_t) { return epiano(n, EPianoPatch{1.0, 0.2, 3.0, 0.25}); };
    {
        // Eight bars that keep the E minor / C major swing but let the
        // voicing wander, opening and closing like a long breath.
        const std::vector<std::vector<int>> journey = {kEm9, kCmaj7, {57, 59, 62, 66}, {55, 59, 62, 64},
                                                       kEm9, kCmaj7, {55, 59, 62, 64}, {54, 59, 60, 64}};
        Stereo l = b.bars(8);
        b.chordRhythm(l, journey, "X...............", 15.5, 1.0, padVoice, 0.8);
        sweepLowpass(l, 900, 4000, 0.8, true);
        chorus(l, 3.5, 4, 0.4);
        reverb(l, {3.2, 4500, 1.3, 0.03, 0.35, 250});
        b.add("Pad", "Atmos", 8, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.chordRhythm(l, {kEm9, kCmaj7}, "x.....x.....x...", 5.0, 1.0, keys, 0.4, 0.015);
        chorus(l, 2.5, 4, 0.35);
        reverb(l, {2.4, 4500, 1.1, 0.02, 0.28, 250});
        b.add("Pad", "Keys", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "e5 . b5 . g5 . d6 . . . b5 . a5 . g5 .", 0.8, 0.9, bells);
        echo(l, {b.grid().seconds(3), 0.45, 0.3, true, 5000});
        reverb(l, {2.8, 5500, 1.2, 0.02, 0.3, 300});
        b.add("Pad", "Bells", 1, std::move(l));
    }
}

void lead(SongBuilder& b)
{
    SynthPatch pl;
    pl.saw = 0.7;
    pl.pulse = 0.3;
    pl.cutoff = 1000;
    pl.keyTrack = 0.6;
    pl.q = 2.0;
    pl.envAmount = 2.8;
    pl.fDecay = 0.1;
    pl.attack = 0.002;
    pl.decay = 0.25;
    pl.sustain = 0.0;
    pl.release = 0.06;
    const VoiceFn pluck = [pl](const Note& n, uint64_t s) { return synthVoice(n, pl, s); };
    const VoiceFn fl = [](const Note& n, uint64_t s) { return flute(n, s); };
    const VoiceFn chop = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'o', 'a', 0.01, 0.1, 10, 0.08, 1.0}, s);
    };
    const double dotted = b.grid().seconds(3);
    {
        Stereo l = b.bars(1);
        b.notes(l, "e4 g4 b4 e5 . d5 b4 . a4 . b4 d5 e5 . b4 .", 0.9, 0.6, pluck);
        echo(l, {dotted, 0.4, 0.3, true, 4000});
        reverb(l, {1.8, 5000, 1.0, 0.01, 0.2, 300});
        b.add("Lead", "Pluck", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(l, "B5 - - - - - a5 - g5 - - - e5 - - - | G5 - - - - - e5 - d5 - - - b4 - - -", 1.0, 0.95,
                fl);
        echo(l, {dotted, 0.4, 0.25, true, 3500});
        reverb(l, {2.5, 5000, 1.2, 0.02, 0.3, 300});
        b.add("Lead", "Flute", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, ". . B4 . . . . . . . G4 . A4 . . .", 1.0, 0.6, chop);
        echo(l, {b.grid().seconds(2), 0.45, 0.3, true, 4000});
        reverb(l, {2.2, 5000, 1.1, 0.02, 0.3, 300});
        b.add("Lead", "Vocal", 1, std::move(l));
    }
}

void effects(SongBuilder& b)
{
    const int bar = b.grid().framesPerBar();
    {
        Stereo l = b.bars(2);
        placeWrapped(l, riser(2 * bar, 300, 9000, 221), 0, 1.0);
        reverb(l, {1.5, 6000, 1.0, 0.01, 0.25, 300});
        b.add("FX", "Riser", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        placeWrapped(l, impact(1.2, 222), 0, 1.0);
        reverb(l, {2.5, 5000, 1.2, 0.02, 0.3, 200});
        b.add("FX", "Impact", 1, std::move(l));
    }
    {
        Stereo l = wind(bar, 400, 3000, 1, 223);
        reverb(l, {2.5, 4000, 1.2, 0.02, 0.3, 200});
        b.add("FX", "Water", 1, std::move(l));
    }
}

}  // namespace

Song makeDrumBass()
{
    Song song;
    song.folder = "Riverbed";
    song.library = "Beatloom Drum and Bass";
    song.title = "Riverbed - Liquid Drum and Bass";
    song.description = {
        "Liquid drum and bass in E minor at 175 BPM: rolling breaks, a deep reese and sub bass,",
        "pads from Em9 to Cmaj7, glassy bells, a flute line and vocal chops.",
    };
    song.bpm = 175;
    song.arpNotes = "E G A B D";
    song.place = DescriptionPlace::programStore;
    song.pictureTheme = 5;
    song.groups = {"Drums", "Perc", "Bass", "Pad", "Lead", "FX"};

    SongBuilder b(song, 0.0, 175001);
    b.level("Drums", 120);
    b.level("Perc", 76);
    b.level("Bass", 90);
    b.level("Pad", 82);
    b.level("Lead", 76);
    b.level("FX", 66);
    drums(b);
    percussion(b);
    bass(b);
    pads(b);
    lead(b);
    effects(b);
    b.finish();

    song.randomSets = {
        {"Liquid", {"Drums", "Bass", "Pad", "Perc", "Lead", "FX"}},
        {"Roll", {"Drums", "Bass", "Perc", "Pad", "FX"}},
        {"Full", {"Drums", "Bass", "Pad", "Lead", "Perc", "FX"}},
        {"Deep", {"Bass", "Pad", "Drums", "FX", "Lead"}},
    };
    // Columns: 0 Drums, 1 Drums, 2 Perc, 3 Bass, 4 Bass, 5 Pad, 6 Pad,
    // 7 Lead, 8 FX.
    const std::vector<std::string> columns = {"Drums", "Drums", "Perc", "Bass", "Bass",
                                              "Pad",   "Pad",   "Lead", "FX"};
    song.styles = {
        {"Liquid",
         columns,
         {{-1, -1, -1, -1, 5, -1, -1, 8},
          {-1, -1, -1, 3, 5, -1, -1, 8},
          {0, -1, -1, 3, 5, -1, -1, -1},
          {0, 2, -1, 3, 5, -1, 7, -1},
          {1, 2, -1, 4, 6, -1, 7, -1},
          {-1, -1, -1, -1, 5, -1, 7, 8},
          {1, 2, -1, 3, 5, -1, 7, -1},
          {0, 2, -1, 4, 6, -1, -1, 8},
          {-1, -1, -1, -1, 5, -1, -1, 8}}},
        {"Roller",
         columns,
         {{0, -1, -1, 3, -1, -1, -1, -1},
          {0, 2, -1, 3, 5, -1, -1, -1},
          {1, 2, -1, 4, 5, -1, 7, -1},
          {-1, -1, -1, 4, 6, -1, -1, 8},
          {1, 2, -1, 3, 6, -1, 7, -1},
          {0, 2, -1, 3, -1, -1, -1, 8}}},
    };
    song.preview = {"Drums01", "Perc01", "Bass01", "Pad01", "Lead01"};
    return song;
}

}  // namespace demolib
