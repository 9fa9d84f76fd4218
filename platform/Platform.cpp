#include "platform/Platform.h"

#include <time.h>

#include <algorithm>
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

int WindowFit::toLogicalX(int x) const
{
    if (width <= 0) return x;  // no window yet: nothing to map
    return std::clamp((x - offsetX) / scale, 0, width - 1);
}

int WindowFit::toLogicalY(int y) const
{
    if (height <= 0) return y;
    return std::clamp((y - offsetY) / scale, 0, height - 1);
}

WindowFit fitWindow(int windowWidth, int windowHeight, int displayWidth, int displayHeight)
{
    // A window larger than the display (or than the program's 16-bit
    // coordinates) shows only what the display can hold.
    const int maxW = std::clamp(displayWidth > 0 ? displayWidth : 32767, 1, 32767);
    const int maxH = std::clamp(displayHeight > 0 ? displayHeight : 32767, 1, 32767);
    const int w = std::clamp(windowWidth, 1, maxW), h = std::clamp(windowHeight, 1, maxH);
    WindowFit fit;
    fit.scale = std::max(1, std::min(w / kStageWidth, h / kStageHeight));
    fit.width = w / fit.scale;
    fit.height = h / fit.scale;
    fit.offsetX = (w - fit.width * fit.scale) / 2;
    fit.offsetY = (h - fit.height * fit.scale) / 2;
    return fit;
}

void logLine(const std::string& text)
{
    std::fprintf(stderr, "beatloom: %s\n", text.c_str());
}

}  // namespace plat
