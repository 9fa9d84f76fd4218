#include "platform/PlatGif.h"

#include <gif_lib.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

#include "platform/PlatFiles.h"

namespace plat {

namespace {

bool acceptableSize(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kPictureMaxSide && height <= kPictureMaxSide &&
           width * height <= kPictureMaxPixels;
}

struct MemoryInput {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

int readMemory(GifFileType* gif, GifByteType* buffer, int count)
{
    auto* in = static_cast<MemoryInput*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), in->size - in->pos);
    std::memcpy(buffer, in->data + in->pos, n);
    in->pos += n;
    return static_cast<int>(n);
}

// The transparent index a graphic control extension names, or -1.
int transparentIndexOf(const GifByteType* ext)
{
    if (!ext || ext[0] < 4) return -1;
    return (ext[1] & 0x01) ? ext[4] : -1;
}

bool readFirstImage(GifFileType* gif, RgbaPicture& out)
{
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
        if (type == TERMINATE_RECORD_TYPE) return false;  // no image at all
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR) return false;
            if (code == GRAPHICS_EXT_FUNC_CODE) transparent = transparentIndexOf(ext);
            while (ext) {
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR) return false;
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return false;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
        break;
    }

    const GifImageDesc& image = gif->Image;
    const ColorMapObject* map = image.ColorMap ? image.ColorMap : gif->SColorMap;
    if (!map || !map->Colors || !acceptableSize(image.Width, image.Height)) return false;
    // Some writers leave the logical screen empty: the image is the picture then.
    int width = gif->SWidth, height = gif->SHeight;
    if (width <= 0 || height <= 0) {
        width = image.Left + image.Width;
        height = image.Top + image.Height;
    }
    if (!acceptableSize(width, height)) return false;

    out.width = width;
    out.height = height;
    out.rgba.assign(static_cast<size_t>(width) * height * 4, 0);
    std::vector<GifPixelType> line(static_cast<size_t>(image.Width));
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = image.Interlace ? 4 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = image.Interlace ? kStart[pass] : 0, step = image.Interlace ? kStep[pass] : 1;
        for (int row = start; row < image.Height; row += step) {
            if (DGifGetLine(gif, line.data(), image.Width) == GIF_ERROR) return false;
            const int y = image.Top + row;
            if (y < 0 || y >= height) continue;
            uint8_t* dst = out.rgba.data() + static_cast<size_t>(y) * width * 4;
            for (int col = 0; col < image.Width; ++col) {
                const int x = image.Left + col;
                const int index = line[static_cast<size_t>(col)];
                if (x >= width || index == transparent || index >= map->ColorCount) continue;
                const GifColorType& c = map->Colors[index];
                uint8_t* p = dst + static_cast<size_t>(x) * 4;
                p[0] = c.Red;
                p[1] = c.Green;
                p[2] = c.Blue;
                p[3] = 255;
            }
        }
    }
    return true;
}

int paletteBits(size_t colours)
{
    int bits = 1;
    while ((size_t{1} << bits) < colours) ++bits;
    return bits;
}

}  // namespace

bool decodeGif(const uint8_t* data, size_t size, RgbaPicture& out)
{
    out = RgbaPicture{};
    if (!data) return false;
    MemoryInput in{data, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, readMemory, &error);
    if (!gif) return false;
    const bool ok = readFirstImage(gif, out);
    DGifCloseFile(gif, &error);
    if (!ok) out = RgbaPicture{};
    return ok;
}

bool decodePng(const uint8_t* data, size_t size, RgbaPicture& out)
{
    out = RgbaPicture{};
    if (!data) return false;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return false;
    if (!acceptableSize(image.width, image.height)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    out.rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr)) {
        out = RgbaPicture{};
        return false;
    }
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    return true;
}

bool decodePicture(const uint8_t* data, size_t size, RgbaPicture& out)
{
    static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (data && size >= 6 && std::memcmp(data, "GIF8", 4) == 0) return decodeGif(data, size, out);
    if (data && size >= sizeof kPng && std::memcmp(data, kPng, sizeof kPng) == 0)
        return decodePng(data, size, out);
    out = RgbaPicture{};
    return false;
}

