// The synth panel worked as a person works it, the whole program running in
// this process on the real skin with SDL's disk audio driver: keys pressed
// with the mouse and the computer keyboard, a preset kept, the groove played,
// the document saved and opened again, a sound picked in the synth browser,
// the arpeggio mixed to a file. Every step waits for what it causes; what
// the device played is checked note by note against the groove's step grid.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "control/BLPlayer.h"
#include "core/FileTestUtil.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"
#include "e2e/GrooveSession.h"
#include "library/BLDocument.h"
#include "library/BLSynthIce.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/startup/PWmain.h"
#include "panels/synth/BLLoadSynthPanel.h"
#include "panels/synth/BLSynthPanel.h"
#include "platform/PlatFiles.h"
#include "platform/PlatHeadless.h"
#include "support/NoteFinder.h"
#include "support/TestSupport.h"
#include "ui/PWScreen.h"

namespace {

namespace fs = std::filesystem;
using groovee2e::Loop;
using groovee2e::readCapture;
using groovee2e::readLoop;
using testsupport::join;

constexpr int kBeat126 = 44100 * 60 / 126;

std::string kelOf(const std::string& system)
{
    char kel[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(system.c_str(), kel, sizeof kel) ? std::string(kel) : std::string();
}

std::string library()
{
    return testsupport::programDir() + "/Library";
}

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

class SynthSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<plat::HeadlessBackend>(1024, 768);
        backend = b.get();
        plat::setBackend(std::move(b));
        kelGlo = kelGloRec{};
        windowsCommandLine[0] = '\0';
        std::snprintf(PWprogramFile, sizeof PWprogramFile, "%s", dir.program().c_str());
        ASSERT_TRUE(KEL_Platform_Init());
        ASSERT_EQ(PW_InitAll(), 1);
        pump();
        ASSERT_NE(blSynthPanel, nullptr);
    }
    void TearDown() override
    {
        if (PWfloatPanelPtr[0]) PW_ExitAll();
        plat::clearBackend();
    }

    void pump()
    {
        const KelAppHooks hooks = PW_AppHooks();
        while (KEL_HandleOneMessage(hooks)) {
        }
    }
    // The main loop until `done` holds (events, and idle passes between
    // them); false when it did not within `ms`.
    bool runUntil(const std::function<bool()>& done, int ms = 30000)
    {
        const KelAppHooks hooks = PW_AppHooks();
        const uint32_t end = plat::millis() + static_cast<uint32_t>(ms);
        while (!done()) {
            if (static_cast<int32_t>(end - plat::millis()) <= 0) return false;
            if (!KEL_HandleOneMessage(hooks)) {
                KEL_IdlePass(hooks);
                plat::sleepMs(1);
            }
        }
        return true;
    }
    // Script lines now, then everything they cause.
    void script(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(backend->parseScript(text, error)) << error;
        ASSERT_TRUE(runUntil([&] { return backend->pending() == 0; }));
        pump();
    }
    // A point of the stage (shown at 192, 144), of the synth panel (at 20,
    // 104 on the stage) and of the synth browser (at 97, 87).
    static std::string at(int x, int y) { return join(192 + x, " ", 144 + y); }
    static std::string panelAt(int x, int y) { return at(20 + x, 104 + y); }
    static std::string browserAt(int x, int y) { return at(97 + x, 87 + y); }

