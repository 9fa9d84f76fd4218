#include "core/kelCasts.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/kelBytes.h"
#include "core/kelCore.h"
#include "core/kelRes.h"

const int32_t kelCastTypes[5] = {
    static_cast<int32_t>(kelFourCC("PX08")), static_cast<int32_t>(kelFourCC("PX16")),
    static_cast<int32_t>(kelFourCC("PX32")), static_cast<int32_t>(kelFourCC("PXMK")),
    static_cast<int32_t>(kelFourCC("CTP8")),
};
const int32_t kelCastHeaderType = static_cast<int32_t>(kelFourCC("MPIX"));

namespace {

// 16-bit pixels are stored big-endian.
void swapPixels16(kelOffmap& image)
{
    uint8_t* p = image.pixels;
    for (int32_t i = 0; i + 1 < image.dataSize; i += 2) KEL_PlatformSwap_Short(p + i);
}

// Stored X R G B; in memory B G R, the fourth byte keeping its stored value.
void reorderPixels32(kelOffmap& image)
{
    uint8_t* p = image.pixels;
    for (int32_t i = 0; i + 3 < image.dataSize; i += 4) {
        const uint8_t r = p[i + 1];
        const uint8_t g = p[i + 2];
        const uint8_t b = p[i + 3];
        p[i] = b;
        p[i + 1] = g;
        p[i + 2] = r;
    }
}

// Stored top-down; the offscreen image keeps its rows bottom-up.
void flipRows(kelOffmap& image)
{
    const int rows = image.size.v;
    const size_t stride = static_cast<size_t>(image.rowBytes);
    if (stride == 0) return;
    std::vector<uint8_t> temp(stride);
    for (int r = 0; r < rows / 2; ++r) {
        uint8_t* a = image.pixels + static_cast<size_t>(r) * stride;
        uint8_t* b = image.pixels + static_cast<size_t>(rows - 1 - r) * stride;
        std::memcpy(temp.data(), a, stride);
        std::memcpy(a, b, stride);
        std::memcpy(b, temp.data(), stride);
    }
}

}  // namespace

// ---------------------------------------------------------------- KelOneCast

KelResFile* KelOneCast::resFile() const
{
    return owner ? owner->resFile : nullptr;
}

void KelOneCast::PlatformConvert()
{
    const uint8_t* raw = header.raw;
    header.width = static_cast<int16_t>(kelGetBE16(raw));
    header.height = static_cast<int16_t>(kelGetBE16(raw + 2));
    for (int d = 0; d < kKelCastVariants; ++d) {
        const uint8_t* v = raw + 8 + 16 * d;
        header.variants[d].rowBytes = static_cast<int16_t>(kelGetBE16(v));
        header.variants[d].reserved16 = static_cast<int16_t>(kelGetBE16(v + 2));
        header.variants[d].reserved32 = static_cast<int32_t>(kelGetBE32(v + 4));
    }
}

void KelOneCast::Prepare()
{
    Unload();
    header = kelCastHeader{};
    KelResFile* file = resFile();
    // A header of another length is not read: the cast stays 0 x 0 with nothing available.
    if (file &&
        file->LoadData(reinterpret_cast<char*>(header.raw), kKelCastHeaderSize, kelCastHeaderType, castID))
        PlatformConvert();
    for (int d = 0; d < kKelCastVariants; ++d)
        available[d] = (file && file->IsDataAvailable(kelCastTypes[d], castID)) ? 1 : 0;
    bounds = kelRect(0, 0, header.width, header.height);
    size = kelPoint{header.width, header.height};
}

bool KelOneCast::LoadDepth(int16_t d)
{
    if (d < 0 || d >= kKelCastVariants || !available[d]) return false;
    const bool isMask = d == kKelCastMaskVariant;
    kelOffmap& target = isMask ? mask : image;
    uint8_t& loaded = isMask ? maskLoaded : imageLoaded;
    if (loaded) return true;
    KelResFile* file = resFile();
    if (!file) return false;

    const int16_t stride = header.variants[d].rowBytes;
    if (header.width < 0 || header.height < 0 || stride < 0 ||
        static_cast<int32_t>(stride) * header.height > kKelCastMaxBytes)
        return false;
    if (!target.allocate(d, header.width, header.height, stride)) return false;

    const long length = file->GetDataLen(kelCastTypes[d], castID);
    if (length < 0 || length > target.dataSize ||
        (length > 0 &&
         !file->LoadData(reinterpret_cast<char*>(target.pixels), length, kelCastTypes[d], castID))) {
        target.dispose();
        return false;
    }

    if (d == 1) swapPixels16(target);
    if (d == 2) reorderPixels32(target);
    flipRows(target);

    if (d == 0 && file->IsDataAvailable(kelCastTypes[kKelCastPaletteIndex], castID)) {
        char* palette = nullptr;
        if (file->GetData(&palette, kelCastTypes[kKelCastPaletteIndex], castID)) {
            const long entries =
                std::min(256L, file->GetDataLen(kelCastTypes[kKelCastPaletteIndex], castID) / 4);
            const auto* p = reinterpret_cast<const uint8_t*>(palette);
            for (long i = 0; i < entries; ++i)
                target.setPaletteEntry(static_cast<int16_t>(i), p[4 * i], p[4 * i + 1], p[4 * i + 2]);
            void* q = palette;
            KEL_DisposePtr(&q);
        }
    }
    loaded = 1;
    return true;
}

