// "Dusty Corners": laid-back hip-hop at 90 BPM in D minor with a heavy
// swing. Each bar moves from Dm9 (beats 1-2) to Gm9 (beats 3-4); melodies
// keep to D F G A C, which sit over both.
#include "tools/demolib/Compose.h"
#include "tools/demolib/Drums.h"
#include "tools/demolib/Effects.h"
#include "tools/demolib/FxSounds.h"
#include "tools/demolib/Songs.h"

namespace demolib {

namespace {

const std::vector<int> kDm9 = {53, 57, 60, 64};  // F A C E over D
const std::vector<int> kGm9 = {53, 57, 58, 62};  // F A Bb D over G

void drums(SongBuilder& b)
{
    const auto kicks = variants(2, 41, [](uint64_t s) {
        KickParams p;
        p.startHz = 130;
        p.endHz = 50;
        p.pitchTime = 0.04;
        p.decay = 0.5;
        p.click = 0.5;
        p.drive = 2.6;
        return kick(p, s);
    });
    const auto snares = variants(3, 42, [](uint64_t s) {
        SnareParams p;
        p.bodyHz = 175;
        p.bodyDecay = 0.16;
        p.noiseDecay = 0.26;
        p.noiseHz = 1400;
        p.snap = 0.6;
        p.drive = 2.4;
        return snare(p, s);
    });
    const auto hats = variants(4, 43, [](uint64_t s) {
        return hat(HatParams{0.05, 0.9, 7000, 0.5, 0.0006}, s);
    });
    const auto open = variants(2, 44, [](uint64_t s) {
        return hat(HatParams{0.3, 0.9, 7000, 0.5, 0.001}, s);
    });
    const auto rims = variants(2, 45, [](uint64_t s) { return rim(1500, s); });
    const auto shakers = variants(3, 46, [](uint64_t s) { return shaker(6500, 0.015, 0.08, s); });
    const ReverbSettings room{0.9, 5000, 0.7, 0.006, 0.14, 400};
    // Old records: the highs roll off and the lows are tight.
    auto dusty = [&](Stereo& l) {
        reverb(l, room);
        band(l, 35, 9000);
        saturate(l, 1.4);
    };
    {
        Stereo l = b.bars(1);
        b.hits(l, "X......x..X.....", kicks, 1.0);
        b.hits(l, "....X.......X...", snares, 0.85);
        b.hits(l, "x.xox.x.x.xox.xo", hats, 0.45, -0.15, 4);
        dusty(l);
        b.add("Drums", "Boom-bap", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X.......X.X.....", kicks, 1.0);
        b.hits(l, "....X.......X..o", snares, 0.85);
        b.hits(l, "x.x.x.x.x.x.x...", hats, 0.45, -0.15, 4);
        b.hits(l, "..............x.", open, 0.4, 0.2, 2);
        dusty(l);
        b.add("Drums", "Lazy", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X..x......X.....", kicks, 1.0);
        b.hits(l, "....x.......x...", rims, 0.7, 0.1, 3);
        b.hits(l, "xoxoxoxoxoxoxoxo", shakers, 0.35, 0.3, 4);
        dusty(l);
        b.add("Drums", "Rimshot", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X.........X.....", kicks, 1.0);
        b.hits(l, "....X.......X...", snares, 0.9);
        dusty(l);
        reverb(l, {1.8, 4000, 1.1, 0.02, 0.18, 500});
        b.add("Drums", "Sparse", 1, std::move(l));
    }
}

void percussion(SongBuilder& b)
{
    const auto shakers = variants(4, 51, [](uint64_t s) { return shaker(7000, 0.02, 0.07, s); });
    const auto snaps = variants(3, 52, [](uint64_t s) { return snap(s); });
    const auto tamb = variants(3, 53, [](uint64_t s) { return tambourine(0.16, s); });
    const auto bongoHi = variants(2, 54, [](uint64_t s) { return drumHead(400, 1.15, 0.15, 0.6, s); });
    const auto bongoLo = variants(2, 55, [](uint64_t s) { return drumHead(290, 1.15, 0.2, 0.5, s); });
    const ReverbSettings room{1.0, 5000, 0.8, 0.01, 0.2, 400};
    {
        Stereo l = b.bars(1);
        b.hits(l, "xoXoxoXoxoXoxoXo", shakers, 0.6, 0.3, 4);
        reverb(l, room);
        b.add("Perc", "Shaker", 1, std::move(l), 72);
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "....x.......x...", snaps, 0.8, -0.1, 3);
        b.hits(l, "..x...x...x...x.", tamb, 0.35, 0.35, 3);
        reverb(l, room);
        b.add("Perc", "Snaps", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "..x..x.....x.x..", bongoHi, 0.7, 0.3, 4);
        b.hits(l, "x.....o.x.......", bongoLo, 0.7, -0.3, 4);
        reverb(l, room);
        b.add("Perc", "Bongos", 1, std::move(l), 56);
    }
}

void bass(SongBuilder& b)
{
    SynthPatch p;
    p.saw = 0.35;
    p.sine = 0.7;
    p.sub = 0.15;
    p.cutoff = 380;
    p.keyTrack = 0.3;
    p.q = 0.9;
    p.envAmount = 1.3;
    p.fDecay = 0.2;
    p.attack = 0.006;
    p.decay = 0.5;
    p.sustain = 0.75;
    p.release = 0.07;
    p.drive = 1.1;
    const VoiceFn round = [p](const Note& n, uint64_t s) { return synthVoice(n, p, s); };
    {
        Stereo l = b.bars(1);
        b.notes(l, "D2 - - . . . a1 . G1 - - . . f1 . g1", 1.0, 0.85, round);
        b.add("Bass", "Walk", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "D2 - - - - - ~c2 - G1 - - - - - ~a1 -", 1.0, 0.95, round);
        b.add("Bass", "Sub", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "D2 . . d2 . . D3 . G1 . . g1 . . f2 g2", 1.0, 0.6, round);
        b.add("Bass", "Bounce", 1, std::move(l));
    }
}

void keys(SongBuilder& b)
{
    const VoiceFn rhodes = [](const Note& n, uint64_t) { return epiano(n, EPianoPatch{1.3, 0.2, 3.0, 0.2}); };
    const VoiceFn bell = [](const Note& n, uint64_t) { return epiano(n, EPianoPatch{2.2, 0.35, 2.0, 0.15}); };
    auto warm = [](Stereo& l) {
        chorus(l, 2.5, 4, 0.4);
        reverb(l, {1.6, 4000, 0.9, 0.02, 0.2, 250});
        band(l, 90, 8000);
    };
    {
        Stereo l = b.bars(1);
        // The second chord comes an eighth early, on the "and" of two.
        b.chord(l, 0, 6, kDm9, 0.8, 1.0, rhodes, 0.4, 0.015);
        b.chord(l, 6, 9, kGm9, 0.75, 1.0, rhodes, 0.4, 0.015);
        warm(l);
        b.add("Keys", "Rhodes", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        for (const Hit& h : parseHits("x..x...x..x..x.."))
            b.chord(l, h.step, 1.5, h.step < 7 ? kDm9 : kGm9, 0.7 * h.vel + 0.2, 1.0, rhodes, 0.3, 0.006);
        warm(l);
        b.add("Keys", "Stabs", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.chord(l, 0, 7, kDm9, 0.7, 1.0, rhodes, 0.4, 0.02);
        b.chord(l, 8, 7, kGm9, 0.7, 1.0, rhodes, 0.4, 0.02);
        b.chord(l, 16, 7, kDm9, 0.7, 1.0, rhodes, 0.4, 0.02);
        b.chord(l, 24, 7, kGm9, 0.7, 1.0, rhodes, 0.4, 0.02);
        b.notes(l, ". . . . a5 . c6 . . . . . . . . . | . . d6 . c6 . a5 . g5 - - - f5 . . .", 0.7, 0.8, bell,
                0.2);
        warm(l);
        b.add("Keys", "Melody", 2, std::move(l));
    }
}

void lead(SongBuilder& b)
{
    const VoiceFn fl = [](const Note& n, uint64_t s) { return flute(n, s); };
    SynthPatch whistle;
    whistle.saw = 0.0;
    whistle.sine = 1.0;
    whistle.pulse = 0.08;
    whistle.cutoff = 2500;
    whistle.attack = 0.03;
    whistle.decay = 0.5;
    whistle.sustain = 0.8;
    whistle.release = 0.12;
    whistle.vibrato = 18;
    whistle.vibratoDelay = 0.12;
    const VoiceFn wh = [whistle](const Note& n, uint64_t s) { return synthVoice(n, whistle, s); };
    const DelaySettings slap{b.grid().seconds(3), 0.35, 0.25, true, 3000};
    {
        Stereo l = b.bars(1);
        b.notes(l, "a4 - - c5 . d5 - - . . c5 a4 - - g4 -", 1.0, 0.9, fl);
        echo(l, slap);
        reverb(l, {1.8, 5000, 1.0, 0.02, 0.25, 300});
        b.add("Lead", "Flute", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "d5 - - - - - . . c5 - a4 - - - . .", 0.9, 0.95, wh);
        echo(l, slap);
        reverb(l, {2.2, 5000, 1.0, 0.02, 0.3, 300});
        b.add("Lead", "Whistle", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, ". . f5 g5 a5 . . . . . g5 f5 d5 - - -", 1.0, 0.9, fl);
        echo(l, slap);
        reverb(l, {1.8, 5000, 1.0, 0.02, 0.25, 300});
        b.add("Lead", "Answer", 1, std::move(l));
    }
}

void vocals(SongBuilder& b)
{
    const VoiceFn ooh = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'u', 'o', 0.25, 0.6, 14, 0.1, 0.6}, s);
    };
    const VoiceFn hum = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'u', 'u', 0.08, 0.3, 10, 0.05, 0.4}, s);
    };
    const VoiceFn chop = [](const Note& n, uint64_t s) {
        return voice(n, VoicePatch{'a', 'e', 0.008, 0.05, 0, 0.08, 1.0}, s);
    };
    {
        Stereo l = b.bars(1);
        b.chord(l, 0, 15, {62, 65, 69}, 0.9, 1.0, ooh, 0.6);
        chorus(l, 4.0, 2, 0.4);
        reverb(l, {2.5, 4500, 1.2, 0.03, 0.35, 250});
        b.add("Vox", "Ooh", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, "a4 - - - g4 - f4 - - - - - d4 - - -", 1.0, 0.9, hum);
        reverb(l, {2.0, 4500, 1.0, 0.02, 0.3, 250});
        b.add("Vox", "Hum", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, ". . . D5 . . A4 . . . . . c5 . a4 .", 1.0, 0.5, chop);
        echo(l, {b.grid().seconds(2), 0.4, 0.3, true, 4000});
        reverb(l, {1.6, 5000, 1.0, 0.02, 0.25, 300});
        b.add("Vox", "Chops", 1, std::move(l));
    }
}

