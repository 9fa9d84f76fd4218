// Two instances of the built program on this machine, linked over the
// loopback: one listens (on a free port) and lets the other in, the other
// connects, loads a song and makes a random groove. What the second sends
// the first hears, in order; the first plays the same music (both heard
// through SDL's disk driver) and their beats agree within one mixing block.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/GrooveSession.h"
#include "library/BLprefs.h"
#include "platform/PlatLink.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::join;
using testsupport::ProgramDir;
using testsupport::readFile;

constexpr int kBlock = 2048;

// The program running in the background on a script, its output in a file.
class Instance {
public:
    Instance(ProgramDir& dir, const std::string& script) : dir_(dir)
    {
        testsupport::writeFile(dir.file("script.txt"), script);
        const std::vector<std::string> env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + dir.file("capture.raw"),
                                              "SDL_VIDEODRIVER=offscreen"};
        const std::vector<std::string> argv = {dir.program(), "--script", dir.file("script.txt"), "--log",
                                               dir.file("log.txt"), "--screen", "1024x768"};
        pid_ = fork();
        if (pid_ == 0) {
            FILE* out = std::freopen(dir.file("out.txt").c_str(), "w", stdout);
            if (out) dup2(fileno(stdout), STDERR_FILENO);
            if (chdir(dir.path().c_str()) != 0) _exit(127);
            for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
            std::vector<char*> args;
            for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
    }
    ~Instance() { stop(); }

    // Ends it as a signal does (the orderly shut-down); its exit code.
    int stop()
    {
        if (pid_ <= 0) return exit_;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 3000 && waitpid(pid_, &status, WNOHANG) == 0; ++i) plat::sleepMs(10);
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
        exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return exit_;
    }
    bool running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }
    std::string log() const { return readFile(dir_.file("log.txt")); }
    std::string out() const { return readFile(dir_.file("out.txt")); }

private:
    ProgramDir& dir_;
    pid_t pid_ = -1;
    int exit_ = -1;
};

// Waits up to `seconds` for `done`; false when it never came.
bool waitFor(const std::function<bool()>& done, int seconds)
{
    const double end = plat::monotonicMs() + seconds * 1000.0;
    while (plat::monotonicMs() < end) {
        if (done()) return true;
        plat::sleepMs(50);
    }
    return done();
}

std::vector<std::string> linesAfter(const std::string& log, const std::string& prefix)
{
    std::vector<std::string> found;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) found.push_back(line.substr(prefix.size()));
    return found;
}

// The messages that are what the user did: no clocks, no welcome.
std::vector<std::string> userMessages(const std::vector<std::string>& messages)
{
    std::vector<std::string> kept;
    for (const std::string& m : messages)
        if (m.rfind("8 ", 0) != 0 && m.rfind("10 ", 0) != 0) kept.push_back(m);
    return kept;
}

struct BeatMark {
    int beat;
    double at;
    double tempo;
};

std::vector<BeatMark> beats(const std::string& log)
{
    std::vector<BeatMark> marks;
    for (const std::string& line : linesAfter(log, "link beat ")) {
        BeatMark m{};
        if (std::sscanf(line.c_str(), "%d at %lf tempo %lf", &m.beat, &m.at, &m.tempo) == 3) marks.push_back(m);
    }
    return marks;
}

// Where in its cycle an instance was at time 0 of the clock, in beats, from
// the moments its beat turned over between `from` and `to`.
double phase(const std::vector<BeatMark>& marks, double from, double to, int& used)
{
    double sum = 0, first = 0;
    used = 0;
    for (size_t i = 1; i < marks.size(); ++i) {
        const BeatMark& m = marks[i];
        if (m.at < from || m.at > to || m.beat != (marks[i - 1].beat + 1) % 32) continue;
        double p = std::fmod(m.beat - m.at * m.tempo / 60000.0, 32.0);
        if (p < 0) p += 32;
        if (used == 0) first = p;
        // Kept near the first, across the cycle's end.
        while (p - first > 16) p -= 32;
        while (first - p > 16) p += 32;
        sum += p;
        ++used;
    }
    return used ? sum / used : 0;
}

// Frames per step of a loudness contour.
constexpr int kContour = 512;

std::vector<double> contour(const std::vector<int16_t>& capture)
{
    std::vector<double> steps;
    for (size_t at = 0; at + 2 * kContour <= capture.size(); at += 2 * kContour) {
        double sum = 0;
        for (size_t i = at; i < at + 2 * kContour; i += 2) sum += double(capture[i]) * capture[i];
        steps.push_back(std::sqrt(sum / kContour));
    }
    return steps;
}

