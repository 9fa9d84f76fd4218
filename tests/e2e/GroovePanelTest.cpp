// The groove panel worked as a person works it: menus, random buttons, the
// strips and sequence play, the keyboard, documents saved and opened again,
// with the sound the device played and the screen checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/GrooveSession.h"
#include "e2e/ScreenPictures.h"

namespace groovee2e {
namespace {

using e2e::Shot;

constexpr int kBeatFrames126 = 44100 * 60 / 126;

// A press held long enough for a pop-up menu to open, a move to the row
// `rows` below, and the release.
std::string chooseInMenu(int x, int y, int rows)
{
    return "down " + GrooveSession::at(x, y) + "\nwait 250\nmove " + GrooveSession::at(x, y + 19 * rows) +
           "\nwait 150\nup " + GrooveSession::at(x, y + 19 * rows) + "\nwait 900\n";
}

std::string drag(int x1, int y1, int x2, int y2)
{
    return "down " + GrooveSession::at(x1, y1) + "\nwait 100\nmove " + GrooveSession::at(x1 + 5, y1 + 8) +
           "\nwait 50\nmove " + GrooveSession::at(x2, y2) + "\nwait 100\nup " + GrooveSession::at(x2, y2) +
           "\nwait 200\n";
}

using GroovePanelSession = GrooveSession;

TEST_F(GroovePanelSession, ALoopChosenByTheMenusComesInAtItsNextPeriodStart)
{
    // Track 2 plays a quiet loop from the start, so the device runs (and
    // the capture counts frames from the start of playback) before the
    // loop is chosen.
    BLGroove groove;
    groove.tracks[1] = BLTrack{6, 0, 1, 0};
    const std::string doc = writeDocument("quiet.bld", "NightShift", groove, 126.0f);
    // Track 1: group "Drums" (the menu's second row), then its second loop.
    const int y = rowTop(0) + 10;
    // The capture counts what was played (4 bytes a frame): the menus are
    // worked 2.5 s into it, and it runs to 9 s.
    const std::string script = "wait 700\npress space\nwaitsize 441000 " + capture + "\n" +
                               chooseInMenu(118, y, 1) + chooseInMenu(253, y, 1) + "waitsize 1587600 " +
                               capture + "\nscreenshot " + dir.file("menus.png") + "\nquit\n";
    const std::string log = runScript(script, doc);
    keepScreen(dir.file("menus.png"), "groove-menus");

    const std::vector<int16_t> sound = readCapture(capture);
    ASSERT_GE(firstSound(sound), 0) << log;
    const Loop loop = readLoop(library + "/Song/NightShift/Drums02.wav");
    ASSERT_GT(loop.frames(), 0);
    const int period = loop.frames();
    ASSERT_EQ(period, 4 * kBeatFrames126);
    int found = -1;
    const std::vector<float> opening = playedAt(loop, 1.0, 4096);
    const double r = bestMatch(sound, opening, 0, static_cast<int>(sound.size() / 2), found);
    EXPECT_GT(r, 0.97) << "the loop is heard from its first frame";
    // Its first time round.
    for (int earlier = -1;
         found > period / 2 && bestMatch(sound, opening, 0, found - period / 2, earlier) > 0.97;)
        found = earlier;
    // Chosen 2.5 s or more after playback started, it comes in within one
    // period of its own after that, and then repeats in phase.
    EXPECT_GT(found, 2 * 44100) << "not before it was chosen";
    EXPECT_LT(found, 4 * 44100 + 2 * period) << "no later than the next period start";
    int again = -1;
    EXPECT_GT(bestMatch(sound, opening, found + period - 256, found + period + 256, again), 0.97);
    EXPECT_EQ(again, found + period) << "a whole period later it starts again";
}

TEST_F(GroovePanelSession, ARandomButtonFillsAndSoundsEightTracks)
{
    makeSong("EightTracks", "NightShift");
    const std::string doc = writeDocument("eight.bld", "EightTracks", BLGroove{}, 126.0f);
    const std::string saved = dir.file("after-random.bld");
    const std::string script = "wait 700\nclick " + at(480, 301) + "\nwait 1500\nscreenshot " +
                               dir.file("random.png") + "\ndialog " + saved + "\nctrl s\nwait 600\nquit\n";
    runScript(script, doc);
    keepScreen(dir.file("random.png"), "groove-random");

    BLIceimage ice;
    ASSERT_TRUE(readDocument(saved, ice));
    for (int t = 0; t < 8; ++t) {
        EXPECT_EQ(ice.groove.tracks[t].group, t) << "track " << t;
        EXPECT_GE(ice.groove.tracks[t].slot, 0) << "track " << t;
    }
    // Every track's meter moved: each track was mixed and heard.
    Shot shot(dir.file("random.png"));
    ASSERT_TRUE(shot.ok());
    e2e::SkinPictures skin(testsupport::programDir() + "/Beatloom.xrs");
    for (int t = 0; t < 8; ++t) {
        const int x = 338, y = rowTop(t) + 5 + 6;
        EXPECT_NE(shot.at(kOriginX + x, kOriginY + y), skin.pixel(e2e::kGrooveBack, x, y)) << "meter " << t;
    }
    EXPECT_GE(firstSound(readCapture(capture)), 0);
}

TEST_F(GroovePanelSession, StoredGroovesDraggedToTheSequenceChangeAtTheCycleBoundary)
{
    makeSong("Quick", "Riverbed");
    const float tempo = 225.0f;  // the song's tempo + 50: the shortest cycle
    const std::string doc = writeDocument("quick.bld", "Quick", BLGroove{}, tempo);
    const std::string saved = dir.file("sequence.bld");
    // A random groove gives track t group t. Solo on track 1 and store: a
    // groove of the drums alone (storing clears the silent tracks); then,
    // each from a new random groove, the bass (track 3) and the pad
    // (track 4) alone.
    std::string script = "wait 700\nclick " + at(480, 301) + "\nwait 400\npress 1\npress s\npress return\n";
    for (const char* digit : {"3", "4"})
        script += "wait 200\nclick " + at(480, 301) + "\nwait 300\npress " + digit + "\npress return\n";
    script += "press space\nwait 300\n";
    for (int i = 0; i < 3; ++i) script += drag(48 + 24 * i, 369, 48 + 24 * i, 413);
    script += "click " + at(48, 413) + "\nwait 200\nclick " + at(113, 54) + "\n";
    // The capture grows as the device plays: 4 bytes a frame.
    const int beatBytes = 4 * (44100 * 60 / static_cast<int>(tempo));
    script += "waitsize " + std::to_string(16 * beatBytes) + " " + capture + "\nscreenshot " +
              dir.file("sequence-first.png") + "\nwaitsize " + std::to_string(40 * beatBytes) + " " +
              capture + "\nscreenshot " + dir.file("sequence-second.png") + "\ndialog " + saved +
              "\nctrl s\nquit\n";
    const std::string log = runScript(script, doc);
    keepScreen(dir.file("sequence-first.png"), "groove-sequence-1");
    keepScreen(dir.file("sequence-second.png"), "groove-sequence-2");

    BLIceimage ice;
    ASSERT_TRUE(readDocument(saved, ice)) << log;
    ASSERT_EQ(ice.sequence.count, 3);
    ASSERT_EQ(ice.sequence.length, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ice.sequence.grooves[i].id, i + 1);
        EXPECT_EQ(ice.sequence.entries[i], i + 1);
    }
    const BLGroove& drums = ice.sequence.grooves[0];
    const BLGroove& bass = ice.sequence.grooves[1];
    EXPECT_EQ(drums.tracks[0].group, 0);
    EXPECT_EQ(drums.tracks[2].group, -1) << "a silenced track is stored empty";
    EXPECT_EQ(bass.tracks[2].group, 2);
    EXPECT_EQ(bass.tracks[0].group, -1);
    EXPECT_EQ(ice.sequence.grooves[2].tracks[3].group, 3);

