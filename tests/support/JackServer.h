// A JACK server of a test's own on the dummy backend (no sound card), under a
// name no other test uses, stopped when the object goes away or the test
// process dies. Stopped, never killed, where it can be helped: a killed
// server stays in JACK's table of servers, which holds eight.
#pragma once

#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace testsupport {

class JackServer {
public:
    // `period`: frames a period; long ones leave the clients room on a busy
    // machine. `realtime`: the server and its clients' process threads run
    // at a real-time priority where the system grants one (short periods
    // on a machine busy with other work), else as any thread.
    explicit JackServer(const std::string& tag, int period = 512, bool realtime = false)
        : name_(join("bl-", tag, "-", getpid()))
    {
        const std::string frames = std::to_string(period);
        sched_param probe{};
        probe.sched_priority = sched_get_priority_min(SCHED_FIFO);
        realtime = realtime && sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &probe) == 0;
        if (realtime) {
            sched_param normal{};
            sched_setscheduler(0, SCHED_OTHER, &normal);
        }
        pid_ = fork();
        if (pid_ == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            execlp("jackd", "jackd", realtime ? "--realtime" : "--no-realtime", "-n", name_.c_str(), "-d",
                   "dummy", "-r", "44100", "-p", frames.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        // Ready when a client can list its ports.
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pid_ > 0 && std::chrono::steady_clock::now() < until) {
            if (tool({"jack_lsp"}).exitCode == 0) {
                ready_ = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~JackServer()
    {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        for (int i = 0; i < 600; i++) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    bool ready() const { return ready_; }
    const std::string& name() const { return name_; }
    // What a client of this server needs in its environment.
    std::string env() const { return "JACK_DEFAULT_SERVER=" + name_; }
    // Runs a JACK tool (jack_lsp, jack_connect ...) against this server.
    RunResult tool(const std::vector<std::string>& argv, int timeoutSec = 10) const
    {
        return run(argv, "", timeoutSec, {env()});
    }

private:
    std::string name_;
    pid_t pid_ = -1;
    bool ready_ = false;
};

}  // namespace testsupport