bool encodeGif(const std::string& path, const IndexedPicture& picture)
{
    const size_t colours = picture.palette.size() / 3;
    if (!acceptableSize(picture.width, picture.height) || colours < 1 || colours > 256 ||
        picture.palette.size() % 3 != 0 ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * picture.height ||
        picture.transparentIndex >= static_cast<int>(colours))
        return false;
    for (uint8_t index : picture.pixels)
        if (index >= colours) return false;

    // giflib wants a power-of-two palette: the rest stays black.
    const int bits = paletteBits(colours);
    std::vector<GifColorType> entries(size_t{1} << bits, GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours; ++i)
        entries[i] =
            GifColorType{picture.palette[i * 3], picture.palette[i * 3 + 1], picture.palette[i * 3 + 2]};
    ColorMapObject* map = GifMakeMapObject(static_cast<int>(entries.size()), entries.data());
    if (!map) return false;

    ReplaceFile out;
    int error = 0;
    GifFileType* gif = nullptr;
    if (out.open(path)) {
        const int fd = out.release();
        gif = EGifOpenFileHandle(fd, &error);  // closed with the picture
        if (!gif) ::close(fd);
    }
    bool ok = gif != nullptr;
    if (ok) {
        EGifSetGifVersion(gif, picture.transparentIndex >= 0);
        ok = EGifPutScreenDesc(gif, picture.width, picture.height, bits, 0, map) == GIF_OK;
    }
    if (ok && picture.transparentIndex >= 0) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.TransparentColor = picture.transparentIndex;
        GifByteType ext[4];
        const size_t length = EGifGCBToExtension(&control, ext);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), ext) == GIF_OK;
    }
    if (ok) ok = EGifPutImageDesc(gif, 0, 0, picture.width, picture.height, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> row(static_cast<size_t>(picture.width));
    for (int y = 0; ok && y < picture.height; ++y) {
        std::memcpy(row.data(), picture.pixels.data() + static_cast<size_t>(y) * picture.width, row.size());
        ok = EGifPutLine(gif, row.data(), picture.width) == GIF_OK;
    }
    if (gif && EGifCloseFile(gif, &error) != GIF_OK) ok = false;
    GifFreeMapObject(map);
    return ok && out.commit();
}

bool encodeGif(const std::string& path, const RgbaPicture& picture)
{
    if (!acceptableSize(picture.width, picture.height) ||
        picture.rgba.size() != static_cast<size_t>(picture.width) * picture.height * 4)
        return false;
    const size_t count = static_cast<size_t>(picture.width) * picture.height;
    auto opaque = [&picture](size_t i) { return picture.rgba[i * 4 + 3] >= 128; };
    auto key = [&picture](size_t i) {
        const uint8_t* p = &picture.rgba[i * 4];
        return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    };

    bool anyTransparent = false;
    std::map<uint32_t, uint8_t> exact;
    bool fits = true;
    for (size_t i = 0; i < count; ++i) {
        if (!opaque(i)) {
            anyTransparent = true;
            continue;
        }
        if (fits && exact.size() <= 256) exact.emplace(key(i), 0);
        if (exact.size() > 256) fits = false;
    }
    const int room = anyTransparent ? 255 : 256;
    fits = fits && static_cast<int>(exact.size()) <= room;

    IndexedPicture indexed;
    indexed.width = picture.width;
    indexed.height = picture.height;
    indexed.pixels.resize(count);
    if (fits) {
        int next = 0;
        for (auto& [colour, index] : exact) {
            index = static_cast<uint8_t>(next++);
            indexed.palette.insert(indexed.palette.end(),
                                   {uint8_t(colour >> 16), uint8_t(colour >> 8), uint8_t(colour)});
        }
        for (size_t i = 0; i < count; ++i) indexed.pixels[i] = opaque(i) ? exact[key(i)] : 0;
    } else {
        std::vector<GifByteType> r(count), g(count), b(count);
        for (size_t i = 0; i < count; ++i) {
            r[i] = picture.rgba[i * 4];
            g[i] = picture.rgba[i * 4 + 1];
            b[i] = picture.rgba[i * 4 + 2];
        }
        int size = room;
        std::vector<GifColorType> map(256);
        if (GifQuantizeBuffer(static_cast<unsigned>(picture.width), static_cast<unsigned>(picture.height),
                              &size, r.data(), g.data(), b.data(), indexed.pixels.data(),
                              map.data()) != GIF_OK)
            return false;
        size = std::clamp(size, 1, room);
        for (int i = 0; i < size; ++i)
            indexed.palette.insert(indexed.palette.end(), {map[i].Red, map[i].Green, map[i].Blue});
    }
    if (anyTransparent) {
        indexed.transparentIndex = static_cast<int>(indexed.palette.size() / 3);
        indexed.palette.insert(indexed.palette.end(), {0, 0, 0});
        for (size_t i = 0; i < count; ++i)
            if (!opaque(i)) indexed.pixels[i] = static_cast<uint8_t>(indexed.transparentIndex);
    }
    return encodeGif(path, indexed);
}

}  // namespace plat
