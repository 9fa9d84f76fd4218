#include "tools/demolib/Library.h"

#include "tools/demolib/Description.h"
#include "tools/demolib/Mixdown.h"
#include "tools/demolib/Picture.h"

namespace demolib {

namespace {

constexpr int kPreviewBars = 8;

// A description's scrambling seed follows from the song's folder name, so
// every build writes the same bytes.
uint32_t seedOf(const std::string& name)
{
    uint32_t h = 2166136261u;
    for (unsigned char c : name) h = (h ^ c) * 16777619u;
    return h;
}

}  // namespace

bool writeSong(LibraryFiles& out, const Song& song)
{
    const std::string folder = "Song/" + song.folder + "/";
    bool ok = true;
    for (const Sample& s : song.samples)
        ok = out.wave(folder + s.fileWord() + ".wav", toPcm16(s.audio), 2) && ok;
    const Stereo preview = previewOf(song, kPreviewBars);
    ok = out.wave(folder + "preview.wav", toPcm16(preview), 2) && ok;
    switch (song.place) {
        case DescriptionPlace::songFolder:
            ok = out.description(folder + song.folder + ".bls", describe12(song), seedOf(song.folder)) && ok;
            break;
        case DescriptionPlace::infoBls:
            ok = out.description(folder + "info.bls", describe10(song), seedOf(song.folder)) && ok;
            break;
        case DescriptionPlace::programStore:
            ok = out.description("Bls/" + song.folder + ".bls", describe12(song), seedOf(song.folder)) && ok;
            break;
    }
    const Picture picture = paintPicture(song, preview);
    ok = out.picture(folder + "library.gif", picture) && ok;
    if (!song.library.empty()) ok = out.picture("Images/" + song.library + ".gif", picture) && ok;
    out.prune(folder);
    return ok;
}

const char* synthNoteName(int index)
{
    static const char* const kNames[36] = {
        "c2.wav",  "c#2.wav", "d2.wav",  "d#2.wav", "e2.wav",  "f2.wav",  "f#2.wav", "g2.wav",  "g#2.wav",
        "a2.wav",  "a#2.wav", "b2.wav",  "c3.wav",  "c#3.wav", "d3.wav",  "d#3.wav", "e3.wav",  "f3.wav",
        "f#3.wav", "g3.wav",  "g#3.wav", "a3.wav",  "a#3.wav", "b3.wav",  "c4.wav",  "c#4.wav", "d4.wav",
        "d#4.wav", "e4.wav",  "f4.wav",  "f#4.wav", "g4.wav",  "g#4.wav", "a4.wav",  "a#4.wav", "b4.wav",
    };
    return index >= 0 && index < 36 ? kNames[index] : "";
}

bool writeSynth(LibraryFiles& out, const SynthSound& sound, const Picture& picture)
{
    const std::string folder = "Synth/" + sound.name + "/";
    bool ok = true;
    for (size_t i = 0; i < sound.notes.size() && i < 36; ++i)
        ok = out.wave(folder + synthNoteName(static_cast<int>(i)), toPcm16Mono(sound.notes[i]), 1) && ok;
    if (picture.width > 0) ok = out.picture(folder + "picture.gif", picture) && ok;
    out.prune(folder);
    return ok;
}

}  // namespace demolib
