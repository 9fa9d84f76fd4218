// "Iron Mill": minimal techno at 120 BPM on a C minor drone. Its description
// is the older positional kind (version 1.0), so the program invents its
// random sets and styles.
#include "tools/demolib/Compose.h"
#include "tools/demolib/Drums.h"
#include "tools/demolib/Effects.h"
#include "tools/demolib/FxSounds.h"
#include "tools/demolib/Songs.h"

namespace demolib {

namespace {

void kicks(SongBuilder& b)
{
    const auto k = variants(1, 131, [](uint64_t s) {
        KickParams p;
        p.startHz = 150;
        p.endHz = 48;
        p.pitchTime = 0.03;
        p.decay = 0.42;
        p.click = 0.35;
        p.drive = 2.8;
        return kick(p, s);
    });
    {
        Stereo l = b.bars(1);
        b.hits(l, "X...X...X...X...", k, 1.0);
        b.add("Kick", "Straight", 1, std::move(l));
    }
    {
        // The rumble: the kick through a long dark reverb, kept low.
        Stereo l = b.bars(1);
        b.hits(l, "X...X...X...X...", k, 1.0);
        Stereo rumble = l;
        reverb(rumble, {2.5, 900, 1.3, 0.03, 1.0, 30});
        band(rumble, 30, 250);
        pump(rumble, b.grid().framesPerBeat(), 0.8, 0.3);
        mixInto(l, rumble, 0.5);
        b.add("Kick", "Rumble", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "X..X..X...X..X..", k, 1.0);
        b.add("Kick", "Broken", 1, std::move(l));
    }
}

void hats(SongBuilder& b)
{
    const auto closed = variants(4, 141, [](uint64_t s) {
        return hat(HatParams{0.03, 1.2, 11000, 0.3, 0.0003}, s);
    });
    const auto open = variants(2, 142, [](uint64_t s) {
        return hat(HatParams{0.18, 1.2, 10000, 0.3, 0.0006}, s);
    });
    const auto ride = variants(2, 143, [](uint64_t s) { return cymbal(0.9, 7000, 0.8, s); });
    const ReverbSettings room{0.8, 8000, 0.7, 0.005, 0.12, 500};
    {
        Stereo l = b.bars(1);
        b.hits(l, "..X...X...X...X.", open, 0.8, 0.1, 1);
        reverb(l, room);
        b.add("Hats", "Offbeat", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "xoxoxoxoxoxoxoxo", closed, 0.7, -0.15, 1);
        reverb(l, room);
        b.add("Hats", "Sixteenths", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "x.o.x.o.x.o.x.o.", ride, 0.6, 0.25, 1);
        reverb(l, room);
        b.add("Hats", "Ride", 1, std::move(l));
    }
}

void percussion(SongBuilder& b)
{
    const auto claps = variants(3, 151, [](uint64_t s) {
        return clap(ClapParams{1100, 0.01, 4, 0.25, 0.6}, s);
    });
    const auto toms = variants(2, 152, [](uint64_t s) { return drumHead(98, 1.8, 0.35, 0.1, s); });
    const auto rims = variants(2, 153, [](uint64_t s) { return rim(1800, s); });
    {
        Stereo l = b.bars(1);
        b.hits(l, "....X.......X...", claps, 0.9);
        reverb(l, {2.2, 5000, 1.2, 0.02, 0.35, 400});
        b.add("Perc", "Clap", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, "...x..x.......x.", toms, 0.8, 0.2, 1);
        echo(l, {b.grid().seconds(3), 0.45, 0.3, true, 2000});
        b.add("Perc", "Toms", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.hits(l, ".x..x.x..x...x.x", rims, 0.6, -0.3, 2);
        echo(l, {b.grid().seconds(3), 0.4, 0.3, true, 4000});
        b.add("Perc", "Rimshots", 1, std::move(l));
    }
}

void bass(SongBuilder& b)
{
    SynthPatch p;
    p.saw = 0.8;
    p.sine = 0.4;
    p.cutoff = 220;
    p.keyTrack = 0.3;
    p.q = 1.5;
    p.fourPole = true;
    p.envAmount = 2.0;
    p.fDecay = 0.08;
    p.attack = 0.003;
    p.decay = 0.15;
    p.sustain = 0.5;
    p.release = 0.03;
    p.drive = 1.6;
    const VoiceFn pulse = [p](const Note& n, uint64_t s) { return synthVoice(n, p, s); };
    SynthPatch acid = p;
    acid.sine = 0.0;
    acid.q = 6.0;
    acid.envAmount = 3.2;
    acid.fDecay = 0.15;
    acid.cutoff = 300;
    const VoiceFn acidVoice = [acid](const Note& n, uint64_t s) { return synthVoice(n, acid, s); };
    const int beat = b.grid().framesPerBeat();
    {
        Stereo l = b.bars(1);
        b.notes(l, ". c2 c2 c2 . c2 c2 c2 . c2 c2 c2 . c2 c2 C2", 1.0, 0.5, pulse);
        pump(l, beat, 0.5, 0.2);
        b.add("Bass", "Rolling", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.notes(l, ". . C2 . . . C2 . . . C2 . . . c3 .", 1.0, 0.6, pulse);
        b.add("Bass", "Offbeat", 1, std::move(l));
    }
    {
        Stereo l = b.bars(2);
        b.notes(
            l,
            "C2 c3 . C2 ~eb2 c2 . g1 C2 . bb1 c2 . ~eb2 c2 . | C2 . c3 C2 . g2 ~f2 . C2 c3 . bb1 . c2 ~g1 .",
            1.0, 0.6, acidVoice);
        echo(l, {b.grid().seconds(3), 0.3, 0.15, true, 2500});
        b.add("Bass", "Acid", 2, std::move(l));
    }
}

void stabs(SongBuilder& b)
{
    SynthPatch s;
    s.saw = 1.0;
    s.unison = 2;
    s.detune = 12;
    s.spread = 0.5;
    s.cutoff = 700;
    s.keyTrack = 0.0;
    s.q = 2.0;
    s.envAmount = 2.4;
    s.fDecay = 0.1;
    s.attack = 0.002;
    s.decay = 0.2;
    s.sustain = 0.0;
    s.release = 0.08;
    const VoiceFn stab = [s](const Note& n, uint64_t seed) { return synthVoice(n, s, seed); };
    const std::vector<int> cm7 = {55, 58, 60, 63};
    {
        // Dub chord: a short chord thrown into long echoes.
        Stereo l = b.bars(1);
        b.chordRhythm(l, {cm7}, "...x.....x......", 1.0, 1.0, stab, 0.4);
        echo(l, {b.grid().seconds(3), 0.6, 0.5, true, 2500});
        reverb(l, {2.5, 3500, 1.2, 0.02, 0.3, 300});
        b.add("Stab", "Dub", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        b.chordRhythm(l, {{48, 55, 60, 63}}, "x..x..x...x..x..", 0.7, 1.0, stab, 0.3);
        reverb(l, {1.2, 5000, 0.8, 0.01, 0.15, 300});
        b.add("Stab", "Pulse", 1, std::move(l));
    }
    {
        SynthPatch d = s;
        d.unison = 3;
        d.detune = 20;
        d.attack = 0.5;
        d.sustain = 1.0;
        d.release = 1.0;
        d.envAmount = 0.5;
        d.q = 1.0;
        d.cutoff = 600;
        const VoiceFn drone = [d](const Note& n, uint64_t seed) { return synthVoice(n, d, seed); };
        Stereo l = b.bars(2);
        b.chord(l, 0, 31.5, {48, 55, 63}, 0.8, 1.0, drone, 0.6);
        sweepLowpass(l, 300, 2500, 3.0, true);
        reverb(l, {3.0, 3000, 1.3, 0.03, 0.35, 250});
        b.add("Stab", "Drone", 2, std::move(l));
    }
}

void effects(SongBuilder& b)
{
    const int bar = b.grid().framesPerBar();
    {
        Stereo l = b.bars(2);
        placeWrapped(l, riser(2 * bar, 200, 8000, 161), 0, 1.0);
        reverb(l, {1.8, 6000, 1.0, 0.01, 0.25, 300});
        b.add("FX", "Noise", 2, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        placeWrapped(l, zap(1800, 90, 0.35), b.grid().frame(6), 1.0, -0.3);
        placeWrapped(l, zap(2600, 140, 0.2), b.grid().frame(14), 0.7, 0.3);
        echo(l, {b.grid().seconds(3), 0.5, 0.4, true, 3000});
        b.add("FX", "Zaps", 1, std::move(l));
    }
    {
        Stereo l = b.bars(1);
        const std::vector<Stereo> metal = {cymbal(0.3, 3000, 1.0, 171), cowbell(523.3, 0.2)};
        b.hits(l, "......x.......x.", metal, 0.8, 0.0, 1);
        echo(l, {b.grid().seconds(3), 0.55, 0.45, true, 3500});
        reverb(l, {2.0, 5000, 1.0, 0.02, 0.3, 300});
        b.add("FX", "Metal", 1, std::move(l));
    }
}

}  // namespace

Song makeTechno()
{
    Song song;
    song.folder = "IronMill";
    song.library = "Beatloom Techno";
    song.title = "Iron Mill - Minimal Techno";
    song.description = {
        "Hypnotic minimal techno at 120 BPM on a C minor drone: a rumbling kick, offbeat hats, dub chords "
        "and rolling basslines."};
    song.bpm = 120;
    song.arpNotes = "C Dd F G Ad";
    song.place = DescriptionPlace::infoBls;
    song.pictureTheme = 4;
    song.groups = {"Kick", "Hats", "Perc", "Bass", "Stab", "FX"};

    SongBuilder b(song, 0.04, 120001);
    b.level("Kick", 118);
    b.level("Hats", 84);
    b.level("Perc", 80);
    b.level("Bass", 98);
    b.level("Stab", 80);
    b.level("FX", 66);
    kicks(b);
    hats(b);
    percussion(b);
    bass(b);
    stabs(b);
    effects(b);
    b.finish();
    song.preview = {"Kick02", "Hats01", "Perc01", "Bass01", "Stab01"};
    return song;
}

}  // namespace demolib
