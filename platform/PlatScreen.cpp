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
    for (int y = 0; y < h; ++y)
        std::memcpy(&fresh[static_cast<size_t>(y) * width], row(y), w * sizeof(uint16_t));
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
        const auto* src =
            reinterpret_cast<const uint16_t*>(base + static_cast<size_t>(imageHeight - 1 - y) * rowBytes);
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

namespace {

// One axis: window pixel x samples the picture scaled by k = ceil(num / den)
// with nearest, then by (num / den) / k with a linear filter.
std::vector<ScaledPicture::Tap> axisTaps(int windowLength, int offset, int logicalLength, long num, long den)
{
    std::vector<ScaledPicture::Tap> taps(static_cast<size_t>(std::max(windowLength, 0)));
    if (logicalLength <= 0) return taps;
    const long k = (num + den - 1) / den;
    for (int x = 0; x < windowLength; ++x) {
        const long rel = x - offset;
        // The sample point in the k-times picture, texel centres at whole
        // numbers: u = (rel + 1/2) * k * den / num - 1/2.
        const long top = (2 * rel + 1) * k * den - num, bottom = 2 * num;
        if (rel < 0 || (2 * rel + 1) * den >= 2 * num * logicalLength) continue;
        long i0 = top >= 0 ? top / bottom : -((-top + bottom - 1) / bottom);
        long frac = top - i0 * bottom;
        if (i0 < 0) {
            i0 = 0;
            frac = 0;
        }
        ScaledPicture::Tap& t = taps[static_cast<size_t>(x)];
        t.at = static_cast<int>(std::min<long>(i0 / k, logicalLength - 1));
        const long next = (i0 + 1) / k;
        if (next != t.at && next < logicalLength)
            t.weight = static_cast<int>((frac * 256 + bottom / 2) / bottom);
        if (t.weight >= 256) {
            t.at += 1;
            t.weight = 0;
        }
    }
    return taps;
}

// a and b mixed, w / 256 of b, channel by channel (four 8-bit channels).
inline uint32_t mix(uint32_t a, uint32_t b, uint32_t w)
{
    const uint32_t rb = (((a & 0xFF00FFu) * (256 - w) + (b & 0xFF00FFu) * w) >> 8) & 0xFF00FFu;
    const uint32_t ag = (((a >> 8) & 0xFF00FFu) * (256 - w) + ((b >> 8) & 0xFF00FFu) * w) & 0xFF00FF00u;
    return rb | ag;
}

}  // namespace

void ScaledPicture::setFit(const WindowFit& fit)
{
    fit_ = fit;
    columns_ = axisTaps(fit.windowWidth, fit.offsetX, fit.width, fit.num, fit.den);
    rows_ = axisTaps(fit.windowHeight, fit.offsetY, fit.height, fit.num, fit.den);
}

PixelRect ScaledPicture::windowRect(const PixelRect& r) const
{
    if (r.empty()) return PixelRect{};
    // A blended window pixel on either side of an edge takes from both.
    PixelRect w{fit_.toWindowX(r.left) - 1, fit_.toWindowY(r.top) - 1, fit_.toWindowX(r.right) + 1,
                fit_.toWindowY(r.bottom) + 1};
    w.left = std::max(w.left, 0);
    w.top = std::max(w.top, 0);
    w.right = std::min(w.right, fit_.windowWidth);
    w.bottom = std::min(w.bottom, fit_.windowHeight);
    return w.empty() ? PixelRect{} : w;
}

void ScaledPicture::draw(const ScreenCopy& picture, const PixelRect& area, uint32_t* out, size_t stride,
                         const uint32_t* lut, uint32_t black) const
{
    const int left = std::max(area.left, 0),
              right = std::min<int>(area.right, static_cast<int>(columns_.size()));
    const int top = std::max(area.top, 0),
              bottom = std::min<int>(area.bottom, static_cast<int>(rows_.size()));
    if (left >= right || top >= bottom) return;
    const int pw = picture.width(), ph = picture.height();
    const size_t n = static_cast<size_t>(right - left);
    // Each picture row is scaled across once, into one of two lines (rows
    // only go down); the window's rows take a line or mix two.
    for (Line& l : lines_) {
        l.row = -1;
        l.pixels.resize(n);
    }
    auto across = [&](int row) -> const uint32_t* {
        for (const Line& l : lines_)
            if (l.row == row) return l.pixels.data();
        Line& l = lines_[0].row < lines_[1].row ? lines_[0] : lines_[1];
        l.row = row;
        const uint16_t* in = picture.row(row);
        uint32_t* o = l.pixels.data() - left;
        for (int x = left; x < right; ++x) {
            const Tap t = columns_[static_cast<size_t>(x)];
            if (t.at < 0 || t.at >= pw) {
                o[x] = black;
            } else if (t.weight == 0) {
                o[x] = lut[in[t.at]];
            } else {
                o[x] =
                    mix(lut[in[t.at]], lut[in[std::min(t.at + 1, pw - 1)]], static_cast<uint32_t>(t.weight));
            }
        }
        return l.pixels.data();
    };
    const uint32_t* previous = nullptr;
    for (int y = top; y < bottom; ++y) {
        uint32_t* o = out + static_cast<size_t>(y - area.top) * stride + (left - area.left);
        const Tap ty = rows_[static_cast<size_t>(y)];
        // Rows that take the same picture rows are the same.
        if (previous && ty == rows_[static_cast<size_t>(y - 1)]) {
            std::memcpy(o, previous, n * sizeof(uint32_t));
        } else if (ty.at < 0 || ty.at >= ph) {
            std::fill(o, o + n, black);
        } else if (ty.weight == 0) {
            std::memcpy(o, across(ty.at), n * sizeof(uint32_t));
        } else {
            // Rows only go down: the second line never takes the first's place.
            const uint32_t* a = across(ty.at);
            const uint32_t* b = across(std::min(ty.at + 1, ph - 1));
            const auto w = static_cast<uint32_t>(ty.weight);
            for (size_t i = 0; i < n; ++i) o[i] = mix(a[i], b[i], w);
        }
        previous = o;
    }
}

bool ScaledPicture::savePng(const ScreenCopy& picture, const std::string& path) const
{
    const int w = fit_.windowWidth, h = fit_.windowHeight;
    if (w <= 0 || h <= 0) return false;
    std::vector<uint32_t> lut(32768);
    auto expand = [](unsigned c) { return (c << 3) | (c >> 2); };
    for (unsigned p = 0; p < 32768; ++p)
        lut[p] = (expand((p >> 10) & 31) << 16) | (expand((p >> 5) & 31) << 8) | expand(p & 31);
    std::vector<uint32_t> window(static_cast<size_t>(w) * h, 0);
    draw(picture, PixelRect{0, 0, w, h}, window.data(), static_cast<size_t>(w), lut.data(), 0);
    std::vector<uint8_t> rgb(window.size() * 3);
    for (size_t i = 0; i < window.size(); ++i) {
        rgb[i * 3] = static_cast<uint8_t>(window[i] >> 16);
        rgb[i * 3 + 1] = static_cast<uint8_t>(window[i] >> 8);
        rgb[i * 3 + 2] = static_cast<uint8_t>(window[i]);
    }
    return writePngRgb(path, w, h, rgb.data());
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
