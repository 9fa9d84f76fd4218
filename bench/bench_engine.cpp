// The engine's mixing chain and its refill tick.
//
// MixingChain: GetResampled with eight tracks playing loops from files in
// the page cache, one core doing the mixing and the loader's reading in
// turn, at tempo ratios 1.0 and 1.3 (the limit). MixerOnly: the same without
// the reading (the rings hold loop data already). The counter "realtime" is
// seconds of output made per second: the real-time factor.
//
// RefillTick: the whole engine playing a groove for a minute (the device on
// SDL's dummy driver, the real loader thread), one refill tick every 23 ms
// as the timer makes them; reports the worst and the mean tick.
// BEATLOOM_TICK_SECONDS shortens the minute.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/BLEngine.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Vtrack.h"
#include "audio/Winaudio.h"
#include "bench/BenchChain.h"
#include "core/kelFiles.h"

namespace {

using namespace benchchain;

void setRealtimeCounter(benchmark::State& state, int64_t frames)
{
    state.counters["realtime"] =
        benchmark::Counter(static_cast<double>(frames) / 44100, benchmark::Counter::kIsRate);
}

// The mix tempo in thousandths of a BPM: 120000 is the song's own (ratio
// 1.0), 156000 the 1.3 limit.
void MixingChain(benchmark::State& state, int milliBpm)
{
    static LoopFolder loops;
    Chain chain(loops, milliBpm);
    std::vector<int16_t> out(2 * 2048);
    int64_t frames = 0;
    for (auto _ : state) {
        Chain::service();
        GetResampled(out.data(), 2048);
        benchmark::DoNotOptimize(out.data());
        frames += 2048;
    }
    setRealtimeCounter(state, frames);
}
BENCHMARK_CAPTURE(MixingChain, ratio_1_0, 120000);
BENCHMARK_CAPTURE(MixingChain, ratio_1_3, 156000);

void MixerOnly(benchmark::State& state, int milliBpm)
{
    static LoopFolder loops;
    Chain chain(loops, milliBpm);
    for (TRACK& t : Tracks) {
        std::lock_guard<std::mutex> hold(t.lock);
        t.writePos = kNever;  // the ring's loop data, round and round
    }
    std::vector<int16_t> out(2 * 2048);
    int64_t frames = 0;
    for (auto _ : state) {
        if (TimeLine.load() > kNever / 2) TimeLine.store(0);
        GetResampled(out.data(), 2048);
        benchmark::DoNotOptimize(out.data());
        frames += 2048;
    }
    setRealtimeCounter(state, frames);
}
BENCHMARK_CAPTURE(MixerOnly, ratio_1_0, 120000);
BENCHMARK_CAPTURE(MixerOnly, ratio_1_3, 156000);

void RefillTick(benchmark::State& state)
{
    static LoopFolder loops;
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const char* secondsText = std::getenv("BEATLOOM_TICK_SECONDS");
    const double seconds = secondsText ? std::atof(secondsText) : 60.0;

    wDBSetOutput(nullptr);
    wDBSetTimer(false);  // the benchmark is the timer
    BLEngine engine;
    engine.init();
    engine.samplesListReset();
    engine.samplesBpm(120);
    for (int i = 0; i < 8; ++i)
        engine.samplesListAdd(loops.kel[i].c_str(), static_cast<short>(loops.repeats[i]));
    engine.play();
    for (short t = 0; t < 8; ++t) {
        engine.setTrackSample(t, t);
        engine.setTrackVolume(t, 100);
    }
    engine.setMixerBpm(156);
    if (PlayingStatus.load() != 2) {
        state.SkipWithError("the dummy audio driver did not open");
        engine.exit();
        return;
    }

    using Clock = std::chrono::steady_clock;
    std::mt19937 random(2);
    double worst = 0;
    double total = 0;
    int ticks = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto due = start;
        while (Clock::now() - start < std::chrono::duration<double>(seconds)) {
            due += std::chrono::milliseconds(23);
            std::this_thread::sleep_until(due);
            if (ticks % 87 == 86)
                engine.setTrackSample(static_cast<short>(random() % 8), static_cast<short>(random() % 8));
            const auto t0 = Clock::now();
            MMSysAudio::AudioOutTimeSlice();
            const double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
            worst = std::max(worst, us);
            total += us;
            ++ticks;
        }
    }
    state.counters["ticks"] = ticks;
    state.counters["worst_us"] = worst;
    state.counters["mean_us"] = ticks ? total / ticks : 0;
    engine.stop();
    engine.exit();
    wDBSetTimer(true);
}
BENCHMARK(RefillTick)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
