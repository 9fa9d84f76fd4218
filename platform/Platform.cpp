#include "platform/Platform.h"

#include <time.h>

#include <cstdio>

namespace plat {

namespace {
std::unique_ptr<Backend> gBackend;
}

Backend& backend() { return *gBackend; }
bool hasBackend() { return gBackend != nullptr; }
void setBackend(std::unique_ptr<Backend> b) { gBackend = std::move(b); }
void clearBackend() { gBackend.reset(); }

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

void logLine(const std::string& text)
{
    std::fprintf(stderr, "beatloom: %s\n", text.c_str());
}

}  // namespace plat
