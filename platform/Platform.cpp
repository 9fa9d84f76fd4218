#include "platform/Platform.h"

#include <dirent.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <numeric>

namespace plat {

namespace {
std::unique_ptr<Backend> gBackend;
std::mutex gBackendMutex;  // setting and clearing against interruptModal
}  // namespace

Backend& backend()
{
    return *gBackend;
}
bool hasBackend()
{
    return gBackend != nullptr;
}

void setBackend(std::unique_ptr<Backend> b)
{
    std::lock_guard<std::mutex> hold(gBackendMutex);
    gBackend = std::move(b);
}

void clearBackend()
{
    std::unique_ptr<Backend> old;
    std::lock_guard<std::mutex> hold(gBackendMutex);
    old = std::move(gBackend);
}

void interruptModal()
{
    std::lock_guard<std::mutex> hold(gBackendMutex);
    if (gBackend) gBackend->interruptModal();
}

void endChildProcesses()
{
    // Every process whose parent is this one, found in /proc (the children
    // of all threads: dialogs run on threads of their own).
    const pid_t self = ::getpid();
    DIR* proc = ::opendir("/proc");
    if (!proc) return;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self) continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        std::FILE* f = std::fopen(path, "r");
        if (!f) continue;
        char line[512];
        const bool read = std::fgets(line, sizeof line, f) != nullptr;
        std::fclose(f);
        // "pid (name) state ppid ...": the name may hold anything, so the
        // fields are counted from its closing parenthesis.
        const char* close = read ? std::strrchr(line, ')') : nullptr;
        char state = 0;
        long parent = 0;
        if (close && std::sscanf(close + 1, " %c %ld", &state, &parent) == 2 && parent == self)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    ::closedir(proc);
}

uint32_t millis()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void sleepMs(int ms)
{
    if (ms <= 0) return;
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

namespace {

long floorDiv(long a, long b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}  // b > 0
long ceilDiv(long a, long b)
{
    return -floorDiv(-a, b);
}

// The logical pixel whose scaled square [p * num / den, (p + 1) * num / den)
// holds the centre of window pixel `rel` (counted from the picture's start).
long logicalOf(long rel, long num, long den)
{
    return floorDiv((2 * rel + 1) * den, 2 * num);
}
// The first window pixel whose centre lies in logical pixel p's square.
long firstWindowOf(long p, long num, long den)
{
    return ceilDiv(2 * p * num - den, 2 * den);
}

}  // namespace

bool isStageSize(int size)
{
    if (size == kStageSizeDefault || size == kStageFit) return true;
    for (int s : kStageSizes)
        if (s == size) return true;
    return false;
}

int stepStageSize(double shownPercent, int step)
{
    if (step == 0) return kStageFit;
    constexpr int n = sizeof kStageSizes / sizeof kStageSizes[0];
    if (step > 0) {
        for (int s : kStageSizes)
            if (s > shownPercent + 0.5) return s;
        return kStageSizes[n - 1];
    }
    for (int i = n - 1; i >= 0; --i)
        if (kStageSizes[i] < shownPercent - 0.5) return kStageSizes[i];
    return kStageSizes[0];
}

int stageSizeWindowWidth(int stageSize)
{
    return stageSize > 0 ? (kStageWidth * stageSize + 99) / 100 : kStageWidth;
}
int stageSizeWindowHeight(int stageSize)
{
    return stageSize > 0 ? (kStageHeight * stageSize + 99) / 100 : kStageHeight;
}

int WindowFit::toLogicalX(int x) const
{
    if (width <= 0) return x;  // no window yet: nothing to map
    return static_cast<int>(std::clamp<long>(logicalOf(x - offsetX, num, den), 0, width - 1));
}

int WindowFit::toLogicalY(int y) const
{
    if (height <= 0) return y;
    return static_cast<int>(std::clamp<long>(logicalOf(y - offsetY, num, den), 0, height - 1));
}

int WindowFit::toWindowX(int x) const
{
    return offsetX + static_cast<int>(firstWindowOf(x, num, den));
}
int WindowFit::toWindowY(int y) const
{
    return offsetY + static_cast<int>(firstWindowOf(y, num, den));
}

WindowFit fitWindow(int windowWidth, int windowHeight, int displayWidth, int displayHeight, int stageSize)
{
    // A window larger than the display (or than the program's 16-bit
    // coordinates) shows only what the display can hold.
    const int maxW = std::clamp(displayWidth > 0 ? displayWidth : 32767, 1, 32767);
    const int maxH = std::clamp(displayHeight > 0 ? displayHeight : 32767, 1, 32767);
    const long w = std::clamp(windowWidth, 1, maxW), h = std::clamp(windowHeight, 1, maxH);
    // The largest scale at which the stage fits: the width's or the height's.
    long num = w, den = kStageWidth;
    if (w * kStageHeight > h * kStageWidth) {
        num = h;
        den = kStageHeight;
    }
    // A size asked that fits is taken; one that does not is taken down to what does.
    if (stageSize > 0 && stageSize * den < num * 100) {
        num = stageSize;
        den = 100;
    }
    if (num < den) num = den = 1;
    const long g = std::gcd(num, den);
    WindowFit fit;
    fit.num = static_cast<int>(num / g);
    fit.den = static_cast<int>(den / g);
    fit.windowWidth = static_cast<int>(w);
    fit.windowHeight = static_cast<int>(h);
    fit.width = static_cast<int>(w * fit.den / fit.num);
    fit.height = static_cast<int>(h * fit.den / fit.num);
    fit.offsetX = static_cast<int>((w - firstWindowOf(fit.width, fit.num, fit.den)) / 2);
    fit.offsetY = static_cast<int>((h - firstWindowOf(fit.height, fit.num, fit.den)) / 2);
    return fit;
}

void logLine(const std::string& text)
{
    std::fprintf(stderr, "beatloom: %s\n", text.c_str());
}

}  // namespace plat
