// Composing speed of the offscreen images: one full stage of masked copy.
#include <benchmark/benchmark.h>

#include "core/kelOffmap.h"

namespace {

void fillPattern(kelOffmap& image, int seed)
{
    for (int y = 0; y < image.size.v; ++y)
        for (int x = 0; x < image.size.h; ++x)
            image.setPixel(static_cast<int16_t>(x), static_cast<int16_t>(y),
                           static_cast<int16_t>((x * 37 + y * 101 + seed) & 0x7FFF));
}

void BM_CopyMaskStage(benchmark::State& state)
{
    const int16_t maskDepth = static_cast<int16_t>(state.range(0));
    kelOffmap dest, source, mask;
    dest.allocate(kelDepth16, 640, 480, -1);
    source.allocate(kelDepth16, 640, 480, -1);
    mask.allocate(maskDepth, 640, 480, -1);
    fillPattern(dest, 1);
    fillPattern(source, 2);
    fillPattern(mask, 3);  // every mask value kind: keep, copy and mix
    for (auto _ : state) {
        dest.copyMask(&source, &source.bounds, &mask, &mask.bounds, &dest.bounds);
        benchmark::DoNotOptimize(dest.pixels);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 640 * 480);
}
BENCHMARK(BM_CopyMaskStage)->Arg(kelDepth16)->Arg(kelDepthMask)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
