// The program's own writers: WAV through the engine's file layer, the
// description through the BLS writer, pictures through the platform's GIF
// encoder. Each file is written beside its place and renamed into it.
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "audio/AudioFormat.h"
#include "core/kelFiles.h"
#include "library/BLBlsWriter.h"
#include "platform/PlatGif.h"
#include "tools/demolib/Output.h"

namespace demolib {

namespace {

bool kelPathOf(const std::string& systemPath, std::string& kel)
{
    char buffer[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(systemPath.c_str(), buffer, sizeof buffer)) return false;
    kel = buffer;
    return true;
}

}  // namespace

bool writeWaveFile(const std::string& systemPath, const std::vector<int16_t>& samples, int channels)
{
    const std::string part = systemPath + ".part";
    std::string kel;
    if (channels < 1 || !kelPathOf(part, kel)) return false;
    const int frames = static_cast<int>(samples.size() / static_cast<size_t>(channels));
    void* file = CreateWave(kel.c_str(), channels, frames, 44100);
    if (file == F_NOFILE) return false;
    // Little-endian samples, whatever the host.
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const uint16_t v = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<uint8_t>(v & 0xFF);
        bytes[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    bool ok = true;
    constexpr size_t kChunk = 1 << 20;
    for (size_t at = 0; at < bytes.size() && ok; at += kChunk) {
        const int count = static_cast<int>(std::min(kChunk, bytes.size() - at));
        ok = F_write(file, bytes.data() + at, count) == count;
    }
    ok = F_close(file) != 0 && ok;
    std::error_code ec;
    if (ok) std::filesystem::rename(part, systemPath, ec);
    if (!ok || ec) {
        std::filesystem::remove(part, ec);
        return false;
    }
    return true;
}

bool writeDescriptionFile(const std::string& systemPath, const std::vector<std::string>& lines, uint32_t seed)
{
    std::string kel, error;
    if (!kelPathOf(systemPath, kel)) return false;
    if (BLBlsWriter_Write(kel.c_str(), lines, &error, seed)) return true;
    std::fprintf(stderr, "demolib: %s\n", error.c_str());
    return false;
}

bool writeGifFile(const std::string& systemPath, const Picture& p)
{
    plat::IndexedPicture picture;
    picture.width = p.width;
    picture.height = p.height;
    picture.pixels = p.pixels;
    picture.palette = p.palette;
    return plat::encodeGif(systemPath, picture);
}

}  // namespace demolib
