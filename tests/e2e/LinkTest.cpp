// Ableton Link end to end: the program (headless, --link) and a Link peer
// built from ableton-link-dev (tests/support/linkpeer.cpp) in one session
// over the loopback. The peer set to 123 BPM: the program takes 123 within
// a second; a start and a stop on the peer start and stop it; its own
// tempo change reaches the peer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "e2e/GrooveSession.h"
#include "library/BLprefs.h"
#include "platform/PlatLink.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace groovee2e {
namespace {

pid_t spawn(const std::vector<std::string>& argv, const std::string& where, const std::vector<std::string>& env,
            int in, int out)
{
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (in >= 0) dup2(in, STDIN_FILENO);
    if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
    }
    if (!where.empty() && chdir(where.c_str()) != 0) _exit(127);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

void end(pid_t& pid, int sig)
{
    if (pid <= 0) return;
    kill(pid, sig);
    int status = 0;
    for (int i = 0; i < 1000 && waitpid(pid, &status, WNOHANG) == 0; ++i) plat::sleepMs(10);
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    pid = -1;
}

// The peer, steered through its input, its lines read back.
class LinkPeer {
public:
    explicit LinkPeer(double bpm)
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = spawn({BEATLOOM_LINKPEER, std::to_string(bpm)}, "", {}, in[0], out[1]);
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~LinkPeer()
    {
        say("quit");
        end(pid_, SIGTERM);
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
                if (buffer[i] != '\n') partial_ += buffer[i];
                else lines.push_back(std::exchange(partial_, {}));
            }
        }
    }
    std::vector<std::string> lines;

private:
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
    std::string partial_;
};

class LinkSession : public GrooveSession {};

TEST_F(LinkSession, ThePeersTempoStartAndStopAreTheProgramsAndItsTempoChangeReachesThePeer)
{
    makeSong("Linked", "NightShift");
    BLGroove groove;
    for (BLTrack& t : groove.tracks) t.group = t.slot = -1;
    groove.tracks[0].group = 0;
    groove.tracks[0].slot = 0;
    const std::string document = writeDocument("link.bld", "Linked", groove, 126.0f);

    LinkPeer peer(123);
    ASSERT_TRUE(peer.hears("peers 0", 10));

    const std::string go = dir.file("go"), done = dir.file("done");
    testsupport::writeFile(dir.file("script.txt"), "waitsize 1 " + go + "\nkeydown b\npress +\nkeyup b\nwaitsize 1 " +
                                                       done + "\nquit\n");
    const int log = open(dir.file("out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t program = spawn({dir.program(), "--link", "--script", dir.file("script.txt"), "--log", dir.file("log.txt"),
                           document},
                          dir.path(), {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + capture}, -1, log);
    close(log);
    // Ended however the test ends: one left running would join the next run's session.
    struct Ender {
        pid_t& pid;
        ~Ender() { end(pid, SIGTERM); }
    } ender{program};
    auto logSays = [&](const std::string& what) {
        return testsupport::readFile(dir.file("log.txt")).find(what) != std::string::npos;
    };
    auto waitLog = [&](const std::string& what, double seconds) {
        const double until = plat::monotonicMs() + seconds * 1000;
        while (!logSays(what) && plat::monotonicMs() < until) plat::sleepMs(2);
        return logSays(what);
    };

    // Joined, the peer's tempo is the program's within a second. (Which
    // timeline two sessions keep when they meet is Link's choice, so the
    // tempo is set once both are in one session.)
    ASSERT_TRUE(waitLog("Link on", 60)) << testsupport::readFile(dir.file("out.txt"));
    ASSERT_TRUE(peer.hears("peers 1", 5));
    ASSERT_TRUE(waitLog("Link peers 1", 5));
    peer.say("tempo 123");
    const double asked = plat::monotonicMs();
    ASSERT_TRUE(waitLog("Link tempo 123.000 taken", 5)) << testsupport::readFile(dir.file("log.txt"));
    EXPECT_LT(plat::monotonicMs() - asked, 1000.0);

    // Start and stop on the peer are the program's.
    peer.say("play");
    EXPECT_TRUE(waitLog("Link start taken", 5));
    peer.say("stop");
    EXPECT_TRUE(waitLog("Link stop taken", 5));

    // The program's tempo change reaches the peer.
    testsupport::writeFile(go, "go");
    EXPECT_TRUE(peer.hears("tempo 123.200", 10));
    testsupport::writeFile(done, "done");
}

}  // namespace
}  // namespace groovee2e
