// PROVISIONAL: stands in for the program's WAV, description and GIF writers
// until they are merged; replaced by calls to them.
#include <cstdio>
#include <fstream>

#include "platform/PlatGif.h"
#include "tools/demolib/Output.h"

namespace demolib {

bool writeWaveFile(const std::string& systemPath, const std::vector<int16_t>& samples, int channels)
{
    std::ofstream f(systemPath, std::ios::binary);
    auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) f.put(static_cast<char>((v >> (8 * i)) & 255)); };
    auto u16 = [&](uint16_t v) { for (int i = 0; i < 2; ++i) f.put(static_cast<char>((v >> (8 * i)) & 255)); };
    const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
    f.write("RIFF", 4); u32(36 + data); f.write("WAVEfmt ", 8); u32(16); u16(1); u16(static_cast<uint16_t>(channels));
    u32(44100); u32(44100u * channels * 2); u16(static_cast<uint16_t>(channels * 2)); u16(16); f.write("data", 4); u32(data);
    for (int16_t s : samples) u16(static_cast<uint16_t>(s));
    return static_cast<bool>(f);
}

bool writeDescriptionFile(const std::string& systemPath, const std::vector<std::string>& lines, uint32_t)
{
    std::ofstream f(systemPath);
    for (const auto& l : lines) f << l << "\n";
    return static_cast<bool>(f);
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
