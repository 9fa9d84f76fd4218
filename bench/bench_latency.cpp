// How soon a touch is heard. The program runs headless on SDL's disk driver,
// which takes sound at the pace of a card, playing a groove of the demo
// library; as the captured sound reaches a known length a track is muted,
// its volume or its pan changed. Each run is held against a run without the
// touch: the delay is from the captured length at the touch to the first
// frame that differs. Prints the median of 10 runs of each; exit 1 when one
// is over 30 ms.
//
//   bench_latency PROGRAM_DIR     (the build folder that holds beatloom)
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "library/BLDocument.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 10;
constexpr double kMostMs = 30.0;
constexpr int kBytesPerFrame = 4;

struct Touch {
    const char* what;
    const char* keys;
};

const Touch kTouches[] = {
    {"mute", "keydown m\npress 2\nkeyup m"},
    {"volume", "keydown v\npress left\npress left\npress left\nkeyup v"},
    {"pan", "keydown p\npress left\npress left\npress left\nkeyup p"},
};

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the program on `script`, capturing its sound into `capture`.
bool play(const fs::path& work, const std::string& name, const std::string& script, const fs::path& doc)
{
    const fs::path scriptFile = work / (name + ".txt");
    std::ofstream(scriptFile) << script;
    const fs::path capture = work / (name + ".raw");
    std::fflush(nullptr);  // or the child would write out what the parent holds
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        setenv("HOME", (work / "home").c_str(), 1);
        setenv("XDG_STATE_HOME", (work / "state").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (work / "home").c_str(), 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
        const std::string program = (work / "prog" / "beatloom").string();
        execl(program.c_str(), program.c_str(), "--script", scriptFile.c_str(), "--log",
              (work / (name + ".log")).c_str(), doc.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Milliseconds from byte `at` to the first frame where the two differ; -1 none.
double delayMs(const std::string& base, const std::string& touched, size_t at)
{
    const size_t n = std::min(base.size(), touched.size());
    for (size_t i = at - at % kBytesPerFrame; i + kBytesPerFrame <= n; i += kBytesPerFrame)
        if (base.compare(i, kBytesPerFrame, touched, i, kBytesPerFrame) != 0)
            return static_cast<double>(i - at) / kBytesPerFrame / 44.1;
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_latency PROGRAM_DIR\n");
        return 2;
    }
    const fs::path built = fs::absolute(argv[1]);
    char pattern[] = "/tmp/beatloom-latency-XXXXXX";
    if (!mkdtemp(pattern)) return 1;
    const fs::path work = pattern;
    fs::create_directories(work / "prog");
    for (const char* name : {"beatloom", "Beatloom.xrs", "Helps.txt", "Library"})
        fs::create_symlink(built / name, work / "prog" / name);

    // Three tracks of the demo song, loud enough that every touch is heard.
    BLIceimage ice;
    ice.valid = 1;
    std::snprintf(ice.songName, sizeof ice.songName, "NightShift");
    ice.groove.tracks[0] = BLTrack{110, 0, 0, 0};
    ice.groove.tracks[1] = BLTrack{110, 0, 1, 0};
    ice.groove.tracks[2] = BLTrack{110, 0, 2, 0};
    ice.bpm = 126.0f;
    const fs::path doc = work / "groove.bld";
    char kel[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(doc.c_str(), kel) || !BLDocument_Write(kel, ice, nullptr)) {
        std::fprintf(stderr, "bench_latency: cannot write %s\n", doc.c_str());
        return 1;
    }

    const std::string start = "wait 700\npress space\nwaitsize 220500 CAPTURE\n";
    const std::string end = "waitsize 1764000 CAPTURE\nquit\n";
    auto scriptFor = [&](const std::string& name, const std::string& middle) {
        std::string s = start + middle + end;
        const std::string capture = (work / (name + ".raw")).string();
        for (size_t at; (at = s.find("CAPTURE")) != std::string::npos;) s.replace(at, 7, capture);
        return s;
    };
    if (!play(work, "base", scriptFor("base", ""), doc)) {
        std::fprintf(stderr, "bench_latency: the program did not run (%s)\n", work.c_str());
        return 1;
    }
    const std::string base = readAll(work / "base.raw");

    int status = 0;
    for (const Touch& t : kTouches) {
        std::vector<double> delays;
        std::string all;
        for (int i = 0; i < kRuns; ++i) {
            // A different moment each run, 0.1 s of sound apart.
            const size_t at = 441000 + static_cast<size_t>(i) * 17640;
            const std::string name = std::string(t.what) + std::to_string(i);
            const std::string middle = "waitsize " + std::to_string(at) + " CAPTURE\n" + t.keys + "\n";
            const double d = play(work, name, scriptFor(name, middle), doc)
                                 ? delayMs(base, readAll(work / (name + ".raw")), at)
                                 : -1;
            char one[32];
            std::snprintf(one, sizeof one, "%s%.1f", all.empty() ? "" : " ", d);
            all += one;
            if (d >= 0) delays.push_back(d);
        }
        std::sort(delays.begin(), delays.end());
        const double median = delays.empty() ? -1 : delays[(delays.size() - 1) / 2];
        std::printf("%-7s median %6.1f ms  (%s)\n", t.what, median, all.c_str());
        if (delays.size() < kRuns || median > kMostMs) status = 1;
    }
    fs::remove_all(work);
    return status;
}
