// The loop tuner in the whole program, run in this process with SDL's disk
// audio driver: what the program plays goes to a file, and what it records
// comes from a file of a known sound (a 5 kHz tone the demo songs do not
// hold). Record, hear it with the groove, fit it, save it into the song, and
// play it on a track of the song opened again; and the sounds and folders
// that must not upset it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "audio/BLEngine.h"
#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "e2e/GrooveSession.h"
#include "e2e/TunerProgram.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "platform/PlatSound.h"

namespace {

namespace fs = std::filesystem;

constexpr double kToneHz = 5000.0;

// SDL's disk driver: played sound to `out`, recorded sound from `in`.
class DiskDriver {
public:
    DiskDriver(const std::string& out, const std::string& in)
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        setenv("SDL_DISKAUDIOFILEIN", in.c_str(), 1);
    }
    ~DiskDriver()
    {
        unsetenv("SDL_DISKAUDIOFILE");
        unsetenv("SDL_DISKAUDIOFILEIN");
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
};

// Raw 16-bit stereo frames of a tone, as the input file holds them.
std::string toneRaw(int frames, double hz, int amplitude)
{
    std::string out(static_cast<size_t>(frames) * 4, '\0');
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<uint16_t>(
            static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * hz * i / 44100.0))));
        for (int c = 0; c < 2; ++c) {
            out[static_cast<size_t>(4 * i + 2 * c)] = static_cast<char>(v & 0xFF);
            out[static_cast<size_t>(4 * i + 2 * c + 1)] = static_cast<char>(v >> 8);
        }
    }
    return out;
}

// The tone's strength (Goertzel) in the left channel of frames from..from+n.
double toneLevel(const std::vector<int16_t>& s, size_t from, size_t n)
{
    const double w = 2 * M_PI * kToneHz / 44100.0, k = 2 * std::cos(w);
    double a = 0, b = 0;
    for (size_t i = from; i < from + n && 2 * i < s.size(); ++i) {
        const double x = s[2 * i] + k * a - b;
        b = a;
        a = x;
    }
    return std::sqrt(std::max(0.0, a * a + b * b - k * a * b)) / static_cast<double>(n);
}

class TunerSession : public browsertest::TunerProgram {
protected:
    void clickTuner(int16_t item) { clickAt(tuner()->control(item)->rect); }
    std::vector<int16_t> heard() const { return groovee2e::readCapture(capture); }
    // The program's song library opened with the demo song `name`, playing.
    void openSong(const std::string& name)
    {
        const std::vector<std::string> songs = entryFolders();
        const auto at = std::find(songs.begin(), songs.end(), name);
        ASSERT_NE(at, songs.end());
        clickLine(static_cast<int16_t>(at - songs.begin()));
        clickItem(BLLoadPanel::kItemLoad);
        ASSERT_TRUE(idleUntil([] { return gep->state() == BLEngineState::running; }));
    }
    void openTuner() { clickAt(groove()->control(grooveitem::tuner)->rect); }
    void shot(const std::string& name)
    {
        const std::string path = dir.file(name + ".png");
        ASSERT_TRUE(backend->saveScreenPng(path));
        groovee2e::GrooveSession::keepScreen(path, name);
    }

    std::string capture = dir.file("capture.raw");
    std::string input = dir.file("input.raw");
};

