// Ableton Link end to end: the program (headless, --link, playing into a
// JACK server of the test's own) and a Link peer built from ableton-link-dev
// (tests/support/linkpeer.cpp) in one session over the loopback. The peer at
// 123 BPM: the program joins at 123 within a second, a start on the peer
// starts it and its beats are heard with the peer's clicks (within 5 ms);
// its own tempo change reaches the peer, a stop on the peer stops it, and
// a start of its own waits for the session's bar and starts the peer.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "e2e/GrooveSession.h"
#include "library/BLprefs.h"
#include "platform/PlatLink.h"
#include "platform/Platform.h"
#include "support/JackServer.h"
#include "support/TestSupport.h"

// ctest-labels: jack link

namespace groovee2e {
namespace {

using testsupport::endSpawned;
using testsupport::spawn;

// The peer, steered through its input, its lines read back.
class LinkPeer {
public:
    LinkPeer(double bpm, const std::string& jackEnv)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = spawn({BEATLOOM_LINKPEER, std::to_string(bpm), "jack"}, "", {jackEnv}, in[0], out[1]);
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~LinkPeer()
    {
        // Let go of JACK first: a client killed inside the server holds
        // up the server's own end.
        say("quit");
        endSpawned(pid_, 0);
        close(to_);
        close(from_);
    }
    void say(const std::string& line) const
    {
        const std::string text = line + "\n";
        [[maybe_unused]] const ssize_t n = write(to_, text.data(), text.size());
    }
    // The first line from `from` on that starts with `prefix`; its rest.
    bool hears(const std::string& prefix, double seconds, std::string* rest = nullptr, size_t from = 0)
    {
        const double until = plat::monotonicMs() + seconds * 1000.0;
        for (;;) {
            for (size_t i = from; i < lines.size(); ++i)
                if (lines[i].rfind(prefix, 0) == 0) {
                    if (rest) *rest = lines[i].substr(prefix.size());
                    return true;
                }
            const double left = until - plat::monotonicMs();
            if (left <= 0) return false;
            pollfd p{from_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(std::min(left, 100.0))) <= 0) continue;
            char buffer[1024];
            const ssize_t n = read(from_, buffer, sizeof buffer);
            if (n <= 0) return false;
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n')
                    partial_ += buffer[i];
                else
                    lines.push_back(std::exchange(partial_, {}));
            }
        }
    }
    std::vector<std::string> lines;

private:
    int pid_ = -1;
    int to_ = -1, from_ = -1;
    std::string partial_;
};

// The frames where a channel of a 16-bit stereo recording peaks above
// half its loudest, one a beat.
std::vector<long> clicks(const std::vector<int16_t>& rec, int channel)
{
    const long frames = static_cast<long>(rec.size() / 2);
    int loudest = 0;
    for (long i = 0; i < frames; ++i) loudest = std::max(loudest, std::abs(int{rec[2 * i + channel]}));
    std::vector<long> at;
    for (long i = 0; i < frames && loudest > 0;) {
        if (std::abs(int{rec[2 * i + channel]}) * 2 < loudest) {
            ++i;
            continue;
        }
        long peak = i;
        for (long j = i; j < std::min(frames, i + 64); ++j)
            if (std::abs(int{rec[2 * j + channel]}) > std::abs(int{rec[2 * peak + channel]})) peak = j;
        at.push_back(peak);
        i = peak + 4410;
    }
    return at;
}

class LinkSession : public GrooveSession {
protected:
    // The program on `document`, joined to Link, until the file "done" is written.
    struct Program {
        Program(LinkSession& t, const std::string& document, const std::string& env,
                const std::string& first = "")
            : test(t)
        {
            testsupport::writeFile(t.dir.file("script.txt"),
                                   first + "waitsize 1 " + t.dir.file("done") + "\nquit\n");
            std::remove(t.dir.file("done").c_str());
            std::remove(t.dir.file("log.txt").c_str());
            const int log = open(t.dir.file("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            pid = spawn({t.dir.program(), "--link", "--script", t.dir.file("script.txt"), "--log",
                         t.dir.file("log.txt"), document},
                        t.dir.path(), {env, "SDL_AUDIODRIVER=dummy"}, -1, log);
            close(log);
        }
        // Ended however the test ends: one left running would join the next run's session.
        ~Program()
        {
            testsupport::writeFile(test.dir.file("done"), "done");
            endSpawned(pid, 0, 10);
        }
        std::string said() const { return testsupport::readFile(test.dir.file("log.txt")); }
        bool says(const std::string& what, double seconds) const
        {
            const double until = plat::monotonicMs() + seconds * 1000;
            while (said().find(what) == std::string::npos && plat::monotonicMs() < until) plat::sleepMs(2);
            return said().find(what) != std::string::npos;
        }
        LinkSession& test;
        int pid = -1;
    };

