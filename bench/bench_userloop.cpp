// The user-loop stage: one mix block of 2048 frames of a stereo user loop
// added into the accumulators, as the output timer thread renders it, at
// its own speed (each frame one source frame) and at a speed that
// interpolates. The counter "realtime" is seconds of output made per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "audio/Vetro.h"
#include "audio/WinApi.h"

namespace {

void RenderBlock(benchmark::State& state)
{
    Vetro_Init();
    constexpr int32_t kFrames = 10 * 44100;
    auto* loop = static_cast<int16_t*>(M_alloc(kFrames * 4));
    for (int32_t f = 0; f < 2 * kFrames; ++f)
        loop[f] = static_cast<int16_t>(int64_t{f} * 7919 % 30000 - 15000);
    Vetro_ReplaceLoop(loop, kFrames, 2);
    blUserLoopSettingsRec s{1, 4, 0.25f, 0.8f, static_cast<float>(state.range(0)) / 100.0f, 5.0f, 95.0f};
    Vetro_ApplySettings(&s);
    std::vector<float> outL(2048), outR(2048);
    vetroRenderData.blockFrames = 2048;
    vetroRenderData.barFrames = 4 * 22050;
    vetroRenderData.masterGain = 0.5f;
    vetroRenderData.outL = outL.data();
    vetroRenderData.outR = outR.data();
    int64_t at = 0;
    for (auto _ : state) {
        vetroRenderData.blockStart = static_cast<int32_t>(at);
        Vetro_RenderToMixer();
        benchmark::DoNotOptimize(outL.data());
        at = (at + 2048) % (1 << 30);
    }
    state.counters["realtime"] = benchmark::Counter(static_cast<double>(state.iterations()) * 2048 / 44100,
                                                    benchmark::Counter::kIsRate);
    Vetro_ReplaceLoop(nullptr, 0, 2);
    Vetro_Exit();
}
BENCHMARK(RenderBlock)->Arg(100)->Arg(137);

}  // namespace

BENCHMARK_MAIN();