double correlation(const std::vector<double>& a, int atA, const std::vector<double>& b, int atB, int n)
{
    if (atA < 0 || atB < 0 || atA + n > static_cast<int>(a.size()) || atB + n > static_cast<int>(b.size())) return -1;
    double ma = 0, mb = 0;
    for (int i = 0; i < n; ++i) {
        ma += a[static_cast<size_t>(atA + i)];
        mb += b[static_cast<size_t>(atB + i)];
    }
    ma /= n;
    mb /= n;
    double ab = 0, aa = 0, bb = 0;
    for (int i = 0; i < n; ++i) {
        const double x = a[static_cast<size_t>(atA + i)] - ma, y = b[static_cast<size_t>(atB + i)] - mb;
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1;
}

std::string prefsFor(int16_t mode, uint16_t port)
{
    blPrefsClass prefs;
    prefs.netMode = mode;
    prefs.netPort = port;
    std::snprintf(prefs.netAddress, sizeof prefs.netAddress, "127.0.0.1");
    prefs.fileName = "Beatloom.prf";
    prefs.save();
    return "Beatloom.prf";
}

void writePrefs(const ProgramDir& dir, int16_t mode, uint16_t port)
{
    const fs::path here = fs::current_path();
    fs::current_path(dir.path());
    prefsFor(mode, port);
    fs::current_path(here);
}

// A 1024 x 768 window: the stage at (192, 144) and the browser centred on it.
constexpr int kBrowserX = 192 + 320 - 566 / 2;
constexpr int kBrowserY = 144 + 240 - 406 / 2;

TEST(NetRun, TwoInstancesOverTheLoopbackPlayOneGrooveInStep)
{
    ProgramDir listenDir("netlisten"), connectDir("netconnect");
    writePrefs(listenDir, 2, 0);
    // The listening side lets the other in when asked.
    Instance listening(listenDir, "box yes\n");
    std::vector<std::string> said;
    ASSERT_TRUE(waitFor([&] { return !(said = linesAfter(listening.log(), "link listening ")).empty(); }, 60))
        << listening.out();
    const int port = std::atoi(said.front().c_str());
    ASSERT_GT(port, 0);

    // The other connects, loads the first song of the browser and, a little
    // later, makes a random groove of it.
    writePrefs(connectDir, 1, static_cast<uint16_t>(port));
    const std::string line0 = join(kBrowserX + 17 + 147, " ", kBrowserY + 42 + 8);
    const std::string load = join(kBrowserX + 14 + 39, " ", kBrowserY + 360 + 13);
    Instance connecting(connectDir, "wait 1500\nclick " + line0 + "\nwait 800\nclick " + load +
                                        "\nwait 4000\nkeydown r\npress 4\nkeyup r\n");

    // Everything the connecting side sent after its random groove is heard.
    auto sentAll = [&] {
        const std::vector<std::string> sent = userMessages(linesAfter(connecting.log(), "link sent "));
        const std::vector<std::string> heard = userMessages(linesAfter(listening.log(), "link heard "));
        return sent.size() >= 2 + 24 + 1 + 24 && heard == sent;
    };
    ASSERT_TRUE(waitFor(sentAll, 90)) << "sent:\n" << connecting.log() << "\nheard:\n" << listening.log();

    // The listening side starts on the other's cycle; both then play on.
    auto playedTogether = [&] {
        const std::vector<BeatMark> a = beats(listening.log());
        return a.size() >= 28;
    };
    ASSERT_TRUE(waitFor(playedTogether, 90)) << listening.log();
    EXPECT_TRUE(listening.running() && connecting.running());
    const std::vector<BeatMark> listenBeats = beats(listening.log());
    const std::vector<BeatMark> connectBeats = beats(connecting.log());
    EXPECT_EQ(listening.stop(), 0);
    EXPECT_EQ(connecting.stop(), 0);

    // Their beats: from the turns of each while both played.
    // The listening side starts on the other's cycle and then follows its
    // beat; a few seconds let it settle.
    const double from = listenBeats.front().at + 6000, to = std::min(listenBeats.back().at, connectBeats.back().at);
    int usedA = 0, usedB = 0;
    const double a = phase(listenBeats, from, to, usedA), b = phase(connectBeats, from, to, usedB);
    ASSERT_GE(usedA, 8);
    ASSERT_GE(usedB, 8);
    double apart = std::fmod(a - b, 32.0);
    if (apart > 16) apart -= 32;
    if (apart < -16) apart += 32;
    const double tempo = listenBeats.back().tempo;
    EXPECT_EQ(tempo, connectBeats.back().tempo);
    const double frames = apart * 60.0 / tempo * 44100.0;
    EXPECT_LE(std::fabs(frames), kBlock) << "the beats are " << frames << " frames apart";

    // The sound: a second and a half of the listening side's music has the loudness
    // contour of the other's music after its random groove (some four
    // seconds into its playing). Contours, not waveforms: the listening side
    // nudges its pace by a few per cent to keep in step, which stretches the
    // waveform a little; and the search goes over all the other's playing,
    // since a sound card starved on a busy machine puts silence in between.
    const std::vector<double> heardA = contour(groovee2e::readCapture(listenDir.file("capture.raw")));
    const std::vector<double> heardB = contour(groovee2e::readCapture(connectDir.file("capture.raw")));
    const int window = 3 * 44100 / 2 / kContour;
    ASSERT_GT(static_cast<int>(heardA.size()), 6 * window) << "the listening side played too little";
    // Half way through, when it has long settled in step.
    const int startA = static_cast<int>(heardA.size()) / 2;
    double best = -1;
    for (int at = 6 * 44100 / kContour; at + window <= static_cast<int>(heardB.size()); ++at)
        best = std::max(best, correlation(heardA, startA, heardB, at, window));
    EXPECT_GT(best, 0.8) << "the listening side does not play what the other plays";
}

}  // namespace