    // A document of NightShift with Drums02 on track 1 and this synth state.
    // The track plays as a track plays while the output starts (full volume,
    // centred); the synthesizer sounds on the left side only, so the right
    // side is the groove alone.
    std::string writeDocument(const std::string& file, BLSynthIce state)
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
        EXPECT_TRUE(BLDocument_Read(kelOf(path).c_str(), &ice, &synth).synthRead) << path;
        return synth.state;
    }
    // Opens the document with Ctrl+O; `read` tells when it has been read.
    void open(const std::string& document, const std::function<bool()>& read)
    {
        script("dialog " + document + "\nctrl o\n");
        ASSERT_TRUE(runUntil([&] {
            return std::strcmp(blGroovePanel->controller().model.library().folderName, "NightShift") == 0 &&
                   read() && !PWScreen.isVisible(kPWLoadPanel);
        }));
    }
    static bool soundIs(const char* name) { return std::strcmp(blSynthPanel->loadedSynth, name) == 0; }
    void save(const std::string& document)
    {
        script("dialog " + document + "\nctrl s\n");
        ASSERT_TRUE(runUntil([&] { return fs::exists(document); }));
    }
    // The groove played until the device has taken `frames` frames, then stopped.
    void playGroove(int frames)
    {
        script("press space\n");
        ASSERT_TRUE(blPlayer->playing);
        const auto bytes = static_cast<uintmax_t>(frames) * 4;
        EXPECT_TRUE(runUntil([&] {
            std::error_code ec;
            return fs::exists(capture) && fs::file_size(capture, ec) >= bytes;
        }));
        script("press space\n");
        EXPECT_FALSE(blPlayer->playing);
    }

    // What the synthesizer played on the groove's timeline. The right side
    // is the groove alone (Drums02 at volume 127 under the main volume 63,
    // as the mixer gains it): it tells which captured frame is which frame of
    // the timeline, should a loaded machine have let the output run dry (the
    // device then plays silence in between). The left side less the groove
    // is the synthesizer.
    std::vector<double> synthOnly()
    {
        const std::vector<int16_t> sound = readCapture(capture);
        const Loop drums = readLoop(library() + "/Song/NightShift/Drums02.wav");
        EXPECT_EQ(drums.frames(), 4 * kBeat126);
        if (drums.frames() <= 0) return {};
        const auto g = static_cast<float>(static_cast<long double>(127) / 128 * 63 / 128);
        auto groove = [&](size_t t, int side) {
            const float s =
                drums.samples[(t % static_cast<size_t>(drums.frames())) * 2 + static_cast<size_t>(side)];
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

    // The notes of `entries`, one after another on the grid of `perBeat`
    // steps a beat from the groove's first frame, for `steps` steps.
    void expectArpeggio(const std::string& sound, const std::vector<std::string>& entries, int perBeat,
                        int steps)
    {
        std::vector<double> rest = synthOnly();
        ASSERT_GT(rest.size(), static_cast<size_t>(steps * kBeat126 / perBeat));
        for (int step = 0; step < steps; ++step) {
            // The first step sounds the second entry.
            const std::string& e = entries[static_cast<size_t>(step + 1) % entries.size()];
            SCOPED_TRACE(sound + " step " + std::to_string(step) + " " + e);
            const Loop note = readLoop(library() + "/Synth/" + sound + "/" + e.substr(0, e.size() - 1) +
                                       std::to_string(e.back() - '0' + 1) + ".wav");
            ASSERT_GT(note.frames(), 0);
            std::vector<double> f(static_cast<size_t>(note.frames()));
            for (int i = 0; i < note.frames(); ++i)
                f[static_cast<size_t>(i)] = note.samples[static_cast<size_t>(i * note.channels)];
            const int due = static_cast<int>(static_cast<int64_t>(step) * kBeat126 / perBeat);
            const notefinder::Found found = notefinder::takeNote(rest, f, due, 200, 2048, kBeat126 / perBeat);
            EXPECT_EQ(found.at, due) << "on the groove's step grid";
            EXPECT_GT(found.match, 0.995) << "this very note";
        }
        const size_t end = static_cast<size_t>(steps * kBeat126 / perBeat);
        EXPECT_LT(notefinder::largest(rest, 0, end), 16.0) << "nothing else sounded";
    }

    testsupport::ProgramDir dir{"synth"};
    filetest::CurrentDir keepCwd{dir.path()};
    std::string capture = dir.file("capture.raw");
    ScopedEnv driver{"SDL_AUDIODRIVER", "disk"};
    ScopedEnv file{"SDL_DISKAUDIOFILE", capture};
    plat::HeadlessBackend* backend = nullptr;
};

TEST_F(SynthSession, KeysPlayedWithMouseAndKeyboardSoundInTimeAndTheDocumentKeepsThem)
{
    BLSynthIce start;
    start.current.program = 0;  // every step plays
    start.current.speed = 1;    // 2 steps a beat
    start.current.volume = 127;
    std::snprintf(start.current.synthName, sizeof start.current.synthName, "GlassPluck");
    open(writeDocument("start.bld", start), [] { return soundIs("GlassPluck"); });

    // The synth button; key C1 with the mouse (it starts the arpeggio), E1
    // (c) and G1 (b) typed; a preset; the groove started from the panel.
    script("click " + at(316, 112) + "\n");
    ASSERT_TRUE(PWScreen.isVisible(kPWSynthPanel));
    script("click " + panelAt(39, 192) + "\npress c\npress b\nclick " + panelAt(542, 250) + "\n");
    EXPECT_TRUE(blSynthPanel->playing);
    EXPECT_EQ(blSynthPanel->presetCount, 1);
    playGroove(7 * kBeat126 / 2);
    backend->saveScreenPng(dir.file("synth-playing.png"));
    groovee2e::GrooveSession::keepScreen(dir.file("synth-playing.png"), "synth-playing");
    expectArpeggio("GlassPluck", {"c1", "e1", "g1"}, 2, 6);

    const std::string saved = dir.file("saved.bld");
    save(saved);
    const BLSynthIce kept = readSynth(saved);
    for (int k = 0; k < kBLSynthKeys; ++k)
        EXPECT_EQ(kept.current.keys[k] != 0, k == 0 || k == 4 || k == 7) << k;
    EXPECT_STREQ(kept.current.synthName, "GlassPluck");
    EXPECT_EQ(kept.current.speed, 1);
    EXPECT_EQ(kept.presetCount, 1);
    EXPECT_EQ(kept.presets[0], kept.current);

    // Changed, then the document opened again: its setting and presets come back.
    blSynthPanel->setVolume(20);
    blSynthPanel->synths_hit(0, true);
    open(saved, [] { return blSynthPanel->setting.volume == 127 && blSynthPanel->presetCount == 1; });
    EXPECT_EQ(blSynthPanel->setting, kept.current);
    EXPECT_EQ(blSynthPanel->presetCount, 1);

    // A sound picked in the synth browser (TubeBell, the fifth line), taken
    // with Return; the arpeggio switched on again and the groove played.
    script("click " + panelAt(267, 56) + "\n");
    auto* browser = dynamic_cast<BLLoadSynthPanel*>(PWfloatPanelPtr[kPWLoadSynthPanel]);
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(PWScreen.isVisible(kPWLoadSynthPanel));
    EXPECT_EQ(PWScreen.modalPanel, kPWLoadSynthPanel);
    script("click " + browserAt(117, 52 + 4 * 17) + "\n");
    EXPECT_STREQ(browser->selectedName(), "TubeBell");
    EXPECT_TRUE(browser->previewing) << "heard with the groove";
    EXPECT_TRUE(browser->pictureShown);
    backend->saveScreenPng(dir.file("synth-browser.png"));
    groovee2e::GrooveSession::keepScreen(dir.file("synth-browser.png"), "synth-browser");
    script("press return\n");
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadSynthPanel));
    EXPECT_EQ(PWScreen.modalPanel, -1);
    EXPECT_FALSE(blPlayer->playing) << "the preview's groove stopped with it";
    EXPECT_STREQ(blSynthPanel->setting.synthName, "TubeBell");
    if (!blSynthPanel->playing) script("click " + panelAt(43, 53) + "\n");
    ASSERT_TRUE(blSynthPanel->playing);
    playGroove(7 * kBeat126 / 2);
    expectArpeggio("TubeBell", {"c1", "e1", "g1"}, 2, 6);

    const std::string again = dir.file("again.bld");
    save(again);
    BLSynthIce picked = readSynth(again);
    EXPECT_STREQ(picked.current.synthName, "TubeBell");
    EXPECT_EQ(picked.presetCount, 1);
    EXPECT_EQ(picked.presets[0], kept.presets[0]);
    std::memcpy(picked.current.synthName, kept.current.synthName, sizeof picked.current.synthName);
    EXPECT_EQ(picked.current, kept.current) << "the setting but for the sound";

    // The browser in front takes the keys: Page Down moves its selection
    // and a note key plays nothing behind it. Escape closes the browser, Page
    // Up does not close the panel, Escape does.
    script("click " + panelAt(267, 56) + "\n");
    ASSERT_TRUE(PWScreen.isVisible(kPWLoadSynthPanel));
    const int16_t keyE = blSynthPanel->setting.keys[4];
    script("press c\npress pagedown\n");
    EXPECT_EQ(blSynthPanel->setting.keys[4], keyE);
    EXPECT_STREQ(browser->selectedName(), "WarmPad");
    ASSERT_TRUE(PWScreen.isVisible(kPWLoadSynthPanel));
    script("press esc\n");
    EXPECT_FALSE(PWScreen.isVisible(kPWLoadSynthPanel));
    EXPECT_FALSE(blPlayer->playing) << "the preview's groove stopped with it";
    EXPECT_STREQ(blSynthPanel->setting.synthName, "TubeBell") << "closing takes nothing";
    script("press pageup\n");
    EXPECT_TRUE(PWScreen.isVisible(kPWSynthPanel));
    script("press esc\n");
    EXPECT_FALSE(PWScreen.isVisible(kPWSynthPanel));
}

