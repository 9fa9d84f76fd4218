// What the effects cost while playing at 44.1 kHz.
//
// Effects: the mixing chain (GetResampled, eight tracks from the rings)
// with a filter and a delay on every track and a reverb and the limiter on
// the main mix, every cutoff moving, at the song's tempo and at another;
// Dry: the same chain without them. The counter "core_%" is the share of
// one core the chain takes to play in real time (thread CPU time over the
// seconds of sound made); Effects fails when it passes 10 %.
//
// Lv2Tracks: an LV2 plugin (mda Delay) on every track instead; Lv2Alone:
// the same eight plugins run by themselves over as many frames, so that
// what the chain adds beside the plugins' own cost is the difference.
#include <benchmark/benchmark.h>
#include <time.h>

#include <cmath>
#include <string>
#include <vector>

#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/fx/FxRack.h"
#include "bench/BenchChain.h"
#include "platform/PlatLv2.h"

namespace {

using namespace benchchain;

const char* const kPlugin = "http://drobilla.net/plugins/mda/Delay";

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

FxSlot slotOf(const std::string& text)
{
    FxSlot s;
    FxSlot_FromText(text, &s, nullptr);
    return s;
}

// Runs the chain for the benchmark's iterations and reports its share of a core.
void play(benchmark::State& state, bool moving, double limit)
{
    for (TRACK& t : Tracks) {
        std::lock_guard<std::mutex> hold(t.lock);
        t.writePos = kNever;  // the ring's loop data, round and round
    }
    std::vector<int16_t> out(2 * 2048);
    int64_t frames = 0;
    int step = 0;
    const double started = threadSeconds();
    for (auto _ : state) {
        if (TimeLine.load() > kNever / 2) TimeLine.store(0);
        if (moving) {
            // A hand on every cutoff: a new value every block.
            ++step;
            for (int t = 0; t < 8; ++t)
                Fx_LiveBoard().setParam(t, 0, "cutoff",
                                        300.0f + 4000.0f * (0.5f + 0.5f * std::sin(step * 0.1f + t)));
            Fx_LiveBoard().service();
        }
        GetResampled(out.data(), 2048);
        benchmark::DoNotOptimize(out.data());
        frames += 2048;
    }
    const double cpu = threadSeconds() - started;
    const double heard = static_cast<double>(frames) / 44100.0;
    if (frames == 0 || !(cpu > 0)) {
        state.SkipWithError("no time could be measured (no frames made, or no thread CPU clock)");
        return;
    }
    const double share = 100.0 * cpu / heard;
    state.counters["core_%"] = share;
    if (limit > 0 && share > limit)
        state.SkipWithError(("the chain takes " + std::to_string(share) + " % of a core, over " +
                             std::to_string(limit) + " %")
                                .c_str());
}

void Dry(benchmark::State& state, int milliBpm)
{
    static LoopFolder loops;
    Chain chain(loops, milliBpm);
    play(state, false, 0);
}
BENCHMARK_CAPTURE(Dry, ratio_1_0, 120000);
BENCHMARK_CAPTURE(Dry, ratio_1_3, 156000);

void Effects(benchmark::State& state, int milliBpm)
{
    static LoopFolder loops;
    Chain chain(loops, milliBpm);
    FxBoard& board = Fx_LiveBoard();
    for (int t = 0; t < 8; ++t) {
        board.set(t, 0, slotOf("filter:cutoff=1500,resonance=0.4"), kFxAtOnce, {});
        board.set(t, 1, slotOf("delay:time=3/16,feedback=0.5,mix=0.3"), kFxAtOnce, {});
    }
    board.set(kFxMain, 0, slotOf("reverb:size=0.7,mix=0.3"), kFxAtOnce, {});
    board.set(kFxMain, 1, slotOf("limiter:ceiling=-1"), kFxAtOnce, {});
    play(state, true, 10.0);
    board.clearAll();
}
BENCHMARK_CAPTURE(Effects, ratio_1_0, 120000);
BENCHMARK_CAPTURE(Effects, ratio_1_3, 156000);

void Lv2Tracks(benchmark::State& state)
{
    static LoopFolder loops;
    Chain chain(loops, 120000);
    FxBoard& board = Fx_LiveBoard();
    for (int t = 0; t < 8; ++t) {
        if (!board.set(t, 0, slotOf(kPlugin), kFxAtOnce, {}).empty()) {
            state.SkipWithError("mda-lv2's Delay is not installed (scripts/install-deps.sh installs it)");
            board.clearAll();
            return;
        }
    }
    play(state, false, 0);
    board.clearAll();
}
BENCHMARK(Lv2Tracks);

void Lv2Alone(benchmark::State& state)
{
    const plat::Lv2Plugin* plugin = plat::Lv2_Find(kPlugin);
    if (!plugin) {
        state.SkipWithError("mda-lv2's Delay is not installed (scripts/install-deps.sh installs it)");
        return;
    }
    std::vector<std::unique_ptr<plat::Lv2Instance>> eight;
    for (int t = 0; t < 8; ++t) eight.push_back(plat::Lv2Instance::make(*plugin, 44100, 2048, nullptr));
    // Noise as the loops give it, fresh for every plugin.
    std::vector<float> noise(2 * 2048);
    uint32_t seed = 1;
    for (float& v : noise)
        v = static_cast<float>((seed = seed * 1664525u + 1013904223u) >> 8) / (1 << 24) - 0.5f;
    std::vector<float> l(2048), r(2048);
    int64_t frames = 0;
    const double started = threadSeconds();
    for (auto _ : state) {
        for (auto& i : eight) {
            std::copy(noise.begin(), noise.begin() + 2048, l.begin());
            std::copy(noise.begin() + 2048, noise.end(), r.begin());
            const float* in[2] = {l.data(), r.data()};
            float* o[2] = {l.data(), r.data()};
            i->run(in, o, 2048);
        }
        benchmark::DoNotOptimize(l.data());
        frames += 2048;
    }
    const double cpu = threadSeconds() - started;
    if (frames == 0 || !(cpu > 0)) {
        state.SkipWithError("no time could be measured");
        return;
    }
    state.counters["core_%"] = 100.0 * cpu / (static_cast<double>(frames) / 44100.0);
}
BENCHMARK(Lv2Alone);

}  // namespace

BENCHMARK_MAIN();
