// Whether the card is ever left waiting: the program headless on SDL's disk
// driver plays a groove of the demo song on the beat grid for MINUTES (10)
// minutes, a loop changed every half second, while two other processes keep
// both cores busy. The program says at the stop how many periods it made
// later than the card needed them (each a gap on a real card); exit 1 when
// any was, or when less sound than the time played was captured.
//
//   bench_underrun PROGRAM_DIR
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchProgram.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_underrun PROGRAM_DIR\n");
        return 2;
    }
    const int minutes = std::getenv("MINUTES") ? std::atoi(std::getenv("MINUTES")) : 10;
    const auto work = benchprogram::makeWorkFolder(argv[1], "underrun");
    const auto doc = benchprogram::writeGroove(work);
    if (doc.empty() || minutes < 1) return 1;

    // Track 1's group stepped down and up again, every half second.
    std::string script = "wait 700\npress space\nclick 305 223\npress 1\nkeydown c\n";
    const int changes = minutes * 120;
    for (int i = 0; i < changes; ++i)
        script += std::string("wait 500\npress ") + (i % 2 ? "up" : "down") + "\n";
    script += "keyup c\nquit\n";

    std::vector<pid_t> load;
    for (int core = 0; core < 2; ++core) {
        const pid_t pid = fork();
        if (pid == 0)
            for (;;) __asm__ volatile("" ::: "memory");
        load.push_back(pid);
    }
    const bool ran = benchprogram::play(work, "run", script, doc);
    for (const pid_t pid : load) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    const std::string said = benchprogram::readAll(work / "run.err");
    const double seconds = static_cast<double>(benchprogram::readAll(work / "run.raw").size()) / 4 / 44100;
    const bool late = said.find("made too late") != std::string::npos;
    std::printf("%d loop changes in %.0f s of sound captured%s%s\n", changes, seconds,
                late ? ": " : "; no period late", late ? said.c_str() : "");
    std::filesystem::remove_all(work);
    return ran && !late && seconds >= minutes * 60 ? 0 : 1;
}
