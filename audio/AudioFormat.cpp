#include "audio/AudioFormat.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/kelFiles.h"

namespace {

// Rates outside this range are not sound but damage.
constexpr uint32_t kLowestRate = 1000;
constexpr uint32_t kHighestRate = 768000;
// Real files have a handful of chunks; a walk longer than this is a hostile file.
constexpr int kMostChunks = 1024;

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kFormatExtensible = 0xFFFE;
// The tail shared by the sub-format identifiers of an extensible format
// chunk; its first two bytes carry the format tag.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint32_t get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void put16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// A chunk's four-letter name, without the string's end.
void putTag(uint8_t* p, const char (&tag)[5])
{
    std::copy(tag, tag + 4, p);
}

void put32(uint8_t* p, uint32_t v)
{
    put16(p, v);
    put16(p + 2, v >> 16);
}

bool readAt(void* file, int64_t pos, void* buffer, int count)
{
    if (pos < 0 || pos > INT32_MAX) return false;
    return F_seek(file, static_cast<int>(pos), F_SEEK_SET) == pos && F_read(file, buffer, count) == count;
}

struct WaveLayout {
    int channels = 0;
    int rate = 0;
    int32_t dataStart = 0;
    int32_t dataBytes = 0;
};

// The format chunk's body (at least 16 bytes, 40 when extensible).
bool isPlayableFormat(const uint8_t* fmt, uint32_t size, int* channels, int* sampleRate)
{
    uint16_t tag = get16(fmt);
    const int16_t count = static_cast<int16_t>(get16(fmt + 2));
    const uint32_t rate = get32(fmt + 4);
    const uint16_t blockAlign = get16(fmt + 12);
    const uint16_t bits = get16(fmt + 14);
    if (tag == kFormatExtensible) {
        if (size < 40 || get16(fmt + 18) != 16 ||
            std::memcmp(fmt + 26, kSubFormatTail, sizeof kSubFormatTail) != 0)
            return false;
        tag = get16(fmt + 24);
    }
    if (tag != kFormatPcm || bits != 16) return false;
    if (count != 1 && count != 2) return false;
    if (blockAlign != count * 2) return false;
    if (rate < kLowestRate || rate > kHighestRate) return false;
    *channels = count;
    *sampleRate = static_cast<int>(rate);
    return true;
}

// Walks the RIFF chunks for "fmt " and then "data". A canonical file has
// them at 12 and 36, so its fields come from offsets 22 and 40 as always.
bool readLayout(void* file, int32_t fileLength, WaveLayout* out)
{
    uint8_t head[12];
    if (fileLength < 12 || !readAt(file, 0, head, 12)) return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return false;

    bool haveFormat = false;
    int64_t pos = 12;
    for (int chunk = 0; chunk < kMostChunks; ++chunk) {
        uint8_t idAndSize[8];
        if (pos + 8 > fileLength || !readAt(file, pos, idAndSize, 8)) return false;
        const uint32_t size = get32(idAndSize + 4);
        const int64_t body = pos + 8;
        if (std::memcmp(idAndSize, "fmt ", 4) == 0) {
            uint8_t fmt[40] = {};
            const int want = static_cast<int>(std::min<uint32_t>(size, sizeof fmt));
            if (size < 16 || body + want > fileLength || !readAt(file, body, fmt, want)) return false;
            if (!isPlayableFormat(fmt, size, &out->channels, &out->rate)) return false;
            haveFormat = true;
        } else if (std::memcmp(idAndSize, "data", 4) == 0) {
            if (!haveFormat) return false;
            // A header that claims more than the file holds gets what is there.
            out->dataStart = static_cast<int32_t>(body);
            out->dataBytes =
                static_cast<int32_t>(std::min<int64_t>(size, std::max<int64_t>(fileLength - body, 0)));
            return true;
        }
        pos = body + size + (size & 1);  // chunks are padded to even sizes
    }
    return false;
}

}  // namespace

void* OpenWave(const char* path, int* channels, int* frames)
{
    return OpenWaveAt(path, channels, frames, nullptr);
}

void* OpenWaveAt(const char* path, int* channels, int* frames, int* rate)
{
    void* file = F_open(path);
    if (file == F_NOFILE) return F_NOFILE;
    WaveLayout layout;
    const int fileLength = F_seek(file, 0, F_SEEK_END);
    if (fileLength < 0 || !readLayout(file, fileLength, &layout) ||
        F_seek(file, layout.dataStart, F_SEEK_SET) != layout.dataStart) {
        F_close(file);
        return F_NOFILE;
    }
    F_setDataStart(file, layout.dataStart);
    if (channels) *channels = layout.channels;
    if (frames) *frames = layout.dataBytes / (layout.channels * 2);
    if (rate) *rate = layout.rate;
    return file;
}

int SeekWave(void* file, int byteOffset)
{
    const int32_t start = F_dataStart(file);
    if (start < 0) return 0;
    const int64_t target = std::min<int64_t>(int64_t{start} + std::max(byteOffset, 0), INT32_MAX);
    F_seek(file, static_cast<int>(target), F_SEEK_SET);
    return 0;
}

void* CreateWave(const char* path, int channels, int frames, int rate)
{
    void* file = F_creat(path);
    if (file == F_NOFILE) return F_NOFILE;
    // Unsigned arithmetic: the fields are 32-bit whatever the caller passes.
    const uint32_t blockAlign = static_cast<uint32_t>(channels) * 2u;
    const uint32_t dataBytes = static_cast<uint32_t>(frames) * blockAlign;
    uint8_t h[WAVE_HEADER_BYTES];
    putTag(h, "RIFF");
    put32(h + 4, 36u + dataBytes);
    putTag(h + 8, "WAVE");
    putTag(h + 12, "fmt ");
    put32(h + 16, 16);
    put16(h + 20, kFormatPcm);
    put16(h + 22, static_cast<uint32_t>(channels));
    put32(h + 24, static_cast<uint32_t>(rate));
    put32(h + 28, static_cast<uint32_t>(rate) * blockAlign);
    put16(h + 32, blockAlign);
    put16(h + 34, 16);
    putTag(h + 36, "data");
    put32(h + 40, dataBytes);
    if (F_write(file, h, WAVE_HEADER_BYTES) != WAVE_HEADER_BYTES) {
        F_abandon(file);  // a header cut short is no WAV file
        return F_NOFILE;
    }
    return file;
}

void WriteWaveLen(void* file, int64_t dataBytes)
{
    uint8_t field[4];
    put32(field, 36u + static_cast<uint32_t>(dataBytes));
    if (F_seek(file, 4, F_SEEK_SET) == 4) F_write(file, field, 4);
    put32(field, static_cast<uint32_t>(dataBytes));
    if (F_seek(file, 40, F_SEEK_SET) == 40) F_write(file, field, 4);
    F_seek(file, WAVE_HEADER_BYTES, F_SEEK_SET);
}
