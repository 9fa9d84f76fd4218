#include "platform/PlatScreen.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/PlatFiles.h"

namespace plat {

void ScreenCopy::resize(int width, int height)
{
    if (width == width_ && height == height_) return;
    std::vector<uint16_t> fresh(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0), 0);
    const int w = std::min(width, width_), h = std::min(height, height_);
    for (int y = 0; y < h; ++y) std::memcpy(&fresh[static_cast<size_t>(y) * width], row(y), w * sizeof(uint16_t));
    pixels_.swap(fresh);
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
}

void ScreenCopy::update(const uint16_t* pixels, int rowBytes, int imageWidth, int imageHeight, int left, int top,
                        int right, int bottom)
{
    if (!pixels || rowBytes <= 0) return;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min({right, imageWidth, width_});
    bottom = std::min({bottom, imageHeight, height_});
    if (left >= right || top >= bottom) return;
    const auto* base = reinterpret_cast<const uint8_t*>(pixels);
    for (int y = top; y < bottom; ++y) {
        const auto* src = reinterpret_cast<const uint16_t*>(base + static_cast<size_t>(imageHeight - 1 - y) * rowBytes);
        uint16_t* dst = pixels_.data() + static_cast<size_t>(y) * width_;
        for (int x = left; x < right; ++x) dst[x] = src[x] & 0x7FFF;
    }
}

bool ScreenCopy::savePng(const std::string& path) const
{
    if (width_ <= 0 || height_ <= 0) return false;
    std::vector<uint8_t> rgb(static_cast<size_t>(width_) * height_ * 3);
    auto expand = [](unsigned c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
    for (size_t i = 0; i < pixels_.size(); ++i) {
        const unsigned p = pixels_[i];
        rgb[i * 3] = expand((p >> 10) & 31);
        rgb[i * 3 + 1] = expand((p >> 5) & 31);
        rgb[i * 3 + 2] = expand(p & 31);
    }
    return writePngRgb(path, width_, height_, rgb.data());
}

namespace {

bool writePngTo(FILE* f, int width, int height, const uint8_t* rgb)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    volatile bool ok = false;  // survives libpng's longjmp
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y)
            png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(y) * width * 3));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return ok;
}

}  // namespace

bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb)
{
    // Saved whole (PlatFiles.h), so a failed save keeps the old picture.
    ReplaceFile out;
    if (!out.open(path)) return false;
    const int fd = out.release();
    FILE* f = ::fdopen(fd, "wb");
    if (!f) {
        ::close(fd);
        return false;
    }
    const bool ok = writePngTo(f, width, height, rgb);
    return (std::fclose(f) == 0) && ok && out.commit();
}

}  // namespace plat