void KelOneCast::LoadAvailable()
{
    LoadDepth(kKelCastMaskVariant);
    for (int16_t d = 0; d < 3; ++d)
        if (LoadDepth(d)) return;
    KEL_DebugMessage("No cast data available");
}

void KelOneCast::Unload()
{
    image.dispose();
    mask.dispose();
    imageLoaded = 0;
    maskLoaded = 0;
}

void KelOneCast::Draw(int16_t x, int16_t y)
{
    if (!imageLoaded) {
        KEL_DebugMessage("Cant' draw image cast");
        return;
    }
    kelRect dest = image.bounds;
    dest.offset(x, y);
    image.draw(&image.bounds, &dest);
}

void KelOneCast::DrawZone(const kelRect* zone, int16_t x, int16_t y)
{
    if (!imageLoaded) {
        KEL_DebugMessage("Cant' draw image cast");
        return;
    }
    if (!zone) return;
    const kelRect dest(x, y, x + zone->width(), y + zone->height());
    image.draw(zone, &dest);
}

// ------------------------------------------------------------------ KelCasts

void KelCasts::ParseResources()
{
    if (!resFile) return;
    // A second parse replaces the table; the resource file stays.
    for (int16_t i = 0; i < count; ++i) delete casts[i];
    delete[] casts;
    casts = nullptr;
    count = 0;

    const int16_t n = resFile->GetItemsCount(kelCastHeaderType);
    if (n <= 0) return;
    casts = new (std::nothrow) KelOneCast*[static_cast<size_t>(n)]();
    if (!casts) return;
    count = n;
    for (int16_t i = 0; i < n; ++i) {
        KelOneCast* cast = new (std::nothrow) KelOneCast;
        if (!cast) {
            KEL_DebugMessageNum("Couldn't alloc cast", i);
            continue;
        }
        cast->owner = this;
        cast->castID = static_cast<int32_t>(resFile->GetItemIndexID(kelCastHeaderType, i));
        cast->Prepare();
        casts[i] = cast;
    }
}

int16_t KelCasts::MPixIDtoIndex(long castID) const
{
    if (!resFile || !casts) return -1;
    for (int16_t i = 0; i < count; ++i)
        if (casts[i] && casts[i]->castID == castID) return i;
    return -1;
}

KelOneCast* KelCasts::castAt(int16_t index) const
{
    if (!casts || index < 0 || index >= count) return nullptr;
    return casts[index];
}

bool KelCasts::OpenResFile(const char* name)
{
    UnloadResources();
    auto* file = new (std::nothrow) KelResFile;
    if (!file) return false;
    file->openReadOnly = 1;
    if (!name || !file->SetWorkName(name) || !file->Open()) {
        delete file;
        return false;
    }
    resFile = file;
    ownsResFile = 1;
    return true;
}

void KelCasts::UnloadResources()
{
    for (int16_t i = 0; i < count; ++i) delete casts[i];
    delete[] casts;
    casts = nullptr;
    count = 0;
    if (ownsResFile && resFile) {
        resFile->Close();
        delete resFile;
        resFile = nullptr;
    }
    ownsResFile = 0;
}

// ------------------------------------------------------------------- writers

int16_t kelCastStride(int16_t width, int16_t bytesPerPixel)
{
    const int32_t row = std::max<int32_t>(0, width) * bytesPerPixel;
    return static_cast<int16_t>((row + 3) & ~3);
}

void kelCastWriteHeader(int16_t width, int16_t height, const int16_t rowBytes[kKelCastVariants],
                        uint8_t out[kKelCastHeaderSize])
{
    std::memset(out, 0, kKelCastHeaderSize);
    kelPutBE16(out, static_cast<uint16_t>(width));
    kelPutBE16(out + 2, static_cast<uint16_t>(height));
    for (int d = 0; d < kKelCastVariants; ++d)
        kelPutBE16(out + 8 + 16 * d, static_cast<uint16_t>(rowBytes[d]));
}

std::vector<uint8_t> kelCastPack16(const uint16_t* pixels, int16_t width, int16_t height, int16_t rowBytes)
{
    std::vector<uint8_t> out(static_cast<size_t>(std::max<int>(0, rowBytes)) * std::max<int>(0, height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width && 2 * x + 1 < rowBytes; ++x)
            kelPutBE16(out.data() + static_cast<size_t>(y) * rowBytes + 2 * x,
                       pixels[static_cast<size_t>(y) * width + x]);
    return out;
}

std::vector<uint8_t> kelCastPack8(const uint8_t* pixels, int16_t width, int16_t height, int16_t rowBytes)
{
    std::vector<uint8_t> out(static_cast<size_t>(std::max<int>(0, rowBytes)) * std::max<int>(0, height), 0);
    for (int y = 0; y < height; ++y)
        std::memcpy(out.data() + static_cast<size_t>(y) * rowBytes, pixels + static_cast<size_t>(y) * width,
                    static_cast<size_t>(std::min<int>(width, rowBytes)));
    return out;
}
