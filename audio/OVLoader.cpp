// The loader thread: streams loop files into the track rings ahead of the
// mixer. It services the tracks in turn; after a whole pass with nothing to
// do it waits (at most kRestMs, or until woken by a new choice of loop)
// instead of spinning.
#include <chrono>
#include <condition_variable>
#include <thread>

#include "audio/OVTrack.h"

namespace {

constexpr int kRestMs = 10;         // between passes that found nothing to do
constexpr int kStoppedRestMs = 20;  // while not servicing

// The loader's waits and signals. The exit event ("SchedulerAsyncWLDExit")
// is an auto-reset flag.
struct LoaderSync {
    std::mutex m;
    std::condition_variable toLoader;    // wake-ups, exit, pause requests
    std::condition_variable fromLoader;  // acknowledgements, clean passes, end
    bool exitEvent = false;
    bool wake = false;
    bool running = false;
    uint64_t cleanPasses = 0;
};

LoaderSync loader;
std::thread loaderThread;

bool takeExitEvent()
{
    std::lock_guard<std::mutex> hold(loader.m);
    const bool was = loader.exitEvent;
    loader.exitEvent = false;
    return was;
}

void rest(int ms)
{
    std::unique_lock<std::mutex> hold(loader.m);
    loader.toLoader.wait_for(hold, std::chrono::milliseconds(ms),
                             [] { return loader.wake || loader.exitEvent || ExitBackThread.load() != 0; });
    loader.wake = false;
}

void passDone()
{
    {
        std::lock_guard<std::mutex> hold(loader.m);
        ++loader.cleanPasses;
    }
    loader.fromLoader.notify_all();
}

void LoadWaveDataOnTimer()
{
    int i = 0;
    int quiet = 0;  // services in a row that found nothing to do
    for (;;) {
        while (ExitBackThread.load() == 0) {
            if (takeExitEvent()) {
                {
                    std::lock_guard<std::mutex> hold(loader.m);
                    ExitBackThread.store(0);
                    loader.running = false;
                }
                loader.fromLoader.notify_all();
                return;
            }
            if (dowldproc.load() == 0) {
                quiet = 0;
                rest(kStoppedRestMs);
            } else if (LoaderServiceTrack(i)) {
                quiet = 0;
            } else if (++quiet >= kTrackCount) {
                quiet = 0;
                passDone();
                rest(kRestMs);
            }
            i = (i + 1) % kTrackCount;
        }
        quiet = 0;
        {
            std::lock_guard<std::mutex> hold(loader.m);
            ExitBackThread.store(0);  // acknowledged, between two services
        }
        loader.fromLoader.notify_all();
    }
}

}  // namespace

void LoaderStart()
{
    std::lock_guard<std::mutex> hold(loader.m);
    loader.exitEvent = false;
    loader.wake = false;
    // A loader that outlived its exit wait (stuck in the file system) is
    // still this engine's loader: it carries on rather than get a twin.
    if (loader.running) return;
    if (loaderThread.joinable()) loaderThread.join();
    loader.running = true;
    loaderThread = std::thread(LoadWaveDataOnTimer);
}

void LoaderExit(int waitMs)
{
    std::unique_lock<std::mutex> hold(loader.m);
    if (!loader.running && !loaderThread.joinable()) return;
    loader.exitEvent = true;
    loader.toLoader.notify_all();
    const bool ended =
        loader.fromLoader.wait_for(hold, std::chrono::milliseconds(waitMs), [] { return !loader.running; });
    hold.unlock();
    if (ended) {
        if (loaderThread.joinable()) loaderThread.join();
    } else if (loaderThread.joinable()) {
        loaderThread.detach();
    }
}

bool LoaderRunning()
{
    std::lock_guard<std::mutex> hold(loader.m);
    return loader.running;
}

bool LoaderPause(int waitMs)
{
    dowldproc.store(0);
    std::unique_lock<std::mutex> hold(loader.m);
    if (!loader.running) {
        ExitBackThread.store(0);
        return true;
    }
    ExitBackThread.store(1);
    loader.toLoader.notify_all();
    return loader.fromLoader.wait_for(hold, std::chrono::milliseconds(waitMs),
                                      [] { return ExitBackThread.load() == 0 || !loader.running; });
}

void LoaderAbandon()
{
    // ExitBackThread stays set: the loader acknowledges when it comes back,
    // unless a new playback has set it going again by then.
    LoaderEpoch.fetch_add(1, std::memory_order_acq_rel);
}

void LoaderResume()
{
    dowldproc.store(1);
    LoaderWake();
}

void LoaderWake()
{
    {
        std::lock_guard<std::mutex> hold(loader.m);
        loader.wake = true;
    }
    loader.toLoader.notify_all();
}

bool LoaderWaitIdle(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> hold(loader.m);
    // The pass that ends first may have begun before this call; the one
    // after it has not.
    const uint64_t target = loader.cleanPasses + 2;
    while (loader.cleanPasses < target) {
        if (!loader.running || std::chrono::steady_clock::now() >= deadline) return false;
        loader.wake = true;
        loader.toLoader.notify_all();
        loader.fromLoader.wait_until(
            hold, std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(kRestMs)));
    }
    return true;
}
