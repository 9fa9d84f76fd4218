// ctest-labels: threads
// The effects on the audio thread: while the racks run and the main thread
// moves their values, bypasses them, swaps and empties their effects (an
// LV2 plugin among them), the running side allocates nothing, frees nothing
// and takes no lock. An allocation and lock hook is armed around each run
// on the running thread alone. Under a sanitizer (which keeps allocation
// to itself) the same runs are made without the hook, for the checker to
// watch the threads meet.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "audio/EngineFixture.h"
#include "audio/LoopCache.h"
#include "audio/fx/FxRack.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FX_HOOKS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FX_HOOKS 0
#endif
#endif
#ifndef FX_HOOKS
#define FX_HOOKS 1
#endif

namespace {

thread_local bool armed = false;
std::atomic<int> allocations{0};
std::atomic<int> lockCalls{0};
std::atomic<int> lockWaits{0};

}  // namespace

#if FX_HOOKS
extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);

void* malloc(size_t n) noexcept
{
    if (armed) ++allocations;
    return __libc_malloc(n);
}
void* calloc(size_t n, size_t size) noexcept
{
    if (armed) ++allocations;
    return __libc_calloc(n, size);
}
void* realloc(void* p, size_t n) noexcept
{
    if (armed) ++allocations;
    return __libc_realloc(p, n);
}
void free(void* p) noexcept
{
    if (armed && p) ++allocations;
    __libc_free(p);
}

int pthread_mutex_lock(pthread_mutex_t* m) noexcept
{
    using Lock = int (*)(pthread_mutex_t*);
    static const Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (armed) {
        ++lockCalls;
        if (pthread_mutex_trylock(m) == 0) return 0;
        ++lockWaits;
    }
    return real(m);
}
}
#endif

using namespace enginetest;

namespace {

FxSlot slotOf(const std::string& text)
{
    FxSlot s;
    std::string problem;
    EXPECT_TRUE(FxSlot_FromText(text, &s, &problem)) << problem;
    return s;
}

void resetCounts()
{
    allocations = 0;
    lockCalls = 0;
    lockWaits = 0;
}

// The main thread's side: values moving, bypasses, effects swapped and
// emptied, for `rounds` rounds.
void moveEverything(FxBoard& board, int rounds, const std::atomic<bool>& running)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    const char* const swaps[] = {"delay:time=1/8,feedback=0.6", "reverb:size=0.8", "filter:type=bandpass",
                                 "http://drobilla.net/plugins/mda/Delay:feedback=0.3"};
    for (int i = 0; i < rounds && running; ++i) {
        board.setParam(0, 0, "cutoff", 200.0f + 5000.0f * u(random));
        board.setParam(0, 1, "time", 0.0625f + u(random));
        board.setParam(kFxMain, 0, "mix", u(random));
        board.setParam(kFxMain, 1, "ceiling", -12.0f * u(random));
        if (i % 7 == 0) board.setBypass(1, 0, (i / 7) % 2 == 0);
        if (i % 25 == 0) board.set(1, 1, slotOf(swaps[(i / 25) % 4]), kFxAtOnce, {});
        if (i % 60 == 30) board.clear(1, 1);
        board.service();
        std::this_thread::yield();
    }
}

TEST(FxRealTime, TheHookSeesAnAllocationAndALock)
{
    if (!FX_HOOKS) GTEST_SKIP() << "under a sanitizer the allocation and lock hook is off";
    resetCounts();
    std::mutex m;
    armed = true;
    delete new volatile int(3);
    m.lock();
    armed = false;
    m.unlock();
    EXPECT_EQ(allocations.load(), 2);
    EXPECT_EQ(lockCalls.load(), 1);
    EXPECT_EQ(lockWaits.load(), 0);
}