TEST_F(TunerSession, ARecordingIsHeardFittedSavedAndPlayedOnATrack)
{
    ASSERT_TRUE(testsupport::writeFile(input, toneRaw(10 * 44100, kToneHz, 12000)));
    const DiskDriver driver(capture, input);
    start();
    openSong("NightShift");
    openTuner();
    ASSERT_TRUE(PWScreen.isVisible(kPWLoopTunerPanel));
    Tuner* t = tuner();
    ASSERT_TRUE(idleUntil([&] { return heard().size() / 2 > 2 * 44100; }));
    const size_t before = heard().size() / 2;

    clickTuner(Tuner::kItemRecord);
    ASSERT_TRUE(t->recording) << t->statusText;
    shot("tuner-recording");
    // Past the 5 s the card's recording once stopped at, stopped by hand.
    ASSERT_TRUE(idleUntil([&] { return heard().size() / 2 > before + 6 * 44100; }));
    clickTuner(Tuner::kItemStop);
    ASSERT_TRUE(idleUntil([&] { return !t->recording; }));
    EXPECT_GT(gep->userLoop_state().frames, 220500);
    EXPECT_TRUE(t->hasLoop);
    EXPECT_TRUE(t->audible);

    // Heard with the groove: the tone is in what the device played since.
    const size_t recorded = heard().size() / 2;
    ASSERT_TRUE(idleUntil([&] { return heard().size() / 2 > recorded + 3 * 44100; }));
    const std::vector<int16_t> sound = heard();
    const double without = toneLevel(sound, before - 44100, 44100);
    const double with = toneLevel(sound, recorded + 44100, 2 * 44100);
    EXPECT_GT(with, 8 * without + 100) << "tone before " << without << ", after " << with;

    // Fitted: two bars, the end at 90 %.
    turn(Tuner::kItemFirstKnob + Tuner::kBars, 50);
    turn(Tuner::kItemFirstKnob + Tuner::kEndCoarse, -10);
    EXPECT_EQ(gep->userLoop_state().bars, 2);
    EXPECT_EQ(gep->userLoop_state().regionEnd, static_cast<int32_t>(gep->userLoop_state().frames * 0.9));
    ASSERT_TRUE(idleUntil([&] { return gep->userLoop_periodFrames() == 2 * 4 * (2646000 / 126); }))
        << "played at the new period";
    shot("tuner-fitted");

    // Saved into the song's User folder; the song opens again with it.
    const std::string song = library("Song") + "/NightShift";
    const std::string saved = song + "/User/Tuned.wav";
    script("dialog " + saved + "\n");
    clickTuner(Tuner::kItemSave);
    ASSERT_TRUE(idleUntil([&] { return fs::exists(saved); }));
    EXPECT_EQ(fs::file_size(saved), 44u + 4u * 2 * 4 * (2646000 / 126));
    const groovee2e::Loop loop = groovee2e::readLoop(saved);
    EXPECT_GT(toneLevel(loop.samples, 44100, 44100), 1000.0) << "the loop holds the tone";
    ASSERT_TRUE(idleUntil([&] { return std::string(t->statusText).find("User") != std::string::npos; }));
    const BLSongLibrary& lib = groove()->controller().model.library();
    int16_t user = -1;
    for (int16_t g = 0; g < lib.groupCount; ++g)
        if (std::string(lib.groups[g].name) == "User") user = g;
    ASSERT_GE(user, 0) << "a User group";
    ASSERT_EQ(lib.groups[user].count, 1);
    EXPECT_EQ(std::string(lib.groups[user].file[0]), "Tuned.wav");

    // Played on track 1, chosen with its menus, with the tuner closed.
    clickTuner(Tuner::kItemClose);
    EXPECT_FALSE(PWScreen.isVisible(kPWLoopTunerPanel));
    script("press space\n");
    ASSERT_TRUE(idleUntil([] { return gep->state() == BLEngineState::running; }));
    // A menu opens with its current entry under the mouse.
    const auto menu = [&](int16_t item, int rows) {
        const kelRect r = groove()->control(item)->rect;
        const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2, to = y + r.height() * rows;
        script(testsupport::join("down ", x, " ", y, "\nwait 150\nmove ", x, " ", to, "\nwait 100\nup ", x,
                                 " ", to, "\nwait 100\n"));
    };
    menu(grooveitem::groupMenu[0], user - groove()->controller().model.current.tracks[0].group);
    menu(grooveitem::loopMenu[0], 0);
    ASSERT_EQ(groove()->controller().model.current.tracks[0].group, user);
    ASSERT_EQ(groove()->controller().model.current.tracks[0].slot, 0);
    const size_t chosen = heard().size() / 2;
    ASSERT_TRUE(idleUntil([&] { return heard().size() / 2 > chosen + 8 * 44100; }));
    const std::vector<int16_t> after = heard();
    double best = 0;
    for (size_t at = chosen; at + 22050 < after.size() / 2; at += 11025)
        best = std::max(best, toneLevel(after, at, 22050));
    EXPECT_GT(best, 8 * without + 100) << "the saved loop plays on the track";
    shot("tuner-saved-song");
}

