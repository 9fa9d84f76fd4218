#include "library/BLLoopCache.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "audio/AudioFormat.h"
#include "core/kelBytes.h"
#include "core/kelFiles.h"
#include "core/kelQt.h"

namespace {

constexpr int32_t kEngineRate = 44100;

// True when the engine's own reader takes the file.
bool engineReads(const std::string& path)
{
    void* file = OpenWave(path.c_str(), nullptr, nullptr);
    if (file == F_NOFILE) return false;
    F_close(file);
    return true;
}

// The rate in the format chunk of a WAV file that starts with it, as nearly
// every file does; 0 for any other file.
int32_t leadingFormatRate(const std::string& path)
{
    kelFileRec file;
    if (!KEL_FileOpenReadOnly(path.c_str(), &file)) return 0;
    uint8_t head[28];
    const bool read = KEL_FileReadSome(&file, sizeof head, head) == sizeof head;
    KEL_FileClose(&file);
    if (!read || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVEfmt ", 8) != 0) return 0;
    return static_cast<int32_t>(kelGetLE32(head + 24));
}

// FNV-1a: the cache file's name from the loop's path and the state it was in.
uint64_t hashOf(const std::string& text)
{
    uint64_t h = 1469598103934665603ull;
    for (const char c : text) {
        h ^= static_cast<uint8_t>(c);
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

std::string BL_LoopForEngine(const std::string& path)
{
    int64_t size = 0, changed = 0;
    if (path.empty() || !KEL_FileStamp(path.c_str(), &size, &changed)) return {};
    // The engine plays every file at its own rate, whatever the file says.
    if (leadingFormatRate(path) == kEngineRate && engineReads(path)) return path;
    kelQtSoundInfo info;
    if (!kelQt_soundInfo(path.c_str(), &info)) return {};
    if (info.rate == kEngineRate && engineReads(path)) return path;

    char name[64];
    std::snprintf(name, sizeof name, "%016llx.wav",
                  static_cast<unsigned long long>(
                      hashOf(path + '\n' + std::to_string(size) + '\n' + std::to_string(changed))));
    std::string cached = std::string(kBLLoopCacheFolder) + name;
    if (engineReads(cached)) return cached;
    KEL_CreateDirectory(":Library:");
    KEL_CreateDirectory(kBLLoopCacheFolder);
    if (!kelQt_soundConvert_toLoopWave(path.c_str(), cached.c_str()) || !engineReads(cached)) return {};
    return cached;
}
