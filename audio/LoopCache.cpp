#include "audio/LoopCache.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

#include "audio/AudioFormat.h"
#include "audio/WinApi.h"
#include "audio/Vtrack.h"

namespace {

int64_t budget = int64_t{200} << 20;
std::unique_ptr<LoopImage> images[kMaxVTracks];
int64_t held = 0;
bool overflowed = false;
std::atomic<bool> resident{false};

void dropAll()
{
    for (auto& image : images) image.reset();
    held = 0;
    resident.store(false);
}

}  // namespace

void LoopCache_SetBudget(int64_t bytes)
{
    budget = bytes;
}

void LoopCache_Clear()
{
    dropAll();
    overflowed = false;
}

void LoopCache_Add(int index, const char* path)
{
    if (overflowed || index < 0 || index >= kMaxVTracks || !path || !path[0]) return;
    int channels = 0;
    int frames = 0;
    void* file = OpenWave(path, &channels, &frames);
    if (file == F_NOFILE) return;  // it plays nothing, from memory or not
    if (channels != 1 && channels != 2) {
        F_close(file);  // the engine plays mono and stereo only
        return;
    }
    const int width = channels;
    const int64_t bytes = int64_t{frames} * width * 2;
    if (frames < 0 || held + bytes > budget) {
        F_close(file);
        overflowed = true;
        dropAll();
        return;
    }
    auto image = std::unique_ptr<LoopImage>(new (std::nothrow) LoopImage);
    bool read = image != nullptr;
    if (read) {
        try {
            image->samples.resize(static_cast<size_t>(frames) * width);
        } catch (const std::bad_alloc&) {
            read = false;
        }
    }
    if (read) {
        const int want = static_cast<int>(bytes);
        const int got = F_read(file, image->samples.data(), want);
        // A short file plays what it holds, then silence, as when streamed.
        if (got < want) std::fill(image->samples.begin() + got / 2, image->samples.end(), 0);
    }
    F_close(file);
    if (!read) {
        overflowed = true;
        dropAll();
        return;
    }
    image->channels = width;
    image->frames = frames;
    held += bytes;
    images[index] = std::move(image);
    resident.store(true);
}

bool LoopCache_Resident()
{
    return resident.load(std::memory_order_acquire);
}

const LoopImage* LoopCache_Image(int index)
{
    if (index < 0 || index >= kMaxVTracks || !LoopCache_Resident()) return nullptr;
    return images[index].get();
}

int64_t LoopCache_Bytes()
{
    return held;
}
