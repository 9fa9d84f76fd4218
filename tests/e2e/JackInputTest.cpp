// Sound in through JACK, in this process under a JACK server of the test's
// own (the dummy backend, 256 frames a period): a client of the test's own
// plays a click on each beat of the program's MIDI clock into Beatloom:in_1,
// as a person playing along would; the loop tuner's two-bar take, asked for
// while the groove plays, starts on the next bar, and the loop it saves
// holds the clicks on its beats to the millisecond.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "audio/BLEngine.h"
#include "audio/JackOutput.h"
#include "core/kelFiles.h"
#include "e2e/GrooveSession.h"
#include "e2e/TunerProgram.h"
#include "library/BLprefs.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "platform/Platform.h"
#include "support/JackServer.h"

// ctest-labels: jack realtime

namespace {

namespace fs = std::filesystem;

constexpr int kBeat = 2646000 / 126;  // NightShift's frames a beat
constexpr int kMs = 44;               // a millisecond of frames

class JackInputSession : public browsertest::TunerProgram {
protected:
    void TearDown() override
    {
        TunerProgram::TearDown();
        if (probe > 0) testsupport::endSpawned(probe, SIGTERM, 5);
        if (toProbe >= 0) close(toProbe);
        unsetenv("JACK_DEFAULT_SERVER");
    }
    // The song frame heard now through JACK; -1 before one is.
    static double heardNow()
    {
        double f = -1;
        return JackOutput_HeardSongFrame(plat::monotonicMs(), &f) ? f : -1;
    }

    int probe = -1;
    int toProbe = -1;
};

TEST_F(JackInputSession, ATwoBarTakeStartsOnTheNextBarAndItsClicksLandOnTheBeat)
{
    // Periods of 5.8 ms, kept on a machine busy with other work.
    testsupport::JackServer jack("input", 256, true);
    ASSERT_TRUE(jack.ready()) << "jackd would not start";
    setenv("JACK_DEFAULT_SERVER", jack.name().c_str(), 1);
    // The clock out the player follows, chosen before the program starts.
    blPrefsClass prefs;
    char kel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath(dir.file("Beatloom.prf").c_str(), kel));
    prefs.fileName = kel;
    prefs.midiClockOut = 1;
    ASSERT_TRUE(prefs.save());

    start();
    const std::vector<std::string> songs = entryFolders();
    const auto at = std::find(songs.begin(), songs.end(), "NightShift");
    ASSERT_NE(at, songs.end());
    clickLine(static_cast<int16_t>(at - songs.begin()));
    clickItem(BLLoadPanel::kItemLoad);
    ASSERT_TRUE(idleUntil([] { return gep->state() == BLEngineState::running; }));
    ASSERT_TRUE(idleUntil([&] {
        const std::string ports = jack.tool({"jack_lsp"}).out;
        return ports.find("Beatloom:clock out") != std::string::npos &&
               ports.find("Beatloom:in_1") != std::string::npos;
    })) << jack.tool({"jack_lsp"}).out
        << log();

    // The player, its ports joined to the program's, then the groove played
    // from the top so that it hears the clock's Start.
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    const std::string said = dir.file("probe.txt");
    const int out = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    probe =
        testsupport::spawn({BEATLOOM_JACKPROBE, "60", "player"}, dir.path(), {jack.env()}, pipeFds[0], out);
    close(pipeFds[0]);
    close(out);
    toProbe = pipeFds[1];
    ASSERT_GT(probe, 0);
    ASSERT_TRUE(idleUntil([&] { return testsupport::readFile(said).find("ready") != std::string::npos; }, 20))
        << testsupport::readFile(said);
    for (const auto& [from, to] :
         {std::pair{"Beatloom:clock out", "probe:midi"}, std::pair{"player:click", "Beatloom:in_1"}})
        ASSERT_EQ(jack.tool({"jack_connect", from, to}).exitCode, 0) << from << " -> " << to;
    ASSERT_EQ(write(toProbe, "go\n", 3), 3);
    script("press space\n");
    ASSERT_TRUE(idleUntil([] { return gep->state() != BLEngineState::running; }));
    script("press space\n");
    ASSERT_TRUE(idleUntil([] { return gep->state() == BLEngineState::running && heardNow() > 3 * kBeat; }))
        << log();

    // Two bars on the tuner, Record between the bar's beats.
    clickAt(groove()->control(grooveitem::tuner)->rect);
    ASSERT_TRUE(PWScreen.isVisible(kPWLoopTunerPanel));
    Tuner* t = tuner();
    turn(Tuner::kItemFirstKnob + Tuner::kBars, 50);
    ASSERT_EQ(gep->userLoop_state().bars, 2);
    ASSERT_TRUE(idleUntil([] {
        const double beatInBar = std::fmod(heardNow(), 4.0 * kBeat) / kBeat;
        return beatInBar > 1.2 && beatInBar < 1.8;
    }));
    const double asked = heardNow();
    clickAt(t->control(Tuner::kItemRecord)->rect);
    ASSERT_TRUE(t->recording) << t->statusText << log();
    bool countedIn = false;
    ASSERT_TRUE(idleUntil([&] {
        countedIn = countedIn || gep->userLoop_countIn() > 0;
        return !t->recording;
    })) << t->statusText;
    const double ended = heardNow();
    EXPECT_TRUE(countedIn) << "a count-in shown";
    // From the next bar for two bars: done by the end of the third bar
    // counted from the one Record was clicked in.
    const double nextBar = std::ceil(asked / (4.0 * kBeat)) * 4 * kBeat;
    // (It ends, as it begins, 10 ms before its bar.)
    EXPECT_GE(ended, nextBar + 8 * kBeat - 441);
    EXPECT_LT(ended, nextBar + 9 * kBeat) << "asked at " << asked;
    ASSERT_EQ(gep->userLoop_state().frames, 8 * kBeat);

    // Saved, the loop is two bars holding a click on each of its beats.
    const std::string saved = song("NightShift") + "/User/Take.wav";
    script("dialog " + saved + "\n");
    clickAt(t->control(Tuner::kItemSave)->rect);
    ASSERT_TRUE(idleUntil([&] { return fs::exists(saved); }));
    const groovee2e::Loop loop = groovee2e::readLoop(saved);
    ASSERT_EQ(loop.samples.size(), 2u * 8 * kBeat);
    std::vector<long> clicks;
    long quiet = 1 << 20;
    for (size_t i = 0; 2 * i < loop.samples.size(); ++i) {
        const bool loud = std::abs(loop.samples[2 * i]) > 4000;
        if (loud && quiet > 2 * kMs) clicks.push_back(static_cast<long>(i));
        quiet = loud ? 0 : quiet + 1;
    }
    std::string where;
    for (long c : clicks) where += " " + std::to_string(c);
    ASSERT_EQ(clicks.size(), 8u) << "clicks at" << where << "\n" << testsupport::readFile(said);
    // (A click a little early on the first beat is heard at the loop's end.)
    std::vector<long> beats;
    for (long c : clicks) {
        const long nearest = std::lround(static_cast<double>(c) / kBeat);
        beats.push_back(nearest % 8);
        EXPECT_LE(std::abs(c - nearest * kBeat), kMs)
            << "a click " << c - nearest * kBeat << " frames off its beat; clicks at" << where;
    }
    std::sort(beats.begin(), beats.end());
    EXPECT_EQ(beats, (std::vector<long>{0, 1, 2, 3, 4, 5, 6, 7})) << "clicks at" << where;
}

}  // namespace