TEST(FxRealTime, RunningRacksAllocateNothingAndTakeNoLockWhileEverythingMoves)
{
    FxBoard board;
    board.set(0, 0, slotOf("filter:cutoff=800,resonance=0.5"), kFxAtOnce, {});
    board.set(0, 1, slotOf("delay:time=1/4,feedback=0.5"), kFxAtOnce, {});
    board.set(1, 0, slotOf("http://drobilla.net/plugins/mda/Delay"), kFxAtOnce, {});
    board.set(kFxMain, 0, slotOf("reverb"), kFxAtOnce, {});
    board.set(kFxMain, 1, slotOf("limiter:ceiling=-3"), kFxAtOnce, {});
    std::atomic<bool> running{true};
    std::atomic<int> blocks{0};
    resetCounts();
    std::thread audio([&] {
        std::vector<float> l(kFxMaxBlock), r(kFxMaxBlock);
        std::mt19937 random(3);
        std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
        FxContext c;
        for (int64_t frame = 0; running; frame += 256) {
            for (int rack : {0, 1, kFxMain}) {
                for (int i = 0; i < 256; ++i) l[i] = r[i] = noise(random);
                armed = true;
                board.rack(rack).runFrom(l.data(), r.data(), 256, c, frame);
                armed = false;
                for (int i = 0; i < 256; ++i) ASSERT_TRUE(std::isfinite(l[i]) && std::isfinite(r[i]));
            }
            ++blocks;
        }
    });
    moveEverything(board, 3000, running);
    // Let the running side take what was sent last.
    for (int wait = 0; wait < 1000 && blocks < 400; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    running = false;
    audio.join();
    board.service();
    EXPECT_GT(blocks.load(), 100);
    // The swaps happened: the units let go of were freed by the main thread.
    // Of the 170 or so made, no more than the five set first and, for the
    // slot swapped, the one heard, one crossing out and one waiting.
    EXPECT_LE(board.unitsHeld(), 8u);
    if (!FX_HOOKS) GTEST_SKIP() << "under a sanitizer the allocation and lock hook is off";
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(lockCalls.load(), 0);
}

class FxRealTimeMixer : public LowerLayer {
protected:
    void TearDown() override
    {
        Fx_LiveBoard().clearAll();
        LoopCache_Clear();
        LowerLayer::TearDown();
    }
};

TEST_F(FxRealTimeMixer, TheMixerWithEffectsAllocatesNothingAndWaitsForNoLock)
{
    // Eight tracks from memory (the mixer fills their rings itself), each
    // with a filter and a delay; a reverb and the limiter on the main mix.
    for (int t = 1; t <= 8; ++t) {
        const int loop = addLoop(t, 4 * kBeat, 8);
        LoopCache_Add(loop - 1, kelPath(dir.file("loop" + std::to_string(t) + ".wav")).c_str());
    }
    ASSERT_TRUE(LoopCache_Resident());
    FxBoard& board = Fx_LiveBoard();
    for (int t = 0; t < 8; ++t) {
        ASSERT_EQ(TrackPlay(t + 1, t + 1), 0);
        board.set(t, 0, slotOf("filter:cutoff=1200"), kFxAtOnce, {});
        board.set(t, 1, slotOf("delay:time=3/16"), kFxAtOnce, {});
    }
    board.set(kFxMain, 0, slotOf("reverb"), kFxAtOnce, {});
    board.set(kFxMain, 1, slotOf("limiter"), kFxAtOnce, {});
    SetMixBPM(105000);
    std::atomic<bool> running{true};
    std::atomic<int> blocks{0};
    resetCounts();
    std::thread audio([&] {
        std::vector<int16_t> out(2 * 512);
        while (running) {
            armed = true;
            GetResampled(out.data(), 512);
            armed = false;
            ++blocks;
        }
    });
    std::mt19937 random(5);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    for (int i = 0; i < 2000 || blocks < 200; ++i) {
        for (int t = 0; t < 8; ++t) board.setParam(t, 0, "cutoff", 100.0f + 8000.0f * u(random));
        board.setParam(kFxMain, 0, "size", u(random));
        if (i % 40 == 0) board.set(3, 1, slotOf(i % 80 ? "reverb" : "delay:time=1/16"), kFxAtOnce, {});
        board.service();
        std::this_thread::yield();
    }
    running = false;
    audio.join();
    EXPECT_GT(blocks.load(), 50);
    if (!FX_HOOKS) GTEST_SKIP() << "under a sanitizer the allocation and lock hook is off";
    EXPECT_EQ(allocations.load(), 0);
    EXPECT_EQ(lockWaits.load(), 0);
    // The tracks' own locks are taken (never waited for): the hook sees them.
    EXPECT_GT(lockCalls.load(), 0);
}

}  // namespace
