// "Slow Tide": downtempo at 105 BPM in G minor. Two-bar loops go from Gm9 to
// Ebmaj9; one-bar loops keep to G Bb C D F, at home over both.
#include "tools/demolib/Compose.h"
#include "tools/demolib/Drums.h"
#include "tools/demolib/Effects.h"
#include "tools/demolib/FxSounds.h"
#include "tools/demolib/Songs.h"

namespace demolib {

namespace {

const std::vector<int> kGm9 = {58, 62, 65, 69};     // Bb D F A over G
const std::vector<int> kEbmaj9 = {58, 62, 65, 67};  // Bb D F G over Eb
const std::vector<int> kSafe = {55, 58, 62, 65};    // G Bb D F: both chords

void drums(SongBuilder& b)
{
    const auto kicks = variants(1, 101, [](uint64_t s) {
        KickParams p;
        p.startHz = 120;
        p.endHz = 49;
        p.pitchTime = 0.04;
        p.decay = 0.55;
        p.click = 0.2;
        p.drive = 1.5;
        return kick(p, s);
    });
    const auto snares = variants(3, 102, [](uint64_t s) {
        SnareParams p;
        p.bodyHz = 190;
        p.bodyDecay = 0.12;
        p.noiseDecay = 0.3;
        p.noiseHz = 1200;
        p.snap = 0.2;
        p.drive = 1.3;
        p.width = 0.5;
        return snare(p, s);
    });
    const auto rims = variants(2, 103, [](uint64_t s) { return rim(1400, s); });
    const auto hats = variants(4, 104, [](uint64_t s) {
        return hat(HatParams{0.06, 0.8, 8000, 0.6, 0.001}, s);
    });
    const auto brush = variants(4, 105, [](uint64_t s) { return shaker(4500, 0.05, 0.12, s); });
    const ReverbSettings room{1.4, 4500, 1.0, 0.015, 0.2, 400};
    {
        Stereo l = b.bars(1);
        b.hits(l, "X.......x.X.....", kicks, 1.0);
        b.hits(l, "....x.......x...", snares, 0.7);
        b.hits(l, "x.o.x.o.x.o.x.o.", hats, 0.4, -0.2, 5);
        reverb(l, room);
        b.add("Drums", "Slow", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X.........X.....", kicks, 0.9);
        b.hits(l, "x.ox.ox.x.ox.ox.", brush, 0.6, 0.2, 6);
        b.hits(l, "....x.......x..o", rims, 0.5, -0.2, 4);
        reverb(l, room);
        b.add("Drums", "Brushes", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.hits(l, "X......x..X.....|X.....x....x....", kicks, 1.0);
        b.hits(l, "....X.......X...|....X.......X.o.", snares, 0.85);
        b.hits(l, "x.x.x.x.x.x.x.x.|x.x.x.x.x.x.x.x.", hats, 0.35, -0.2, 5);
        reverb(l, {2.0, 4000, 1.2, 0.02, 0.25, 400});
        saturate(l, 1.3);
        b.add("Drums", "Trip-hop", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X.......X.......", kicks, 0.9);
        b.hits(l, "..o...o...o...o.", brush, 0.5, 0.3, 6);
        reverb(l, room);
        b.add("Drums", "Minimal", 1, std::move(l));
    }
}

void percussion(SongBuilder& b)
{
    const auto shakers = variants(4, 111, [](uint64_t s) { return shaker(6000, 0.025, 0.09, s); });
    const auto congaHi = variants(2, 112, [](uint64_t s) { return drumHead(310, 1.1, 0.25, 0.4, s); });
    const auto congaLo = variants(2, 113, [](uint64_t s) { return drumHead(210, 1.1, 0.35, 0.3, s); });
    const std::vector<Stereo> clave = {woodblock(2093, 0.05)};
    const std::vector<Stereo> block = {woodblock(784, 0.09)};
    const ReverbSettings room{1.8, 4500, 1.0, 0.02, 0.25, 400};
    {
        Stereo l = b.bars(1);
        b.hits(l, "xoxoXoxoxoxoXoxo", shakers, 0.6, 0.3, 6);
        reverb(l, room);
        b.add("Perc", "Shaker", 1, std::move(l), 70);
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "..x..x.....x.x..", congaHi, 0.7, 0.3, 5);
        b.hits(l, "x.....o.x.....o.", congaLo, 0.7, -0.3, 5);
        reverb(l, room);
        b.add("Perc", "Congas", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "x..x..x...x.x...", clave, 0.5, 0.4, 3);
        b.hits(l, "......x.......x.", block, 0.5, -0.4, 3);
        reverb(l, room);
        b.add("Perc", "Clave", 1, std::move(l));
    }
}

void bass(SongBuilder& b)
{
    SynthPatch p;
    p.saw = 0.4;
    p.sine = 0.6;
    p.sub = 0.2;
    p.cutoff = 350;
    p.keyTrack = 0.3;
    p.q = 1.0;
    p.envAmount = 1.0;
    p.fDecay = 0.3;
    p.attack = 0.01;
    p.decay = 0.6;
    p.sustain = 0.8;
    p.release = 0.12;
    const VoiceFn round = [p](const Note& n, uint64_t s) { return synthVoice(n, p, s); };
    SynthPatch pl = p;
    pl.saw = 0.8;
    pl.sine = 0.3;
    pl.cutoff = 300;
    pl.envAmount = 2.5;
    pl.fDecay = 0.12;
    pl.q = 2.0;
    pl.decay = 0.35;
    pl.sustain = 0.3;
    const VoiceFn pluck = [pl](const Note& n, uint64_t s) { return synthVoice(n, pl, s); };
    {
        Stereo l = b.bars(2);
        b.notes(l, "G1 - - - - - - . . . d2 . f2 - d2 . | Eb2 - - - - - - . . . bb1 . g1 - f1 .", 1.0, 0.9,
                round);
        b.add("Bass", "Round", 2, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(l, "G1 - - - - - - - - - ~bb1 - - - ~a1 - | Eb1 - - - - - - - - - ~f1 - - - ~d1 -", 1.0, 0.98,
                round);
        b.add("Bass", "Slide", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "G1 . g2 . . d2 . . G1 . . f2 . d2 . c2", 1.0, 0.6, pluck);
        echo(l, {b.grid().seconds(3), 0.25, 0.15, true, 2000});
        b.add("Bass", "Pluck", 1, std::move(l));
    }
}

void pads(SongBuilder& b)
{
    SynthPatch s;
    s.saw = 1.0;
    s.unison = 4;
    s.detune = 18;
    s.spread = 0.8;
    s.cutoff = 1100;
    s.keyTrack = 0.0;
    s.q = 0.7;
    s.envAmount = 1.0;
    s.fAttack = 1.0;
    s.fDecay = 2.0;
    s.fSustain = 0.5;
    s.attack = 0.6;
    s.decay = 1.0;
    s.sustain = 1.0;
    s.release = 1.2;
    s.vibrato = 6;
    s.vibratoHz = 4.5;
    s.vibratoDelay = 0.3;
    const VoiceFn strings = [s](const Note& n, uint64_t seed) { return synthVoice(n, s, seed); };
    SynthPatch warm;
    warm.saw = 0.0;
    warm.pulse = 0.0;
    warm.sine = 0.8;
    warm.sub = 0.0;
    warm.noise = 0.02;
    warm.cutoff = 2000;
    warm.attack = 0.8;
    warm.decay = 1.0;
    warm.sustain = 1.0;
    warm.release = 1.0;
    warm.vibrato = 8;
    warm.vibratoHz = 0.7;
    warm.vibratoDelay = 0.0;
    const VoiceFn glow = [warm](const Note& n, uint64_t seed) {
        // A soft organ-like tone: the pitch with a quiet octave and twelfth.
        Stereo a = synthVoice(n, warm, seed);
        Note up = n;
        up.midi += 12;
        up.vel *= 0.35;
        Stereo b2 = synthVoice(up, warm, seed + 1);
        up.midi += 7;
        up.vel *= 0.5;
        Stereo c = synthVoice(up, warm, seed + 2);
        mixInto(a, b2);
        mixInto(a, c);
        return a;
    };
    {
        Stereo l = b.bars(2);
        b.chord(l, 0, 15.5, kGm9, 0.85, 1.0, strings, 0.7);
        b.chord(l, 16, 15.5, kEbmaj9, 0.85, 1.0, strings, 0.7);
        chorus(l, 4.0, 2, 0.45);
        reverb(l, {3.0, 4000, 1.3, 0.03, 0.35, 250});
        b.add("Pad", "Strings", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.chord(l, 0, 15.5, kSafe, 0.8, 1.0, glow, 0.6);
        chorus(l, 3.0, 1, 0.4);
        reverb(l, {3.0, 4000, 1.3, 0.03, 0.35, 250});
        b.add("Pad", "Glow", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.chord(l, 0, 15.5, {55, 58, 62, 69}, 0.8, 1.0, glow, 0.6);
        b.chord(l, 16, 15.5, {55, 58, 63, 70}, 0.8, 1.0, glow, 0.6);
        sweepLowpass(l, 600, 3000, 0.8, true);
        reverb(l, {3.5, 3500, 1.4, 0.04, 0.4, 250});
        b.add("Pad", "Swell", 2, std::move(l));
    }
}

void keys(SongBuilder& b)
{
    const VoiceFn marimba = [](const Note& n, uint64_t s) { return mallet(n, MalletKind::marimba, s); };
    const VoiceFn kalimba = [](const Note& n, uint64_t s) { return mallet(n, MalletKind::kalimba, s); };
    const VoiceFn rhodes = [](const Note& n, uint64_t) {
        return epiano(n, EPianoPatch{1.1, 0.18, 3.5, 0.25});
    };
    const double dotted = b.grid().seconds(3);
    {
        Stereo l = b.bars(1);
        b.notes(l, "g4 . d5 . bb4 . f5 . g4 . d5 . c5 . bb4 .", 0.9, 0.8, marimba);
        echo(l, {dotted, 0.35, 0.25, true, 4000});
        reverb(l, {2.0, 5000, 1.1, 0.02, 0.25, 300});
        b.add("Keys", "Marimba", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "d5 . . f5 . . g5 . . bb5 . . c6 . d6 .", 0.9, 0.9, kalimba);
        echo(l, {dotted, 0.45, 0.3, true, 5000});
        reverb(l, {2.4, 5000, 1.2, 0.02, 0.3, 300});
        b.add("Keys", "Kalimba", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.chord(l, 0, 14, kGm9, 0.7, 1.0, rhodes, 0.4, 0.03);
        b.chord(l, 16, 14, kEbmaj9, 0.7, 1.0, rhodes, 0.4, 0.03);
        chorus(l, 2.5, 4, 0.4);
        reverb(l, {2.2, 4500, 1.1, 0.02, 0.25, 250});
        b.add("Keys", "Rhodes", 2, std::move(l));
    }
}

void textures(SongBuilder& b)
{
    const int bar = b.grid().framesPerBar();
    {
        Stereo l = wind(bar, 300, 2500, 1, 121);
        reverb(l, {2.5, 4000, 1.2, 0.02, 0.3, 200});
        b.add("Texture", "Wind", 1, std::move(l));
    }
    {
        Stereo l = vinyl(bar, 60.0, 122);
        band(l, 600, 12000);
        reverb(l, {1.5, 6000, 1.0, 0.01, 0.2, 300});
        b.add("Texture", "Rain", 1, std::move(l));
    }
    {
        SynthPatch d;
        d.saw = 0.6;
        d.sine = 0.4;
        d.unison = 2;
        d.detune = 8;
        d.spread = 0.6;
        d.cutoff = 500;
        d.keyTrack = 0.0;
        d.attack = 0.6;
        d.sustain = 1.0;
        d.release = 1.2;
        const VoiceFn drone = [d](const Note& n, uint64_t s) { return synthVoice(n, d, s); };
        Stereo l = b.bars(1);
        b.chord(l, 0, 15.8, {43, 50}, 0.9, 1.0, drone, 0.5);
        sweepLowpass(l, 400, 1600, 2.0, true);
        reverb(l, {3.0, 3000, 1.3, 0.03, 0.35, 200});
        b.add("Texture", "Drone", 1, std::move(l));
    }
}

void vocals(SongBuilder& b)
{
    const VoiceFn aah = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'a', 'o', 0.4, 0.9, 14, 0.1, 0.6}, s);
    };
    const VoiceFn ooh = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'o', 'u', 0.05, 0.3, 16, 0.08, 0.7}, s);
    };
    const VoiceFn breath = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'a', 'e', 0.15, 0.4, 0, 1.5, 0.8}, s);
    };
    {
        Stereo l = b.bars(2);
        b.chord(l, 0, 15.5, {62, 65, 69}, 0.85, 1.0, aah, 0.6);
        b.chord(l, 16, 15.5, {62, 67, 70}, 0.85, 1.0, aah, 0.6);
        chorus(l, 4.0, 2, 0.4);
        reverb(l, {3.5, 4000, 1.4, 0.04, 0.4, 250});
        b.add("Vox", "Choir", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "d5 - - - c5 - bb4 - - - g4 - - - . .", 1.0, 0.9, ooh);
        echo(l, {b.grid().seconds(3), 0.4, 0.25, true, 4000});
        reverb(l, {3.0, 4000, 1.2, 0.03, 0.35, 250});
        b.add("Vox", "Ooh-line", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, ". . . . . . . . d4 - - - . . . .", 1.0, 0.9, breath);
        band(l, 400, 9000);
        reverb(l, {2.5, 5000, 1.2, 0.02, 0.35, 300});
        b.add("Vox", "Breath", 1, std::move(l));
    }
}

}  // namespace