TEST_F(TunerSession, WithoutSoundInputItSaysSoAndLoadsFromAFile)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    start();
    clickItem(BLLoadPanel::kItemClose);
    PWScreen.show(kPWLoopTunerPanel);
    pump();
    Tuner* t = tuner();
    EXPECT_FALSE(t->control(Tuner::kItemRecord)->enabled);
    EXPECT_EQ(std::string(t->statusText), blIntl.message(220).c_str());
    shot("tuner-no-input");
    const std::string file = dir.file("tone.wav");
    ASSERT_TRUE(testsupport::writeFile(file, browsertest::sineWave(22050, 440)));
    script("dialog " + file + "\n");
    clickTuner(Tuner::kItemLoad);
    ASSERT_TRUE(idleUntil([&] { return t->hasLoop; }));
    EXPECT_EQ(gep->userLoop_state().frames, 22050);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST_F(TunerSession, BadSoundsAndFoldersLeaveTheLoopAndTheGrooveAsTheyWere)
{
    ASSERT_TRUE(testsupport::writeFile(input, toneRaw(44100, kToneHz, 12000)));
    const DiskDriver driver(capture, input);
    start();
    openSong("NightShift");
    openTuner();
    Tuner* t = tuner();
    const auto load = [&](const std::string& path) {
        const size_t boxes = backend->boxes().size();
        const uint32_t loopBefore = gep->userLoop_state().serial;
        script("box ok\ndialog " + path + "\n");
        clickTuner(Tuner::kItemLoad);
        idleUntil([&] {
            return !BLPath::dialogPending() &&
                   (gep->userLoop_state().serial != loopBefore || backend->boxes().size() > boxes);
        });
        idleFor(100);
        return backend->boxes().size() > boxes ? backend->boxes().back().text : std::string();
    };

    // A mono 8 kHz sound and a 32-bit float one: converted and loaded.
    plat::SoundWriteSettings mono8k;
    mono8k.rate = 8000;
    mono8k.channels = 1;
    {
        plat::SoundWriter w;
        ASSERT_TRUE(w.open(dir.file("mono8k.wav"), mono8k));
        std::vector<int16_t> s(8000, 3000);
        ASSERT_TRUE(w.write(s.data(), 8000));
        ASSERT_TRUE(w.finish());
    }
    EXPECT_EQ(load(dir.file("mono8k.wav")), "");
    EXPECT_EQ(gep->userLoop_state().channels, 2);
    EXPECT_NEAR(gep->userLoop_state().frames, 44100, 2) << "one second at the engine's rate";
    plat::SoundWriteSettings wide;
    wide.bits = 32;
    {
        plat::SoundWriter w;
        ASSERT_TRUE(w.open(dir.file("float.wav"), wide));
        std::vector<float> s(2 * 22050, 0.25f);
        ASSERT_TRUE(w.write(s.data(), 22050));
        ASSERT_TRUE(w.finish());
    }
    EXPECT_EQ(load(dir.file("float.wav")), "");
    EXPECT_EQ(gep->userLoop_state().frames, 22050);
    EXPECT_EQ(std::string(t->loopName), "float");

    // Not a sound: a message, and the loop there was plays on.
    ASSERT_TRUE(testsupport::writeFile(dir.file("notes.wav"), "these are words, not sound"));
    EXPECT_EQ(load(dir.file("notes.wav")), blIntl.message(45).c_str());
    EXPECT_EQ(gep->userLoop_state().frames, 22050);
    EXPECT_EQ(std::string(t->loopName), "float");
    EXPECT_TRUE(gep->userLoop_state().sounding);

    // A sound of an hour: its first five minutes, and a message that says so.
    plat::SoundWriteSettings hourly;
    hourly.container = plat::SoundContainer::Flac;
    hourly.rate = 8000;
    hourly.channels = 1;
    {
        plat::SoundWriter w;
        ASSERT_TRUE(w.open(dir.file("hour.flac"), hourly));
        std::vector<int16_t> s(8000 * 60, 0);
        for (int minute = 0; minute < 60; ++minute) ASSERT_TRUE(w.write(s.data(), 8000 * 60));
        ASSERT_TRUE(w.finish());
    }
    const std::string said = load(dir.file("hour.flac"));
    EXPECT_NE(said.find("5:00"), std::string::npos) << said;
    EXPECT_EQ(gep->userLoop_state().frames, 5 * 60 * 44100);

    // A folder that cannot be written: a message, the file there stays,
    // and the groove plays on.
    ASSERT_TRUE(idleUntil([&] { return gep->userLoop_periodFrames() == 4 * (2646000 / 126); }));
    std::string target = "/proc/Tuned.wav";
    if (geteuid() != 0) {
        const std::string folder = library("Song") + "/NightShift/User";
        fs::create_directories(folder);
        target = folder + "/Tuned.wav";
        ASSERT_TRUE(testsupport::writeFile(target, "an older loop"));
        chmod(folder.c_str(), 0555);
    }
    const size_t boxes = backend->boxes().size();
    script("box ok\ndialog " + target + "\n");
    clickTuner(Tuner::kItemSave);
    ASSERT_TRUE(idleUntil([&] { return backend->boxes().size() > boxes; }));
    EXPECT_NE(backend->boxes().back().text.find("cannot be written"), std::string::npos)
        << backend->boxes().back().text;
    if (geteuid() != 0) {
        chmod((library("Song") + "/NightShift/User").c_str(), 0755);
        EXPECT_EQ(testsupport::readFile(target), "an older loop");
    }
    EXPECT_TRUE(blPlayer->playing);
    EXPECT_EQ(gep->state(), BLEngineState::running);
    EXPECT_TRUE(gep->userLoop_state().sounding) << "the loop sounds again";

    // A save that fails for another reason says that reason, and no file of
    // the folder is made, truncated or removed to find it out.
    const std::string user = library("Song") + "/NightShift/User";
    fs::create_directories(user + "/Taken.wav");
    testsupport::writeFile(user + "/.beatloom-write-test", "the person's own");
    const size_t before = backend->boxes().size();
    script("box ok\ndialog " + user + "/Taken.wav\n");
    clickTuner(Tuner::kItemSave);
    ASSERT_TRUE(idleUntil([&] { return backend->boxes().size() > before; }));
    EXPECT_NE(backend->boxes().back().text.find("a folder has that name"), std::string::npos)
        << backend->boxes().back().text;
    EXPECT_EQ(testsupport::readFile(user + "/.beatloom-write-test"), "the person's own");
}

}  // namespace
