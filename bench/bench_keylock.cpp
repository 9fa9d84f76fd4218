// What key lock costs: the mixing chain with eight tracks playing (loops
// read from the page cache in turn, as the loader does), its output made by
// the plain resampler and by key lock, at tempo ratios 1.0 and 1.3.
//
// Counters: "core_%" is the share of one core the chain takes to keep up
// with playback (CPU time of the thread over the time the output lasts);
// "allocs" counts memory allocations made while producing the output, which
// must stay 0 (the chain runs on the output timer thread).
// bench/keylock_cost.sh runs it and checks key lock at 1.3 stays within 15 %.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "audio/KeyLock.h"
#include "audio/OVMixer.h"
#include "bench/BenchChain.h"

// Counts allocations of this thread while `counting` is set.
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
thread_local bool counting = false;
std::atomic<long> allocations{0};
void count()
{
    if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* malloc(size_t n)
{
    count();
    return __libc_malloc(n);
}
void* calloc(size_t a, size_t b)
{
    count();
    return __libc_calloc(a, b);
}
void* realloc(void* p, size_t n)
{
    count();
    return __libc_realloc(p, n);
}
void free(void* p)
{
    __libc_free(p);
}
int posix_memalign(void** p, size_t alignment, size_t n)
{
    count();
    *p = __libc_memalign(alignment, n);
    return *p ? 0 : ENOMEM;
}
void* aligned_alloc(size_t alignment, size_t n)
{
    count();
    return __libc_memalign(alignment, n);
}
void* memalign(size_t alignment, size_t n)
{
    count();
    return __libc_memalign(alignment, n);
}
}

namespace {

using benchchain::LoopFolder;

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void Play(benchmark::State& state, bool keyLock, int milliBpm)
{
    static LoopFolder loops;
    if (!KeyLock_Set(keyLock)) {
        state.SkipWithError("key lock is not available");
        return;
    }
    benchchain::Chain chain(loops, milliBpm);
    std::vector<int16_t> out(2 * 2048);
    // The first blocks lead the stretcher in; what playing costs comes after.
    for (int i = 0; i < 8; ++i) {
        benchchain::Chain::service();
        GetResampled(out.data(), 2048);
    }
    int64_t frames = 0;
    double cpu = 0;
    allocations.store(0);
    for (auto _ : state) {
        benchchain::Chain::service();
        const double t0 = threadSeconds();
        counting = true;
        GetResampled(out.data(), 2048);
        counting = false;
        cpu += threadSeconds() - t0;
        benchmark::DoNotOptimize(out.data());
        frames += 2048;
    }
    state.counters["core_%"] = 100.0 * cpu / (static_cast<double>(frames) / 44100);
    state.counters["allocs"] = static_cast<double>(allocations.load());
    KeyLock_Set(false);
}

void Resampler(benchmark::State& state, int milliBpm)
{
    Play(state, false, milliBpm);
}
void KeyLock(benchmark::State& state, int milliBpm)
{
    Play(state, true, milliBpm);
}
BENCHMARK_CAPTURE(Resampler, ratio_1_0, 120000);
BENCHMARK_CAPTURE(KeyLock, ratio_1_0, 120000);
BENCHMARK_CAPTURE(Resampler, ratio_1_3, 156000);
BENCHMARK_CAPTURE(KeyLock, ratio_1_3, 156000);

}  // namespace

BENCHMARK_MAIN();