    // A song of the test's own from Dusty Corners (90 BPM), every loop a
    // click on each beat; a document of it at 90 with track 1 playing.
    std::string dustyClicks()
    {
        makeSong("Dusty", "DustyCorners");
        clickEveryBeat(library + "/Song/Dusty", 90);
        BLGroove groove;
        groove.tracks[0] = BLTrack{127, 0, 0, 0};
        return writeDocument("dusty.bld", "Dusty", groove, 90.0f);
    }
};

// The tempos the peer said, other than `bpm`.
std::string otherTempos(const std::vector<std::string>& lines, double bpm)
{
    std::string others;
    for (const std::string& line : lines)
        if (line.rfind("tempo ", 0) == 0 && std::fabs(std::atof(line.c_str() + 6) - bpm) > 0.0005)
            others += line + "; ";
    return others;
}

TEST_F(LinkSession, ThePeersTempoStartAndBeatAreTheProgramsAndItsTempoChangeAndStopReachThePeer)
{
    testsupport::JackServer jack("link");
    ASSERT_TRUE(jack.ready());
    makeSong("Linked", "NightShift");
    clickEveryBeat(library + "/Song/Linked", 126);
    BLGroove groove;
    groove.tracks[0] = BLTrack{127, 0, 0, 0};
    const std::string document = writeDocument("link.bld", "Linked", groove, 126.0f);

    LinkPeer peer(123, jack.env());
    ASSERT_TRUE(peer.hears("peers 0", 10));
    // Two sessions that meet keep the older, and Link takes them for one
    // age when they were founded within half a second of each other.
    const double founded = plat::monotonicMs();

    const std::string go = dir.file("go"), again = dir.file("again"), done = dir.file("done");
    testsupport::writeFile(dir.file("script.txt"), "waitsize 1 " + go +
                                                       "\nkeydown b\npress +\nkeyup b\nwaitsize 1 " + again +
                                                       "\npress space\nwaitsize 1 " + done + "\nquit\n");
    const int log = open(dir.file("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    plat::sleepMs(std::max(0.0, founded + 600 - plat::monotonicMs()));
    int program = spawn(
        {dir.program(), "--link", "--script", dir.file("script.txt"), "--log", dir.file("log.txt"), document},
        dir.path(), {jack.env(), "SDL_AUDIODRIVER=dummy"}, -1, log);
    close(log);
    // Ended however the test ends: one left running would join the next run's session.
    struct Ender {
        int& pid;
        ~Ender() { endSpawned(pid, SIGTERM); }
    } ender{program};
    auto said = [&] { return testsupport::readFile(dir.file("log.txt")); };
    auto waitLog = [&](const std::function<bool(const std::string&)>& done, double seconds) {
        const double until = plat::monotonicMs() + seconds * 1000;
        while (!done(said()) && plat::monotonicMs() < until) plat::sleepMs(2);
        return done(said());
    };
    auto logSays = [&](const std::string& what, double seconds) {
        return waitLog([&](const std::string& log) { return log.find(what) != std::string::npos; }, seconds);
    };

    // Joined, the peer's tempo is the program's within a second.
    ASSERT_TRUE(logSays("Link on", 60)) << testsupport::readFile(dir.file("out.txt"));
    ASSERT_TRUE(logSays("Link peers 1", 10)) << said();
    const double joined = plat::monotonicMs();
    ASSERT_TRUE(logSays("Link tempo 123.000 taken", 5)) << said();
    EXPECT_LT(plat::monotonicMs() - joined, 1000.0);

    // A start on the peer starts the program, and once it says its beat is
    // on the session's, its beats are heard with the peer's clicks.
    peer.say("play");
    ASSERT_TRUE(logSays("Link start taken", 5)) << said();
    const auto settled = [](const std::string& log) {
        int inRow = 0;
        for (size_t at = log.find("Link apart "); at != std::string::npos;
             at = log.find("Link apart ", at + 1))
            inRow = std::fabs(std::atof(log.c_str() + at + 11)) < 0.005 ? inRow + 1 : 0;
        return inRow >= 4;
    };
    ASSERT_TRUE(waitLog(settled, 30)) << said();
    const std::string rec = dir.file("rec.wav");
    ASSERT_EQ(
        jack.tool({"jack_rec", "-f", rec, "-d", "4", "-b", "16", "Beatloom:out_1", "linkpeer:click"}, 20)
            .exitCode,
        0);
    const std::vector<int16_t> heard = testsupport::readWav16(rec);
    const std::vector<long> ours = clicks(heard, 0), theirs = clicks(heard, 1);
    ASSERT_GE(ours.size(), 6u);
    ASSERT_GE(theirs.size(), 6u);
    std::string apart;
    for (const long at : ours) {
        long nearest = theirs.front();
        for (const long t : theirs)
            if (std::labs(t - at) < std::labs(nearest - at)) nearest = t;
        apart += std::to_string(at - nearest) + " ";
        EXPECT_LE(std::labs(at - nearest), 220) << "frames apart, beat by beat: " << apart;
    }
    std::printf("heard apart, frames: %s\n", apart.c_str());

    // The program's tempo change reaches the peer, and the peer's stop stops it.
    testsupport::writeFile(go, "go");
    EXPECT_TRUE(peer.hears("tempo 123.200", 10));
    peer.say("stop");
    EXPECT_TRUE(logSays("Link stop taken", 5));

    // Started here, it waits for the session's bar and starts the peer: from
    // its first beats on it is in phase, not nudged into it.
    const size_t heardBefore = peer.lines.size();
    const size_t saidBefore = said().size();
    testsupport::writeFile(again, "go");
    EXPECT_TRUE(logSays("Link start waits for the session's bar", 5));
    EXPECT_TRUE(peer.hears("playing 1", 5, nullptr, heardBefore));
    std::vector<double> aparts;
    ASSERT_TRUE(waitLog(
        [&](const std::string& log) {
            aparts.clear();
            for (size_t at = log.find("Link apart ", saidBefore); at != std::string::npos;
                 at = log.find("Link apart ", at + 1))
                aparts.push_back(std::atof(log.c_str() + at + 11));
            return aparts.size() >= 2;
        },
        10))
        << said();
    EXPECT_LT(std::fabs(aparts[0]), 0.02) << said().substr(saidBefore);
    EXPECT_LT(std::fabs(aparts[1]), 0.02) << said().substr(saidBefore);
    testsupport::writeFile(done, "done");
}

// A session at 180 for a song of 90, whose window ends at 140: played at
// 90, each of its beats heard with every second beat of the session's.
TEST_F(LinkSession, ASessionTwiceTheSongsTempoIsPlayedAtHalfTimeOnEverySecondBeat)
{
    testsupport::JackServer jack("half");
    ASSERT_TRUE(jack.ready());
    const std::string document = dustyClicks();
    LinkPeer peer(180, jack.env());
    ASSERT_TRUE(peer.hears("peers 0", 10));
    plat::sleepMs(600);  // the peer's session the older
    Program program(*this, document, jack.env());
    ASSERT_TRUE(program.says("Link tempo 180.000 taken at half time: 90.000", 60))
        << program.said() << testsupport::readFile(dir.file("out.txt"));
    peer.say("play");
    ASSERT_TRUE(program.says("Link start taken", 5)) << program.said();
    const auto settled = [&] {
        const std::string log = program.said();
        int inRow = 0;
        for (size_t at = log.find("Link apart "); at != std::string::npos;
             at = log.find("Link apart ", at + 1))
            inRow = std::fabs(std::atof(log.c_str() + at + 11)) < 0.005 ? inRow + 1 : 0;
        return inRow >= 4;
    };
    const double until = plat::monotonicMs() + 30000;
    while (!settled() && plat::monotonicMs() < until) plat::sleepMs(5);
    ASSERT_TRUE(settled()) << program.said();

    const std::string rec = dir.file("rec.wav");
    ASSERT_EQ(
        jack.tool({"jack_rec", "-f", rec, "-d", "5", "-b", "16", "Beatloom:out_1", "linkpeer:click"}, 20)
            .exitCode,
        0);
    const std::vector<int16_t> heard = testsupport::readWav16(rec);
    const std::vector<long> ours = clicks(heard, 0), theirs = clicks(heard, 1);
    ASSERT_GE(ours.size(), 5u);
    std::string apart;
    for (size_t i = 0; i < ours.size(); ++i) {
        long nearest = theirs.front();
        for (const long t : theirs)
            if (std::labs(t - ours[i]) < std::labs(nearest - ours[i])) nearest = t;
        apart += std::to_string(ours[i] - nearest) + " ";
        EXPECT_LE(std::labs(ours[i] - nearest), 220) << "frames apart, beat by beat: " << apart;
        if (i == 0) continue;
        // A beat at 90 is 29400 frames, two of the session's.
        EXPECT_NEAR(ours[i] - ours[i - 1], 29400, 220);
        const auto between = std::count_if(
            theirs.begin(), theirs.end(), [&](long t) { return t > ours[i - 1] + 220 && t < ours[i] + 220; });
        EXPECT_EQ(between, 2) << "session beats in beat " << i;
    }
    std::printf("heard apart at half time, frames: %s\n", apart.c_str());
    EXPECT_EQ(otherTempos(peer.lines, 180), "");
    if (HasFailure()) std::printf("%s\n", program.said().c_str());
}

// A session at 300: neither it, nor half nor double of it, is in the
// song's window. The program keeps its tempo, says so, and leaves the
// session's alone.
TEST_F(LinkSession, ASessionOutsideTheWindowAtAnyTimeLeavesTheSongsTempoAndSaysSo)
{
    testsupport::JackServer jack("refused");
    ASSERT_TRUE(jack.ready());
    const std::string document = dustyClicks();
    LinkPeer peer(300, jack.env());
    ASSERT_TRUE(peer.hears("peers 0", 10));
    plat::sleepMs(600);
    // The network panel, shown once the session is found, says so too.
    const std::string shot = dir.file("refused.png");
    Program program(*this, document, jack.env(),
                    "wait 3000\nclick " + at(430, 110) + "\nwait 1000\nscreenshot " + shot + "\n");
    ASSERT_TRUE(program.says("Link peers 1", 60)) << program.said();
    EXPECT_TRUE(program.says("Link tempo 300.000 refused: outside the song's window, 90.000 kept", 5))
        << program.said();
    EXPECT_TRUE(program.says("screenshot " + shot, 20)) << program.said();
    keepScreen(shot, "link-refused");
    plat::sleepMs(1500);
    peer.hears("nothing", 0.3);  // read what it said meanwhile
    EXPECT_EQ(otherTempos(peer.lines, 300), "");
    EXPECT_EQ(program.said().find("Link tempo 90"), std::string::npos) << program.said();
}

// A peer already playing at 100 and the program started right after it, ten
// times: the session is the peer's every time, at its tempo, and the
// program plays 100 (inside its song's window).
TEST_F(LinkSession, AProgramJoiningARunningSessionTakesItsTempoEveryTime)
{
    testsupport::JackServer jack("join");
    ASSERT_TRUE(jack.ready());
    const std::string document = dustyClicks();
    int played = 0, peerKept = 0;
    for (int trial = 0; trial < 10; ++trial) {
        SCOPED_TRACE(trial);
        LinkPeer peer(100, jack.env());
        ASSERT_TRUE(peer.hears("peers 0", 10));
        Program program(*this, document, jack.env());
        const bool took = program.says("Link tempo 100.000 taken", 60);
        EXPECT_TRUE(took) << program.said();
        if (took) ++played;
        plat::sleepMs(1000);
        peer.hears("nothing", 0.3);
        const std::string others = otherTempos(peer.lines, 100);
        EXPECT_EQ(others, "");
        if (others.empty()) ++peerKept;
        EXPECT_EQ(program.said().find(" sent"), std::string::npos) << program.said();
    }
    std::printf("joined at 100: %d of 10 played 100, the peer kept 100 %d of 10\n", played, peerKept);
}

}  // namespace
}  // namespace groovee2e
