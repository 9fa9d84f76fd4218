// The synth panel worked as a person works it: keys pressed with the mouse
// and the computer keyboard, a preset kept, the groove played, the document
// saved and opened again, a sound picked in the synth browser. What the
// device played is checked note by note against the step grid of the groove.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/kelAtomsFiles.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "library/BLprefs.h"
#include "e2e/GrooveSession.h"
#include "library/BLDocument.h"
#include "library/BLSynthIce.h"
#include "support/NoteFinder.h"

namespace groovee2e {
namespace {

constexpr int kBeat126 = 44100 * 60 / 126;
// Stage points of the synth panel (shown at 20, 104) and the synth browser.
constexpr int kPanelX = 20, kPanelY = 104;

std::string panelAt(int x, int y) { return GrooveSession::at(kPanelX + x, kPanelY + y); }

std::string kelOf(const std::string& system)
{
    char kel[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(system.c_str(), kel, sizeof kel) ? std::string(kel) : std::string();
}

class SynthSession : public GrooveSession {
protected:
    // A document of NightShift with Drums02 on track 1 and this synth state.
    // The track plays as a track plays while the output starts (full
    // volume, centred); the synthesizer sounds on the left side only, so the
    // right side is the groove alone.
    std::string writeSynthDocument(const std::string& file, BLSynthIce state)
    {
        BLIceimage ice;
        ice.valid = 1;
        std::snprintf(ice.songName, sizeof ice.songName, "NightShift");
        ice.groove.tracks[0] = BLTrack{127, 0, 0, 1};
        ice.bpm = 126.0f;
        state.current.pan = 127;
        BLSynthDefaultDocument synth;
        synth.state = state;
        const std::string path = dir.file(file);
        EXPECT_TRUE(BLDocument_Write(kelOf(path).c_str(), ice, &synth));
        return path;
    }
    BLSynthIce readSynth(const std::string& path)
    {
        BLIceimage ice;
        BLSynthDefaultDocument synth;
        const BLDocumentRead r = BLDocument_Read(kelOf(path).c_str(), &ice, &synth);
        EXPECT_TRUE(r.synthRead) << path;
        return synth.state;
    }

    // What the synthesizer played on the groove's timeline. The right side
    // is the groove alone (Drums02 at volume 127 under the main volume 63,
    // as the mixer gains it): it tells which captured frame is which frame of
    // the timeline, should a loaded machine have let the output run dry
    // (the device then plays silence in between). The left side less the
    // groove is the synthesizer.
    std::vector<double> synthOnly()
    {
        const std::vector<int16_t> sound = readCapture(capture);
        const Loop drums = readLoop(library + "/Song/NightShift/Drums02.wav");
        EXPECT_EQ(drums.frames(), 4 * kBeat126);
        if (drums.frames() <= 0) return {};
        const auto g = static_cast<float>(static_cast<long double>(127) / 128 * 63 / 128);
        auto groove = [&](size_t t, int side) {
            const float s = drums.samples[(t % static_cast<size_t>(drums.frames())) * 2 + static_cast<size_t>(side)];
            return static_cast<int>(s * g);
        };
        const size_t frames = sound.size() / 2;
        auto matches = [&](size_t i, size_t t) {
            for (size_t k = 0; k < 8 && i + k < frames; ++k)
                if (sound[2 * (i + k) + 1] != groove(t + k, 1)) return false;
            return true;
        };
        std::vector<double> rest;
        size_t skipped = 0, loud = 0;
        for (size_t i = 0, t = 0; i < frames; ++i) {
            if (!matches(i, t)) {
                ++skipped;
                if (sound[2 * i] != 0) ++loud;
                continue;
            }
            rest.push_back(sound[2 * i] - groove(t++, 0));
        }
        EXPECT_LT(skipped, frames / 4) << "the groove is heard";
        EXPECT_EQ(loud, 0u) << "only silence lies between the groove's frames";
        return rest;
    }

    // Checks that the notes of `entries` sound one after another on the grid
    // of `perBeat` steps a beat from the groove's first frame, for `steps` steps.
    void expectArpeggio(const std::string& soundName, const std::vector<std::string>& entries, int perBeat,
                        int steps)
    {
        std::vector<double> rest = synthOnly();
        ASSERT_GT(rest.size(), static_cast<size_t>(steps * kBeat126 / perBeat + 44100));
        const std::string folder = library + "/Synth/" + soundName + "/";
        for (int step = 0; step < steps; ++step) {
            // The first step sounds the second entry.
            const std::string& e = entries[static_cast<size_t>(step + 1) % entries.size()];
            SCOPED_TRACE(soundName + " step " + std::to_string(step) + " " + e);
            const Loop note = readLoop(folder + e.substr(0, e.size() - 1) + std::to_string(e.back() - '0' + 1) + ".wav");
            ASSERT_GT(note.frames(), 0);
            std::vector<double> f(static_cast<size_t>(note.frames()));
            for (int i = 0; i < note.frames(); ++i) f[static_cast<size_t>(i)] = note.samples[static_cast<size_t>(i * note.channels)];
            const int due = static_cast<int>(static_cast<int64_t>(step) * kBeat126 / perBeat);
            const notefinder::Found found = notefinder::takeNote(rest, f, due, 200, 2048, kBeat126 / perBeat);
            EXPECT_EQ(found.at, due) << "on the groove's step grid";
            EXPECT_GT(found.match, 0.995) << "this very note";
        }
        const size_t end = static_cast<size_t>(steps * kBeat126 / perBeat);
        EXPECT_LT(notefinder::largest(rest, 0, end), 16.0) << "nothing else sounded";
    }
};

TEST_F(SynthSession, KeysPlayedWithMouseAndKeyboardSoundInTimeAndTheDocumentKeepsThem)
{
    BLSynthIce start;
    start.current.program = 0;  // every step plays
    start.current.speed = 1;    // 2 steps a beat
    start.current.volume = 127;
    std::snprintf(start.current.synthName, sizeof start.current.synthName, "GlassPluck");
    const std::string doc = writeSynthDocument("start.bld", start);
    const std::string saved = dir.file("saved.bld");

    // The synth button, key C1 with the mouse, then E1 (c) and G1 (b) typed,
    // a preset, and the groove started from the panel (space).
    const std::string script = "wait 1200\nclick " + at(316, 112) + "\nwait 600\nclick " + panelAt(39, 192) +
                               "\nwait 300\npress c\nwait 200\npress b\nwait 300\nclick " + panelAt(542, 250) +
                               "\nwait 300\npress space\nwait 4500\nscreenshot " + dir.file("synth-playing.png") +
                               "\ndialog " + saved + "\nctrl s\nwait 2500\nquit\n";
    const std::string log = runScript(script, doc);
    keepScreen(dir.file("synth-playing.png"), "synth-playing");
    expectArpeggio("GlassPluck", {"c1", "e1", "g1"}, 2, 6);

    const BLSynthIce kept = readSynth(saved);
    for (int k = 0; k < kBLSynthKeys; ++k) EXPECT_EQ(kept.current.keys[k] != 0, k == 0 || k == 4 || k == 7) << k;
    EXPECT_STREQ(kept.current.synthName, "GlassPluck");
    EXPECT_EQ(kept.current.speed, 1);
    EXPECT_EQ(kept.presetCount, 1);
    EXPECT_EQ(kept.presets[0], kept.current);

    // Opened again: a sound picked in the synth browser (TubeBell, the fifth
    // line), taken with Return; the arpeggio switched on and the groove played.
    const std::string again = dir.file("again.bld");
    const std::string reopen = "wait 1200\nclick " + at(316, 112) + "\nwait 600\nclick " + panelAt(267, 56) +
                               "\nwait 800\nclick " + at(214, 207) + "\nwait 800\nscreenshot " +
                               dir.file("synth-browser.png") + "\npress return\nwait 800\nclick " + panelAt(43, 53) +
                               "\nwait 300\npress space\nwait 4500\n" +
                               "dialog " + again + "\nctrl s\nwait 2500\nquit\n";
    runScript(reopen, saved);
    keepScreen(dir.file("synth-browser.png"), "synth-browser");
    expectArpeggio("TubeBell", {"c1", "e1", "g1"}, 2, 6);
    BLSynthIce picked = readSynth(again);
    EXPECT_STREQ(picked.current.synthName, "TubeBell");
    EXPECT_EQ(picked.presetCount, 1);
    EXPECT_EQ(picked.presets[0], kept.presets[0]) << "the presets came back with the document";
    std::memcpy(picked.current.synthName, kept.current.synthName, sizeof picked.current.synthName);
    EXPECT_EQ(picked.current, kept.current) << "and the setting, but for the sound";
}

TEST_F(SynthSession, TheArpeggioMixedToAFileAndConvertedToTheExportFormat)
{
    BLSynthIce state;
    for (int k : {0, 4, 7}) state.current.keys[k] = 1;
    state.current.program = 0;
    state.current.speed = 1;
    std::snprintf(state.current.synthName, sizeof state.current.synthName, "GlassPluck");
    const std::string doc = writeSynthDocument("mix.bld", state);
    auto mixTo = [&](const std::string& target) {
        runScript("wait 1200\nclick " + at(316, 112) + "\nwait 600\ndialog " + target + "\nclick " +
                      panelAt(527, 86) + "\nwait 6000\nquit\n",
                  doc);
    };

    // The program's own WAV: 32 beats of the song's tempo, the notes on the
    // grid from the file's first frame, whether or not the panel plays.
    mixTo(dir.file("arp"));
    const Loop mixed = readLoop(dir.file("arp.wav"));
    ASSERT_EQ(mixed.channels, 2);
    EXPECT_EQ(mixed.frames(), 32 * kBeat126);
    std::vector<double> rest(static_cast<size_t>(mixed.frames()));
    for (size_t i = 0; i < rest.size(); ++i) rest[i] = mixed.samples[2 * i];
    const char* const order[3] = {"e2", "g2", "c2"};
    for (int step = 0; step < 6; ++step) {
        const Loop note = readLoop(library + "/Synth/GlassPluck/" + order[step % 3] + ".wav");
        std::vector<double> f(static_cast<size_t>(note.frames()));
        for (int i = 0; i < note.frames(); ++i) f[static_cast<size_t>(i)] = note.samples[static_cast<size_t>(i)];
        const notefinder::Found found = notefinder::takeNote(rest, f, step * kBeat126 / 2, 64, 2048, kBeat126 / 2);
        EXPECT_EQ(found.at, step * kBeat126 / 2) << step;
        EXPECT_GT(found.match, 0.999) << step;
    }

    // Another export format: the WAV is converted and gives way to it.
    uint32_t flac = kelQtFormatFlac;
    char converted[kKelPathMax + 1];
    std::snprintf(converted, sizeof converted, "%s", dir.file("song-arp.wav").c_str());
    ASSERT_TRUE(kelQt_soundConvert_setFileExtension(converted, flac, sizeof converted));
    blPrefsClass prefs;
    const std::string prefsKel = kelOf(dir.file("Beatloom.prf"));
    prefs.fileName = prefsKel.c_str();
    prefs.load();
    prefs.exportFormat = flac;
    ASSERT_TRUE(prefs.save());
    mixTo(dir.file("song-arp.wav"));
    EXPECT_TRUE(std::filesystem::exists(converted)) << converted;
    EXPECT_FALSE(std::filesystem::exists(dir.file("song-arp.wav")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("TempSoundConvertFile.wav")));
}

}  // namespace
}  // namespace groovee2e