TEST_F(SynthSession, TheArpeggioMixedToAFileAndConvertedToTheExportFormat)
{
    BLSynthIce state;
    for (int k : {0, 4, 7}) state.current.keys[k] = 1;
    state.current.program = 0;
    state.current.speed = 1;
    std::snprintf(state.current.synthName, sizeof state.current.synthName, "GlassPluck");
    open(writeDocument("mix.bld", state), [] { return soundIs("GlassPluck"); });
    script("click " + at(316, 112) + "\n");
    ASSERT_TRUE(PWScreen.isVisible(kPWSynthPanel));
    auto mixTo = [&](const std::string& target, const std::string& made) {
        script("dialog " + target + "\nclick " + panelAt(527, 86) + "\n");
        EXPECT_TRUE(runUntil([&] { return fs::exists(made) && !PWScreen.isVisible(kPWProgressPanel); }))
            << made;
    };

    // The program's own WAV: 32 beats of the song's tempo, the notes on the
    // grid from the file's first frame, while the panel does not play.
    mixTo(dir.file("arp"), dir.file("arp.wav"));
    EXPECT_EQ(backend->dialogs().back().initialName, "SynthFile.wav");
    EXPECT_EQ(backend->dialogs().back().patterns, "*.wav");
    EXPECT_FALSE(blSynthPanel->playing);
    const Loop mixed = readLoop(dir.file("arp.wav"));
    ASSERT_EQ(mixed.channels, 2);
    EXPECT_EQ(mixed.frames(), 32 * kBeat126);
    std::vector<double> rest(static_cast<size_t>(mixed.frames()));
    for (size_t i = 0; i < rest.size(); ++i) rest[i] = mixed.samples[2 * i];
    const char* const order[3] = {"e2", "g2", "c2"};
    for (int step = 0; step < 6; ++step) {
        const Loop note = readLoop(library() + "/Synth/GlassPluck/" + order[step % 3] + ".wav");
        std::vector<double> f(static_cast<size_t>(note.frames()));
        for (int i = 0; i < note.frames(); ++i)
            f[static_cast<size_t>(i)] = note.samples[static_cast<size_t>(i)];
        const notefinder::Found found =
            notefinder::takeNote(rest, f, step * kBeat126 / 2, 64, 2048, kBeat126 / 2);
        EXPECT_EQ(found.at, step * kBeat126 / 2) << step;
        EXPECT_GT(found.match, 0.999) << step;
    }

    // Another export format: the WAV is converted and gives way to it.
    char converted[kKelPathMax + 1];
    std::snprintf(converted, sizeof converted, "%s", dir.file("song-arp.wav").c_str());
    ASSERT_TRUE(kelQt_soundConvert_setFileExtension(converted, kelQtFormatFlac, sizeof converted));
    const uint32_t before = blPrefs.exportFormat;
    blPrefs.exportFormat = kelQtFormatFlac;
    testsupport::writeFile(dir.file("song-arp.wav"), "the person's own");
    mixTo(dir.file("song-arp.wav"), converted);
    blPrefs.exportFormat = before;
    // The dialog offered the file as it is written: its name and filter follow the format.
    const plat::FileDialogRequest asked = backend->dialogs().back();
    EXPECT_EQ(asked.initialName, "arp.flac");
    EXPECT_EQ(asked.patterns, "*.flac");
    EXPECT_EQ(testsupport::readFile(dir.file("song-arp.wav")), "the person's own");
    for (const auto& e : fs::directory_iterator(dir.path()))
        EXPECT_FALSE(plat::isTemporaryName(e.path().filename().string())) << e.path();
}

}  // namespace