Song makeDowntempo()
{
    Song song;
    song.folder = "SlowTide";
    song.library = "Beatloom Downtempo";
    song.title = "Slow Tide - Downtempo";
    song.description = {
        "A slow, warm downtempo piece in G minor at 105 BPM: soft and trip-hop drums, round basses,",
        "strings moving from Gm9 to Ebmaj9, marimba and kalimba figures, wind, rain and a quiet choir.",
    };
    song.bpm = 105;
    song.arpNotes = "G Ad C D F";
    song.pictureTheme = 3;
    song.groups = {"Drums", "Perc", "Bass", "Pad", "Keys", "Texture", "Vox"};

    SongBuilder b(song, 0.06, 105001);
    b.level("Drums", 112);
    b.level("Perc", 74);
    b.level("Bass", 100);
    b.level("Pad", 82);
    b.level("Keys", 80);
    b.level("Texture", 62);
    b.level("Vox", 72);
    drums(b);
    percussion(b);
    bass(b);
    pads(b);
    keys(b);
    textures(b);
    vocals(b);
    b.finish();

    song.randomSets = {
        {"Drift", {"Drums", "Bass", "Pad", "Keys", "Perc", "Texture", "Vox"}},
        {"Calm", {"Pad", "Keys", "Texture", "Vox", "Bass", "Perc"}},
        {"Full", {"Drums", "Bass", "Pad", "Keys", "Perc", "Vox", "Texture"}},
        {"Deep", {"Drums", "Bass", "Texture", "Vox", "Perc", "Keys"}},
    };
    // Columns: 0 Drums, 1 Drums, 2 Perc, 3 Bass, 4 Pad, 5 Pad, 6 Keys,
    // 7 Keys, 8 Texture, 9 Vox.
    const std::vector<std::string> columns = {"Drums", "Drums", "Perc", "Bass",    "Pad",
                                              "Pad",   "Keys",  "Keys", "Texture", "Vox"};
    song.styles = {
        {"Tide",
         columns,
         {{-1, -1, -1, -1, 4, -1, -1, 8},
          {-1, -1, -1, 3, 4, -1, 6, 8},
          {0, -1, -1, 3, 4, -1, 6, -1},
          {0, 2, -1, 3, 4, -1, 6, 9},
          {1, 2, -1, 3, 5, -1, 7, 9},
          {-1, -1, -1, -1, 5, -1, 7, 8},
          {1, 2, -1, 3, 4, -1, 7, 9},
          {0, 2, -1, 3, 4, -1, 6, -1},
          {-1, -1, -1, -1, 4, -1, -1, 8}}},
        {"Late",
         columns,
         {{0, -1, -1, 3, -1, -1, -1, 8},
          {0, 2, -1, 3, 4, -1, -1, 8},
          {1, 2, -1, 3, 4, -1, 6, 9},
          {1, 2, -1, 3, 5, -1, 7, 9},
          {-1, -1, -1, 3, 5, -1, -1, 8},
          {0, 2, -1, 3, 4, -1, 6, -1}}},
        {"Ambient",
         {"Pad", "Keys", "Texture", "Vox", "Bass"},
         {{0, -1, 2, -1, -1, -1, -1, -1},
          {0, 1, 2, -1, -1, -1, -1, -1},
          {0, 1, 2, 3, -1, -1, -1, -1},
          {0, 1, -1, 3, 4, -1, -1, -1},
          {0, -1, 2, 3, 4, -1, -1, -1},
          {0, -1, 2, -1, -1, -1, -1, -1}}},
    };
    song.preview = {"Drums01", "Perc01", "Bass01", "Pad01", "Keys01", "Vox02"};
    return song;
}

}  // namespace demolib
