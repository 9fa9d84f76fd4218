// How soon a touch is heard. The program runs headless on SDL's disk driver,
// which takes sound at the pace of a card, playing a groove of the demo
// library; as the captured sound reaches a known length a track is muted,
// its volume or its pan changed. Each run is held against a run without the
// touch: the delay is from the captured length at the touch to the first
// frame that differs. Prints the median of 10 runs of each; exit 1 when one
// is over 30 ms, or when a run had to be discarded (it differs from the run
// without the touch before the touch: that says nothing of the delay, and
// is said, never counted as 0). A loop change on the "Beat" grid is counted as well: the
// runs where it came in on the beat after the touch. KEYLOCK=1 measures it
// all with key lock on.
//
//   bench_latency PROGRAM_DIR [TOUCH]   (the build folder that holds beatloom;
//                                        TOUCH: one of them alone)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchProgram.h"

namespace fs = std::filesystem;

namespace {

const int kRuns = std::getenv("RUNS") ? std::atoi(std::getenv("RUNS")) : 10;
constexpr double kMostMs = 30.0;
constexpr int kBytesPerFrame = 4;

struct Touch {
    const char* what;
    const char* ready;  // before the moment
    const char* keys;   // at it
};

const Touch kTouches[] = {
    {"mute", "", "keydown m\npress 2\nkeyup m"},
    {"volume", "", "keydown v\npress left\npress left\npress left\nkeyup v"},
    {"pan", "", "keydown p\npress left\npress left\npress left\nkeyup p"},
    // Track 1's next group, on the next beat.
    {"loop", "press 1\nkeydown c\n", "press down\nkeyup c"},
};
// The song's tempo, played at its own: the capture's frames are the timeline's.
constexpr int kBeatFrames = 44100 * 60 / 126;
// The launch grid's button, on the stage at 1024x768, set to "Beat".
constexpr const char* kGridClick = "click 305 223\n";

constexpr double kNoChange = -1;  // the two never differ
constexpr double kNoPair = -2;    // they differ before the touch already

// Milliseconds from byte `at` to the first frame where the two differ. Two
// runs that differ before the touch (a loaded machine made one of them late
// or drop sound) are no pair: nothing they show is the touch's delay.
double delayMs(const std::string& base, const std::string& touched, size_t at)
{
    const size_t n = std::min(base.size(), touched.size());
    const size_t from = at - at % kBytesPerFrame;
    if (n < from || base.compare(0, from, touched, 0, from) != 0) return kNoPair;
    for (size_t i = from; i + kBytesPerFrame <= n; i += kBytesPerFrame)
        if (base.compare(i, kBytesPerFrame, touched, i, kBytesPerFrame) != 0)
            return static_cast<double>(i - at) / kBytesPerFrame / 44.1;
    return kNoChange;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: bench_latency PROGRAM_DIR [mute|volume|pan|loop]\n");
        return 2;
    }
    const fs::path work = benchprogram::makeWorkFolder(argv[1], "latency");
    const fs::path doc = benchprogram::writeGroove(work);
    if (doc.empty()) return 1;

    // KEYLOCK=1: with key lock on, whose stretcher has a delay of its own.
    const std::string keyLock = std::getenv("KEYLOCK") ? "click 661 202\nwait 200\n" : "";
    const std::string start = "wait 700\n" + keyLock + "press space\nwaitsize 220500 CAPTURE\n" + kGridClick;
    const std::string end = "waitsize 1764000 CAPTURE\nquit\n";
    auto scriptFor = [&](const std::string& name, const std::string& middle) {
        std::string s = start + middle + end;
        const std::string capture = (work / (name + ".raw")).string();
        for (size_t at; (at = s.find("CAPTURE")) != std::string::npos;) s.replace(at, 7, capture);
        return s;
    };
    if (!benchprogram::play(work, "base", scriptFor("base", ""), doc)) {
        std::fprintf(stderr, "bench_latency: the program did not run (%s)\n", work.c_str());
        return 1;
    }
    const std::string base = benchprogram::readAll(work / "base.raw");

    int status = 0;
    for (const Touch& t : kTouches) {
        if (argc > 2 && std::string(argv[2]) != t.what) continue;
        const bool onBeat = std::string(t.what) == "loop";
        int nextBeat = 0;  // runs where the change came on the next beat
        std::vector<double> delays;
        std::string all;
        int discarded = 0;
        for (int i = 0; i < kRuns; ++i) {
            // A different moment each run, 0.1 s of sound apart.
            const size_t at = 441000 + static_cast<size_t>(i) * 17640;
            const std::string name = std::string(t.what) + std::to_string(i);
            const std::string middle =
                std::string(t.ready) + "waitsize " + std::to_string(at) + " CAPTURE\n" + t.keys + "\n";
            const double d = benchprogram::play(work, name, scriptFor(name, middle), doc)
                                 ? delayMs(base, benchprogram::readAll(work / (name + ".raw")), at)
                                 : -1;
            char one[32];
            if (d == kNoPair) {
                std::snprintf(one, sizeof one, "%sdiscarded", all.empty() ? "" : " ");
                ++discarded;
            } else {
                std::snprintf(one, sizeof one, "%s%.1f", all.empty() ? "" : " ", d);
            }
            all += one;
            if (d >= 0) delays.push_back(d);
            if (onBeat && d >= 0) {
                const auto touched = static_cast<int64_t>(at / kBytesPerFrame);
                const auto heard = static_cast<int64_t>(touched + d * 44.1 + 0.5);
                nextBeat += heard % kBeatFrames == 0 && heard / kBeatFrames == touched / kBeatFrames + 1;
            }
        }
        if (discarded > 0)
            std::printf(
                "%-7s %d of %d runs discarded: they differ from the run without the touch before it "
                "(the machine is too loaded to measure)\n",
                t.what, discarded, kRuns);
        std::sort(delays.begin(), delays.end());
        const double median = delays.empty() ? -1 : delays[(delays.size() - 1) / 2];
        if (onBeat) {
            std::printf("%-7s on the next beat in %d of %d runs; median %6.1f ms  (%s)\n", t.what, nextBeat,
                        kRuns, median, all.c_str());
            if (nextBeat * 2 < kRuns || discarded > 0) status = 1;
            continue;
        }
        std::printf("%-7s median %6.1f ms  (%s)\n", t.what, median, all.c_str());
        if (static_cast<int>(delays.size()) < kRuns || median > kMostMs) status = 1;
    }
    if (std::getenv("KEEP")) {
        std::printf("kept %s\n", work.c_str());
    } else {
        fs::remove_all(work);
    }
    return status;
}