    // The sound: the drums groove from the start of sequence play, the
    // bass groove from the cycle boundary (32 beats at 225 BPM) on. The
    // level beat by beat repeats every 8 beats while the drums play, and
    // changes where the boundary falls.
    const std::vector<int16_t> sound = readCapture(capture);
    ASSERT_GE(firstSound(sound), 0) << log;
    const int beat = 44100 * 60 / static_cast<int>(tempo);
    const int cycle = 32 * beat;
    ASSERT_GE(static_cast<int>(sound.size() / 2), 38 * beat) << log;
    std::vector<double> level;
    for (int b = 0; b < 38; ++b) {
        double e = 0;
        for (int k = b * beat; k < (b + 1) * beat; ++k) e += std::abs(sound[static_cast<size_t>(2 * k)]);
        level.push_back(e / beat);
    }
    double same = 0, changed = 0;
    for (int b = 16; b < 22; ++b) same += std::abs(level[b] - level[b + 8]);
    for (int b = 24; b < 30; ++b) changed += std::abs(level[b] - level[b + 8]);
    EXPECT_GT(changed, 4 * same + 100) << "the groove changes at the boundary and not before";

    const double ratio = tempo / 175.0;
    const Loop bassLoop =
        readLoop(library + "/Song/Quick/Bass0" + std::to_string(bass.tracks[2].slot + 1) + ".wav");
    ASSERT_GT(bassLoop.frames(), 0);
    int at = -1;
    EXPECT_GT(bestMatch(sound, playedAt(bassLoop, ratio, 2048), cycle, cycle + 4 * beat, at), 0.85)
        << "the bass after the boundary";
    EXPECT_LT(bestMatch(sound, playedAt(bassLoop, ratio, 2048), cycle / 2, cycle / 2 + 4 * beat, at), 0.6)
        << "no bass before it";
}

TEST_F(GroovePanelSession, TheKeyboardSelectsMutesSetsTheVolumeStoresAndPlays)
{
    BLGroove groove;
    for (int t = 0; t < 8; ++t) groove.tracks[t] = BLTrack{100, 0, static_cast<int16_t>(t), 0};
    const std::string doc = writeDocument("keys.bld", "NightShift", groove, 126.0f);
    const std::string saved = dir.file("keys-saved.bld");
    const std::string script =
        "wait 700\npress 3\nkeydown m\npress 5\nkeyup m\nkeydown v\npress right\npress right\npress "
        "right\nkeyup v\n"
        "press return\npress space\nwait 1200\nscreenshot " +
        dir.file("keys-playing.png") + "\npress space\nwait 300\nscreenshot " + dir.file("keys-stopped.png") +
        "\ndialog " + saved + "\nctrl s\nwait 600\nquit\n";
    runScript(script, doc);
    keepScreen(dir.file("keys-playing.png"), "groove-keys-playing");

    BLIceimage ice;
    ASSERT_TRUE(readDocument(saved, ice));
    EXPECT_EQ(ice.selectedTrack, 2);
    EXPECT_EQ(ice.groove.tracks[2].volume, 103);
    ASSERT_EQ(ice.sequence.count, 1) << "Return stored the groove";
    EXPECT_EQ(ice.sequence.grooves[0].tracks[4].group, -1) << "the muted track is stored empty";
    EXPECT_EQ(ice.sequence.grooves[0].tracks[2].volume, 103);
    EXPECT_EQ(ice.sequence.grooves[0].tracks[5].group, 5);

    e2e::SkinPictures skin(testsupport::programDir() + "/Beatloom.xrs");
    Shot playing(dir.file("keys-playing.png")), stopped(dir.file("keys-stopped.png"));
    ASSERT_TRUE(playing.ok() && stopped.ok());
    const int32_t playUp = 3000, playDown = 3001;
    EXPECT_EQ(playing.at(kOriginX + 16 + 50, kOriginY + 42 + 12), skin.pixel(playDown, 50, 12));
    EXPECT_EQ(stopped.at(kOriginX + 16 + 50, kOriginY + 42 + 12), skin.pixel(playUp, 50, 12));
    EXPECT_GE(firstSound(readCapture(capture)), 0) << "space played";
}

TEST_F(GroovePanelSession, ADocumentSavedWithCtrlSOpensAgainFromTheCommandLine)
{
    BLGroove groove;
    for (int t = 0; t < 6; ++t)
        groove.tracks[t] = BLTrack{90, static_cast<int16_t>(t - 3), static_cast<int16_t>(t), 1};
    const std::string doc = writeDocument("start.bld", "NightShift", groove, 126.0f, 1);
    const std::string first = dir.file("first.bld"), second = dir.file("second.bld");
    // Two stored grooves, one sequence entry, track 5 selected, tempo 126.4.
    const std::string change =
        "wait 700\nkeydown v\npress right\nkeyup v\npress return\nkeydown v\npress right\nkeyup v\npress "
        "return\n" +
        drag(48, 369, 48, 413) + "press 5\nkeydown b\npress right\npress right\nkeyup b\nwait 200\ndialog " +
        first + "\nctrl s\nwait 600\nquit\n";
    runScript(change, doc);
    const std::string reopen = "wait 900\nscreenshot " + dir.file("reopened.png") + "\ndialog " + second +
                               "\nctrl s\nwait 600\nquit\n";
    runScript(reopen, first);
    keepScreen(dir.file("reopened.png"), "groove-reopened");

    // And opened with Ctrl+O from a program started without a document.
    const std::string third = dir.file("third.bld");
    runScript("wait 700\ndialog " + first + "\nctrl o\nwait 900\nscreenshot " + dir.file("opened.png") +
                  "\ndialog " + third + "\nctrl s\nwait 600\nquit\n",
              "");
    keepScreen(dir.file("opened.png"), "groove-opened");

    BLIceimage a, b, c;
    ASSERT_TRUE(readDocument(first, a));
    ASSERT_TRUE(readDocument(second, b));
    ASSERT_TRUE(readDocument(third, c));
    EXPECT_EQ(c.sequence.count, a.sequence.count);
    EXPECT_EQ(c.groove, a.groove);
    EXPECT_EQ(c.selectedTrack, a.selectedTrack);
    EXPECT_EQ(c.bpm, a.bpm);
    EXPECT_STREQ(a.songName, "NightShift");
    EXPECT_EQ(a.sequence.count, 2);
    EXPECT_EQ(a.sequence.length, 1);
    EXPECT_EQ(a.selectedTrack, 4);
    EXPECT_NEAR(a.bpm, 126.4f, 0.01f);
    EXPECT_STREQ(b.songName, a.songName);
    EXPECT_EQ(b.sequence.count, a.sequence.count);
    for (int i = 0; i < a.sequence.count; ++i) EXPECT_EQ(b.sequence.grooves[i], a.sequence.grooves[i]);
    EXPECT_EQ(b.sequence.length, a.sequence.length);
    EXPECT_EQ(b.sequence.entries[0], a.sequence.entries[0]);
    EXPECT_EQ(b.groove, a.groove);
    EXPECT_EQ(b.selectedTrack, a.selectedTrack);
    EXPECT_EQ(b.bpm, a.bpm);
}

TEST_F(GroovePanelSession, ADocumentNamedRelativeToTheFolderItWasTypedInOpens)
{
    BLGroove groove;
    groove.tracks[2] = BLTrack{77, 5, 2, 0};
    testsupport::TempDir here("typed-in");
    const std::string doc = writeDocument("mine.bld", "NightShift", groove, 131.0f, 2);
    testsupport::writeFile(here.file("mine.bld"), testsupport::readFile(doc));
    const std::string saved = dir.file("saved.bld");
    testsupport::writeFile(here.file("script.txt"),
                           "wait 700\ndialog " + saved + "\nctrl s\nwait 600\nquit\n");
    const auto r = testsupport::run({dir.program(), "--script", "script.txt", "--log", "log.txt", "mine.bld"},
                                    here.path(), 60);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_FALSE(testsupport::readFile(here.file("log.txt")).empty())
        << "the log goes where it was asked for";

    BLIceimage ice;
    ASSERT_TRUE(readDocument(saved, ice));
    EXPECT_STREQ(ice.songName, "NightShift");
    EXPECT_EQ(ice.groove.tracks[2], groove.tracks[2]);
    EXPECT_EQ(ice.selectedTrack, 2);
    EXPECT_NEAR(ice.bpm, 131.0f, 0.01f);
}

TEST(GrooveDemo, TheDemonstrationPlaysARandomGrooveAndKeepsPictureAndSound)
{
    testsupport::ProgramDir dir("demo");
    const std::string out = dir.file("demo");
    // On a machine so loaded that the sound device plays at two thirds of
    // real time (SDL's disk driver waits 70 ms for each 2048 frames), the
    // demonstration still plays its 8 seconds.
    const auto r = testsupport::run({dir.program(), "--headless", "--demo", out}, dir.path(), 120,
                                    {"SDL_DISKAUDIODELAY=70"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find(out + "/screen.png"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(out + "/played.wav"), std::string::npos) << r.out;
    e2e::Shot shot(out + "/screen.png");
    ASSERT_TRUE(shot.ok());
    GrooveSession::keepScreen(out + "/screen.png", "groove-demo");

    const Loop played = readLoop(out + "/played.wav");
    ASSERT_EQ(played.channels, 2);
    EXPECT_GE(played.frames(), 8 * 44100) << "at least 8 seconds";
    int sounding = 0;
    for (int f = 0; f < played.frames(); ++f) sounding += played.samples[static_cast<size_t>(2 * f)] != 0;
    EXPECT_GT(sounding, played.frames() / 2);
    EXPECT_FALSE(std::filesystem::exists(out + "/played.raw")) << "the raw capture is converted, not left";
}

}  // namespace
}  // namespace groovee2e

namespace groovee2e {
namespace {

// The launch grid's button under Sequence, and track 1's lamp (stage points).
constexpr int kGridX = 92 + 26, kGridY = 70 + 9;
constexpr int kGroupMenuX = 118;
constexpr int kLampX = 42, kLampY = 148;
constexpr int32_t kLampNone = 3100;
// What of a loop is compared with the capture.
constexpr int kHeard = 8192;

// The loop from `phase` of its own length onward, as the mix plays it.
std::vector<float> loopFrom(const Loop& loop, int phase, int frames)
{
    Loop turned = loop;
    const auto at = turned.samples.begin() + static_cast<long>(phase) * loop.channels;
    std::rotate(turned.samples.begin(), at, turned.samples.end());
    return playedAt(turned, 1.0, frames);
}

TEST_F(GroovePanelSession, OnTheBeatGridAChangedLoopComesInOnABeatAndItsLampCountsTheWait)
{
    BLGroove groove;
    groove.tracks[0] = BLTrack{100, 0, 0, 0};  // Drums01
    groove.tracks[1] = BLTrack{6, 0, 3, 0};    // Chords01, quiet
    const std::string doc = writeDocument("grid.bld", "NightShift", groove, 126.0f);
    // Beat picked; C held on track 1, and its group stepped to Perc (Perc01)
    // just after beat 6 is heard; then the screen while the change waits.
    const int changedAt = 6 * kBeatFrames126 + 2048;
    const std::string script =
        "wait 700\npress space\nwaitsize 441000 " + capture + "\nclick " + at(kGridX, kGridY) +
        "\npress 1\nkeydown c\nwaitsize " + std::to_string(4 * changedAt) + " " + capture +
        "\npress down\nkeyup c\nwait 60\nscreenshot " + dir.file("waiting.png") + "\nwaitsize " +
        std::to_string(4 * 14 * kBeatFrames126) + " " + capture + "\nquit\n";
    const std::string log = runScript(script, doc);
    keepScreen(dir.file("waiting.png"), "groove-grid-waiting");

    // Track 1's lamp is dimmed and holds the count: its picture with the
    // digits' ink over it.
    Shot shot(dir.file("waiting.png"));
    ASSERT_TRUE(shot.ok()) << log;
    e2e::SkinPictures skin(testsupport::programDir() + "/Beatloom.xrs");
    const kelPoint lamp = skin.size(kLampNone);
    int ink = 0, inside = 0;
    for (int ly = 0; ly < lamp.v; ++ly)
        for (int lx = 0; lx < lamp.h; ++lx) {
            if (skin.mask(kLampNone, lx, ly) != 0) continue;
            ++inside;
            ink += shot.at(kOriginX + kLampX + lx, kOriginY + kLampY + ly) != skin.pixel(kLampNone, lx, ly);
        }
    EXPECT_GT(inside, 50);
    EXPECT_GE(ink, 4) << "a count over the dimmed lamp";
    EXPECT_LT(ink, inside / 2);

    // Heard from a beat: the first beat after the change where the capture
    // holds Perc01 (from its first frame, or at the phase of the timeline).
    // The timeline's start in the capture: where Drums01 first begins.
    const std::vector<int16_t> sound = readCapture(capture);
    const Loop first = readLoop(library + "/Song/NightShift/Drums01.wav");
    const Loop loop = readLoop(library + "/Song/NightShift/Perc01.wav");
    ASSERT_GT(loop.frames(), 0);
    ASSERT_GT(first.frames(), 0);
    int origin = -1;
    ASSERT_GT(bestMatch(sound, playedAt(first, 1.0, 4096), 0, 2 * kBeatFrames126, origin), 0.97) << log;
    origin %= kBeatFrames126;  // it may repeat within the first beats
    int heardAt = -1;
    std::string seen;
    // Drums01 as the timeline plays it at b; Perc01 from b, either way.
    auto old = [&](int b) {
        int found = -1;
        return bestMatch(sound, loopFrom(first, b % first.frames(), kHeard), origin + b, origin + b, found);
    };
    for (int b = 7 * kBeatFrames126; b <= 13 * kBeatFrames126 && heardAt < 0; b += kBeatFrames126) {
        int found = -1;
        for (const int phase : {0, b % loop.frames()}) {
            const double r = bestMatch(sound, loopFrom(loop, phase, kHeard), origin + b, origin + b, found);
            seen += " " + std::to_string(b / kBeatFrames126) + ":" + std::to_string(r);
            if (r > 0.97 && old(b) < 0.97) heardAt = b;
        }
    }
    ASSERT_GE(heardAt, 0) << "no beat from 7 to 13 brings the loop in:" << seen << "\n" << log;
    // The first beat the mixer had not reached when the change came.
    EXPECT_LE(heardAt, changedAt + 2 * kBeatFrames126) << "within two beats of the change:" << seen;
    EXPECT_GT(old(heardAt - kBeatFrames126), 0.97) << "the old loop up to that beat";
}

// A loop picked from its menu is heard from the next boundary of the grid
// after the release, as one changed with the keys is, however little time
// is left to it: the menu's blink only shows the choice.
TEST_F(GroovePanelSession, ALoopPickedFromItsMenuComesInOnTheNextBoundaryAsTheKeysDo)
{
    BLGroove groove;
    groove.tracks[0] = BLTrack{100, 0, 0, 0};  // Drums01
    const std::string doc = writeDocument("picks.bld", "NightShift", groove, 126.0f);
    const int menuY = rowTop(0) + 10;
    const auto bytesAt = [](double beats, double secondsBefore) {
        return std::to_string(4 * static_cast<int>(beats * kBeatFrames126 - secondsBefore * 44100));
    };
    // Held in the group menu of track 1 (Drums, then Perc a row below),
    // released so long before the beat or bar.
    const auto pickAt = [&](int rows, double beats, double secondsBefore) {
        return "down " + at(kGroupMenuX, menuY) + "\nwait 250\nmove " + at(kGroupMenuX, menuY + 19 * rows) +
               "\nwaitsize " + bytesAt(beats, secondsBefore) + " " + capture + "\nup " +
               at(kGroupMenuX, menuY + 19 * rows) + "\nwait 700\n";
    };
    struct Change {
        int beat;  // where it is to be heard
        int loop;  // 0 Drums01, 1 Perc01
    };
    const std::vector<Change> changes = {{8, 1}, {11, 0}, {14, 1}, {17, 0}, {24, 1}};
    const std::string script = "wait 700\npress space\nwaitsize 441000 " + capture + "\nclick " +
                               at(kGridX, kGridY) + "\nwait 300\n" + pickAt(1, 8, 0.30) +
                               pickAt(-1, 11, 0.45) + pickAt(1, 14, 0.20) +
                               // The same with the keys, 0.3 s before beat 17.
                               "press 1\nkeydown c\nwaitsize " + bytesAt(17, 0.30) + " " + capture +
                               "\npress up\nkeyup c\nwait 300\n"
                               // On the Bar grid, 0.3 s before bar 7 (beat 24).
                               "click " +
                               at(kGridX, kGridY) + "\nwait 300\n" + pickAt(1, 24, 0.30) + "waitsize " +
                               bytesAt(28, 0) + " " + capture + "\nquit\n";
    const std::string log = runScript(script, doc);

    const std::vector<int16_t> sound = readCapture(capture);
    const Loop loops[2] = {readLoop(library + "/Song/NightShift/Drums01.wav"),
                           readLoop(library + "/Song/NightShift/Perc01.wav")};
    ASSERT_GT(loops[0].frames(), 0);
    ASSERT_GT(loops[1].frames(), 0);
    int origin = -1;
    ASSERT_GT(bestMatch(sound, playedAt(loops[0], 1.0, 4096), 0, 2 * kBeatFrames126, origin), 0.97) << log;
    origin %= kBeatFrames126;
    // The loop as the timeline plays it from beat `b` on: from its first
    // frame, or at the timeline's phase.
    auto heard = [&](int loop, int b) {
        const int frame = b * kBeatFrames126;
        double best = 0;
        for (const int phase : {0, frame % loops[loop].frames()}) {
            int found = -1;
            best = std::max(best, bestMatch(sound, loopFrom(loops[loop], phase, kHeard), origin + frame,
                                            origin + frame, found));
        }
        return best;
    };
    const char* names[2] = {"Drums01", "Perc01"};
    for (const Change& c : changes) {
        EXPECT_GT(heard(c.loop, c.beat), 0.97) << names[c.loop] << " from beat " << c.beat;
        EXPECT_LT(heard(c.loop, c.beat - 1), 0.97) << names[c.loop] << " not before beat " << c.beat;
        EXPECT_GT(heard(1 - c.loop, c.beat - 1), 0.97) << names[1 - c.loop] << " up to beat " << c.beat;
    }
}

}  // namespace
}  // namespace groovee2e
