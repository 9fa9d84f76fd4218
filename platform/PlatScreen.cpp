#include "platform/PlatScreen.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

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

namespace {

PixelRect unite(const PixelRect& a, const PixelRect& b)
{
    return PixelRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                     std::max(a.bottom, b.bottom)};
}

bool touch(const PixelRect& a, const PixelRect& b)
{
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

}  // namespace

void DirtyRects::add(const PixelRect& r)
{
    if (r.empty()) return;
    PixelRect grown = r;
    // Whatever touches the new rectangle joins it, until nothing does.
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < rects_.size(); ++i) {
            if (!touch(rects_[i], grown)) continue;
            grown = unite(rects_[i], grown);
            rects_.erase(rects_.begin() + static_cast<long>(i));
            merged = true;
            break;
        }
    }
    rects_.push_back(grown);
    if (rects_.size() <= kMax) return;
    // Too many: the two whose union wastes least become one.
    size_t bi = 0, bj = 1;
    long best = -1;
    for (size_t i = 0; i < rects_.size(); ++i)
        for (size_t j = i + 1; j < rects_.size(); ++j) {
            const long waste = unite(rects_[i], rects_[j]).area() - rects_[i].area() - rects_[j].area();
            if (best < 0 || waste < best) {
                best = waste;
                bi = i;
                bj = j;
            }
        }
    const PixelRect joined = unite(rects_[bi], rects_[bj]);
    rects_.erase(rects_.begin() + static_cast<long>(bj));
    rects_.erase(rects_.begin() + static_cast<long>(bi));
    add(joined);
}

PixelRect ScreenCopy::update(const uint16_t* pixels, int rowBytes, int imageWidth, int imageHeight, int left,
                             int top, int right, int bottom)
{
    if (!pixels || rowBytes <= 0) return PixelRect{};
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min({right, imageWidth, width_});
    bottom = std::min({bottom, imageHeight, height_});
    if (left >= right || top >= bottom) return PixelRect{};
    PixelRect changed{right, bottom, left, top};  // grows to the changed pixels' bounds
    const auto* base = reinterpret_cast<const uint8_t*>(pixels);
    for (int y = top; y < bottom; ++y) {
        const auto* src = reinterpret_cast<const uint16_t*>(base + static_cast<size_t>(imageHeight - 1 - y) * rowBytes);
        uint16_t* dst = pixels_.data() + static_cast<size_t>(y) * width_;
        int first = -1, last = -1;
        for (int x = left; x < right; ++x) {
            const uint16_t p = src[x] & 0x7FFF;
            if (dst[x] == p) continue;
            dst[x] = p;
            if (first < 0) first = x;
            last = x;
        }
        if (first < 0) continue;
        changed.left = std::min(changed.left, first);
        changed.right = std::max(changed.right, last + 1);
        changed.top = std::min(changed.top, y);
        changed.bottom = y + 1;
    }
    return changed.empty() ? PixelRect{} : changed;
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

bool ScreenCopy::savePngScaled(const std::string& path, int scale, int offsetX, int offsetY, int windowWidth,
                               int windowHeight) const
{
    if (scale <= 1 && offsetX == 0 && offsetY == 0 && windowWidth == width_ && windowHeight == height_)
        return savePng(path);
    if (windowWidth <= 0 || windowHeight <= 0 || scale <= 0) return false;
    std::vector<uint8_t> rgb(static_cast<size_t>(windowWidth) * windowHeight * 3, 0);
    auto expand = [](unsigned c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
    for (int y = 0; y < windowHeight; ++y) {
        const int sy = (y - offsetY) / scale;
        if (y < offsetY || sy >= height_) continue;
        for (int x = offsetX; x < windowWidth; ++x) {
            const int sx = (x - offsetX) / scale;
            if (sx >= width_) break;
            const unsigned p = row(sy)[sx];
            uint8_t* out = &rgb[(static_cast<size_t>(y) * windowWidth + x) * 3];
            out[0] = expand((p >> 10) & 31);
            out[1] = expand((p >> 5) & 31);
            out[2] = expand(p & 31);
        }
    }
    return writePngRgb(path, windowWidth, windowHeight, rgb.data());
}

bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb)
{
    // Written beside the target and renamed, so a failed save keeps the old picture.
    const std::string temp = path + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
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
    bool done = (std::fclose(f) == 0) && ok;
    if (done) done = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!done) std::remove(temp.c_str());
    return done;
}

}  // namespace plat
