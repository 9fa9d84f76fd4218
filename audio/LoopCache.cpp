#include "audio/LoopCache.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

#include "audio/AudioFormat.h"
#include "audio/Vtrack.h"
#include "audio/WinApi.h"

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
    // Not cleared first: the file's frames fill it (a pass less over memory
    // that is new to the process, which is what a load costs).
    if (image) image->samples.reset(new (std::nothrow) int16_t[static_cast<size_t>(frames) * width]);
    const bool read = image && image->samples;
    if (read) {
        const int want = static_cast<int>(bytes);
        int got = 0;
        for (int n; got < want &&
                    (n = F_read(file, reinterpret_cast<char*>(image->samples.get()) + got, want - got)) > 0;)
            got += n;
        // A short file plays what it holds, then silence, as when streamed.
        if (got < want)
            std::fill(image->samples.get() + got / 2, image->samples.get() + want / 2, int16_t{0});
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