void effects(SongBuilder& b)
{
    const int bar = b.grid().framesPerBar();
    {
        Stereo l = vinyl(bar, 9.0, 61);
        b.add("FX", "Vinyl", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        Note n;
        n.midi = 62;
        n.gate = 0.5;
        const Stereo src = voice(n, VoicePatch{'a', 'o', 0.005, 0.05, 0, 0.15, 1.2}, 62);
        placeWrapped(l, scratch(src, b.grid().seconds(4), 2, 0.18), b.grid().frame(4), 1.0);
        placeWrapped(l, scratch(src, b.grid().seconds(3), 3, 0.12), b.grid().frame(12), 0.9);
        band(l, 150, 7000);
        b.add("FX", "Scratch", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        placeWrapped(l, whoosh(b.grid().seconds(8), 400, 4000, 63), b.grid().frame(8), 1.0);
        placeWrapped(l, vinyl(bar, 3.0, 64), 0, 0.4);
        reverb(l, {2.0, 4000, 1.0, 0.01, 0.3, 300});
        b.add("FX", "Tape-wind", 1, std::move(l));
    }
}

}  // namespace

Song makeHipHop()
{
    Song song;
    song.folder = "DustyCorners";
    song.library = "Beatloom Hip-Hop";
    song.title = "Dusty Corners - Lo-fi Hip-Hop";
    song.description = {
        "A dusty, swinging hip-hop beat in D minor at 90 BPM: boom-bap drums off an old record,",
        "electric piano chords moving from Dm9 to Gm9, flute and whistle lines, hums and scratches.",
    };
    song.bpm = 90;
    song.arpNotes = "D F G A C";
    song.pictureTheme = 1;
    song.groups = {"Drums", "Perc", "Bass", "Keys", "Lead", "Vox", "FX"};

    SongBuilder b(song, 0.22, 90001);
    b.level("Drums", 118);
    b.level("Perc", 78);
    b.level("Bass", 100);
    b.level("Keys", 88);
    b.level("Lead", 74);
    b.level("Vox", 76);
    b.level("FX", 64);
    drums(b);
    percussion(b);
    bass(b);
    keys(b);
    lead(b);
    vocals(b);
    effects(b);
    b.finish();

    song.randomSets = {
        {"Chill", {"Drums", "Bass", "Keys", "FX", "Perc", "Vox", "Lead"}},
        {"Smoke", {"Drums", "Keys", "Bass", "Vox", "FX", "Perc"}},
        {"Full", {"Drums", "Bass", "Keys", "Perc", "Lead", "Vox", "FX"}},
        {"Cypher", {"Drums", "Bass", "Perc", "FX", "Vox", "Lead"}},
    };
    // Columns: 0 Drums, 1 Drums, 2 Perc, 3 Bass, 4 Keys, 5 Keys, 6 Lead,
    // 7 Vox, 8 FX.
    const std::vector<std::string> columns = {"Drums", "Drums", "Perc", "Bass", "Keys",
                                              "Keys",  "Lead",  "Vox",  "FX"};
    song.styles = {
        {"Session",
         columns,
         {{-1, -1, -1, -1, 4, -1, -1, -1},
          {-1, -1, -1, 3, 4, -1, -1, 8},
          {0, -1, -1, 3, 4, -1, -1, 8},
          {0, 2, -1, 3, 4, -1, 6, 8},
          {0, 2, -1, 3, -1, 5, 6, 7},
          {1, 2, -1, 3, 5, -1, -1, 7},
          {-1, -1, -1, -1, 5, -1, 6, 8},
          {1, 2, -1, 3, 4, -1, 6, 8},
          {0, -1, -1, 3, 4, -1, -1, 8},
          {-1, -1, -1, -1, 4, -1, -1, 8}}},
        {"Cypher",
         columns,
         {{0, -1, -1, 3, -1, -1, -1, 8},
          {0, 2, -1, 3, 4, -1, -1, 8},
          {1, 2, -1, 3, 4, -1, 7, -1},
          {1, 2, -1, 3, 5, -1, 6, 7},
          {0, -1, -1, 3, -1, -1, -1, 8},
          {0, 2, -1, 3, 4, -1, 6, -1}}},
        {"Night",
         {"Drums", "Bass", "Keys", "Vox", "FX"},
         {{-1, -1, 2, -1, 4, -1, -1, -1},
          {0, 1, 2, -1, 4, -1, -1, -1},
          {0, 1, 2, 3, 4, -1, -1, -1},
          {-1, 1, 2, 3, -1, -1, -1, -1},
          {0, 1, 2, 3, 4, -1, -1, -1},
          {-1, -1, 2, -1, 4, -1, -1, -1}}},
    };
    song.preview = {"Drums01", "Perc01", "Bass01", "Keys01", "Lead01", "FX01"};
    return song;
}

}  // namespace demolib
