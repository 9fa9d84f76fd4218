#include "core/kelOffmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Platform.h"

int16_t kelOffmapDefaultDepth = kelDepth16;

namespace {

inline int red(unsigned p)
{
    return (p >> 10) & 31;
}
inline int green(unsigned p)
{
    return (p >> 5) & 31;
}
inline int blue(unsigned p)
{
    return p & 31;
}
inline uint16_t rgb(int r, int g, int b)
{
    return static_cast<uint16_t>(((r & 31) << 10) | ((g & 31) << 5) | (b & 31));
}

// Division by 256 (by 65536), rounded half up.
inline int round8(int x)
{
    return (x >> 8) + ((x & 0x80) ? 1 : 0);
}
inline int round16(int x)
{
    return (x >> 16) + ((x & 0x8000) ? 1 : 0);
}

// d scaled by (31 - w) / 32 plus s by w / 32, per channel.
inline uint16_t mix32(unsigned d, unsigned s, int wr, int wg, int wb)
{
    return rgb((((31 - wr) * red(d)) >> 5) + ((wr * red(s)) >> 5),
               (((31 - wg) * green(d)) >> 5) + ((wg * green(s)) >> 5),
               (((31 - wb) * blue(d)) >> 5) + ((wb * blue(s)) >> 5));
}

// Where a rectangle operation reads and writes: the top-left corners in each
// image and the common size, after clipping.
struct Span {
    int dx = 0, dy = 0, sx = 0, sy = 0, mx = 0, my = 0;
    int w = 0, h = 0;
};

int rectWidth(const kelRect& r)
{
    return int(r.right) - int(r.left);
}
int rectHeight(const kelRect& r)
{
    return int(r.bottom) - int(r.top);
}

// The rectangles share their top-left corners; the size is the smallest of
// them, cut down until it lies inside every image. Moving a corner moves the
// others by as much, so every pixel keeps its partners.
bool clipSpan(const kelOffmap& dst, const kelRect& destRect, const kelOffmap* src, const kelRect* sourceRect,
              const kelOffmap* mask, const kelRect* maskRect, Span& span)
{
    int* ox[3] = {&span.dx, &span.sx, &span.mx};
    int* oy[3] = {&span.dy, &span.sy, &span.my};
    int limitW[3] = {dst.size.h, 0, 0};
    int limitH[3] = {dst.size.v, 0, 0};
    span.dx = destRect.left;
    span.dy = destRect.top;
    span.w = rectWidth(destRect);
    span.h = rectHeight(destRect);
    int n = 1;
    for (auto [image, rect] : {std::pair{src, sourceRect}, std::pair{mask, maskRect}}) {
        if (!image) continue;
        *ox[n] = rect->left;
        *oy[n] = rect->top;
        limitW[n] = image->size.h;
        limitH[n] = image->size.v;
        span.w = std::min(span.w, rectWidth(*rect));
        span.h = std::min(span.h, rectHeight(*rect));
        ++n;
    }
    for (int i = 0; i < n; ++i) {
        if (*ox[i] < 0) {
            const int shift = -*ox[i];
            for (int j = 0; j < n; ++j) *ox[j] += shift;
            span.w -= shift;
        }
        if (*oy[i] < 0) {
            const int shift = -*oy[i];
            for (int j = 0; j < n; ++j) *oy[j] += shift;
            span.h -= shift;
        }
    }
    for (int i = 0; i < n; ++i) {
        span.w = std::min(span.w, limitW[i] - *ox[i]);
        span.h = std::min(span.h, limitH[i] - *oy[i]);
    }
    return span.w > 0 && span.h > 0;
}

bool has16(const kelOffmap* image)
{
    return image && image->pixels && image->depthIndex == kelDepth16;
}
bool isMask(const kelOffmap* image)
{
    return image && image->pixels && (image->depthIndex == kelDepth16 || image->depthIndex == kelDepthMask);
}

void putLe(uint8_t* p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

int16_t kelOffmap::bytesPerPixel(int16_t depth)
{
    switch (depth) {
        case kelDepth8:
        case kelDepthMask: return 1;
        case kelDepth16: return 2;
        case kelDepth32: return 4;
        default: return 0;
    }
}

int32_t kelOffmap::bitmapInfoSize() const
{
    return depthIndex == kelDepth8 || depthIndex == kelDepthMask ? kelBitmapInfoPaletteSize
                                                                 : kelBitmapInfoHeaderSize;
}

bool kelOffmap::allocate(int16_t depth, int16_t width, int16_t height, int16_t stride)
{
    dispose();
    const int bpp = bytesPerPixel(depth);
    if (bpp == 0 || width < 0 || height < 0) return false;
    int row = stride;
    if (stride < 0) {
        row = ((width - 1) / 8 + 1) * 8 * bpp;
    } else if (stride < width * bpp || stride % bpp != 0) {
        return false;  // rows would overlap, or pixels straddle rows
    }
    if (row > INT16_MAX) return false;

    depthIndex = depth;
    rowBytes = static_cast<int16_t>(row);
    dataSize = static_cast<int32_t>(row) * height;
    size = kelPoint{width, height};
    bounds.set(size);
    pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(std::max(dataSize, int32_t{1})), 1));
    bitmapInfo = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(bitmapInfoSize()), 1));
    if (!pixels || !bitmapInfo) {
        dispose();
        return false;
    }
    buildBitmapInfo();
    allocated = 1;
    return true;
}

void kelOffmap::buildBitmapInfo()
{
    // Header of a bottom-up device-independent bitmap, little-endian.
    uint8_t* h = bitmapInfo;
    putLe(h + 0, kelBitmapInfoHeaderSize, 4);
    putLe(h + 4, static_cast<uint32_t>(size.h), 4);
    putLe(h + 8, static_cast<uint32_t>(size.v), 4);
    putLe(h + 12, 1, 2);  // planes
    putLe(h + 14, static_cast<uint32_t>(bytesPerPixel(depthIndex) * 8), 2);
    putLe(h + 16, 0, 4);  // uncompressed
    putLe(h + 20, static_cast<uint32_t>(dataSize), 4);
    if (bitmapInfoSize() == kelBitmapInfoPaletteSize) putLe(h + 32, 256, 4);  // colours used
}

void kelOffmap::dispose()
{
    std::free(pixels);
    std::free(bitmapInfo);
    pixels = nullptr;
    bitmapInfo = nullptr;
    rowBytes = 0;
    dataSize = 0;
    allocated = 0;
    size = kelPoint{};
    bounds = kelRect{};
}

int16_t kelOffmap::getPixel(int16_t x, int16_t y) const
{
    if (!pixels || !bounds.contains(x, y)) return 0;
    const uint8_t* row = rowFromTop(y);
    if (depthIndex == kelDepth16 || depthIndex == kelDepth32)
        return static_cast<int16_t>(reinterpret_cast<const uint16_t*>(row)[x] & 0x7FFF);
    return row[x];
}

void kelOffmap::setPixel(int16_t x, int16_t y, int16_t value)
{
    if (!pixels || !bounds.contains(x, y)) return;
    uint8_t* row = rowFromTop(y);
    if (depthIndex == kelDepth16 || depthIndex == kelDepth32)
        reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(value);
    else
        row[x] = static_cast<uint8_t>(value);
}

void kelOffmap::copy(const kelOffmap* source)
{
    if (!source || source == this || !source->pixels || !pixels) return;
    if (source->dataSize == dataSize && source->rowBytes == rowBytes && source->depthIndex == depthIndex &&
        source->size.v == size.v) {
        std::memcpy(pixels, source->pixels, static_cast<size_t>(dataSize));
        return;
    }
    copy(source, &source->bounds, &bounds);
}

void kelOffmap::copy(const kelOffmap* source, const kelRect* sourceRect, const kelRect* destRect)
{
    if (!source || !sourceRect || !destRect || !pixels || !source->pixels) return;
    if (source->depthIndex != depthIndex) return;
    Span s;
    if (!clipSpan(*this, *destRect, source, sourceRect, nullptr, nullptr, s)) return;
    const int bpp = bytesPerPixel(depthIndex);
    const size_t bytes = static_cast<size_t>(s.w) * bpp;
    // Within one image, walk the rows so that no source row is overwritten before it is read.
    const bool upward = source == this && s.dy > s.sy;
    for (int j = 0; j < s.h; ++j) {
        const int r = upward ? s.h - 1 - j : j;
        std::memmove(rowFromTop(s.dy + r) + s.dx * bpp, source->rowFromTop(s.sy + r) + s.sx * bpp, bytes);
    }
}

void kelOffmap::copyMask(const kelOffmap* source, const kelRect* sourceRect, const kelOffmap* mask,
                         const kelRect* maskRect, const kelRect* destRect)
{
    if (!has16(this) || !has16(source) || !isMask(mask) || !sourceRect || !maskRect || !destRect) return;
    Span s;
    if (!clipSpan(*this, *destRect, source, sourceRect, mask, maskRect, s)) return;
    for (int j = 0; j < s.h; ++j) {
        uint16_t* d = reinterpret_cast<uint16_t*>(rowFromTop(s.dy + j)) + s.dx;
        const uint16_t* src = reinterpret_cast<const uint16_t*>(source->rowFromTop(s.sy + j)) + s.sx;
        if (mask->depthIndex == kelDepth16) {
            // Per-channel opacity, white opaque.
            const uint16_t* m = reinterpret_cast<const uint16_t*>(mask->rowFromTop(s.my + j)) + s.mx;
            for (int i = 0; i < s.w; ++i) {
                const unsigned mv = m[i] & 0x7FFF;
                if (mv == 0) continue;
                d[i] = mv == 0x7FFF ? src[i] : mix32(d[i], src[i], red(mv), green(mv), blue(mv));
            }
        } else {
            // Transparency byte, 0 opaque.
            const uint8_t* m = mask->rowFromTop(s.my + j) + s.mx;
            for (int i = 0; i < s.w; ++i) {
                const int a = m[i];
                if (a == 255) continue;
                if (a == 0) {
                    d[i] = src[i];
                    continue;
                }
                const unsigned dv = d[i], sv = src[i];
                d[i] = rgb(round8(a * red(dv)) + round8((256 - a) * red(sv)),
                           round8(a * green(dv)) + round8((256 - a) * green(sv)),
                           round8(a * blue(dv)) + round8((256 - a) * blue(sv)));
            }
        }
    }
}

void kelOffmap::copyBlend(const kelOffmap* source, const kelRect* sourceRect, const kelRect* destRect,
                          int16_t level)
{
    if (!has16(this) || !has16(source) || !sourceRect || !destRect) return;
    Span s;
    if (!clipSpan(*this, *destRect, source, sourceRect, nullptr, nullptr, s)) return;
    const int w = (level * 31 / 256) & 31;
    for (int j = 0; j < s.h; ++j) {
        uint16_t* d = reinterpret_cast<uint16_t*>(rowFromTop(s.dy + j)) + s.dx;
        const uint16_t* src = reinterpret_cast<const uint16_t*>(source->rowFromTop(s.sy + j)) + s.sx;
        for (int i = 0; i < s.w; ++i) d[i] = mix32(d[i], src[i], w, w, w);
    }
}

void kelOffmap::copyMaskBlend(const kelOffmap* source, const kelRect* sourceRect, const kelOffmap* mask,
                              const kelRect* maskRect, const kelRect* destRect, int16_t level)
{
    if (!has16(this) || !has16(source) || !isMask(mask) || !sourceRect || !maskRect || !destRect) return;
    Span s;
    if (!clipSpan(*this, *destRect, source, sourceRect, mask, maskRect, s)) return;
    for (int j = 0; j < s.h; ++j) {
        uint16_t* d = reinterpret_cast<uint16_t*>(rowFromTop(s.dy + j)) + s.dx;
        const uint16_t* src = reinterpret_cast<const uint16_t*>(source->rowFromTop(s.sy + j)) + s.sx;
        if (mask->depthIndex == kelDepth16) {
            // Only the mask's blue channel counts, for all three channels.
            const uint16_t* m = reinterpret_cast<const uint16_t*>(mask->rowFromTop(s.my + j)) + s.mx;
            for (int i = 0; i < s.w; ++i) {
                const int a = (blue(m[i]) * level / 256) & 31;
                d[i] = mix32(d[i], src[i], a, a, a);
            }
        } else {
            const uint8_t* m = mask->rowFromTop(s.my + j) + s.mx;
            for (int i = 0; i < s.w; ++i) {
                const int w = (256 - m[i]) * level;
                const unsigned dv = d[i], sv = src[i];
                d[i] = rgb(round16((65536 - w) * red(dv)) + round16(red(sv) * w),
                           round16((65536 - w) * green(dv)) + round16(green(sv) * w),
                           round16((65536 - w) * blue(dv)) + round16(blue(sv) * w));
            }
        }
    }
}

void kelOffmap::fill(const kelRect* rect, int16_t colour)
{
    if (!has16(this) || !rect) return;
    Span s;
    if (!clipSpan(*this, *rect, nullptr, nullptr, nullptr, nullptr, s)) return;
    for (int j = 0; j < s.h; ++j) {
        uint16_t* d = reinterpret_cast<uint16_t*>(rowFromTop(s.dy + j)) + s.dx;
        std::fill(d, d + s.w, static_cast<uint16_t>(colour));
    }
}

void kelOffmap::colorize(int16_t r, int16_t g, int16_t b)
{
    if (!has16(this)) return;
    for (int j = 0; j < size.v; ++j) {
        uint16_t* d = reinterpret_cast<uint16_t*>(rowFromTop(j));
        for (int i = 0; i < size.h; ++i) {
            const unsigned p = d[i];
            d[i] = rgb(red(p) * r / 256, green(p) * g / 256, blue(p) * b / 256);
        }
    }
}

void kelOffmap::line(int16_t x1, int16_t y1, int16_t x2, int16_t y2, int16_t colour)
{
    const int dx = x2 - x1;
    const int dy = y2 - y1;
    if (std::abs(dx) > std::abs(dy)) {
        const float step = static_cast<float>(dy) / static_cast<float>(std::abs(dx));
        const int dir = dx >= 0 ? 1 : -1;
        float y = y1;
        for (int x = x1; x != x2; x += dir, y += step)
            setPixel(static_cast<int16_t>(x), static_cast<int16_t>(static_cast<int>(y)), colour);
    } else if (dy != 0) {
        const float step = static_cast<float>(dx) / static_cast<float>(std::abs(dy));
        const int dir = dy >= 0 ? 1 : -1;
        float x = x1;
        for (int y = y1; y != y2; y += dir, x += step)
            setPixel(static_cast<int16_t>(static_cast<int>(x)), static_cast<int16_t>(y), colour);
    }
}

void kelOffmap::draw(const kelRect* sourceRect, const kelRect* destRect) const
{
    if (!has16(this) || !sourceRect || !destRect) return;
    if (!plat::hasBackend() || !plat::backend().hasWindow()) return;
    plat::Backend& window = plat::backend();
    const auto* source = reinterpret_cast<const uint16_t*>(pixels);

    if (*sourceRect == *destRect) {
        Span s;
        if (!clipSpan(*this, *sourceRect, nullptr, nullptr, nullptr, nullptr, s)) return;
        window.present(source, rowBytes, size.h, size.v, s.dx, s.dy, s.dx + s.w, s.dy + s.h);
        return;
    }

    // Moved or scaled: compose the destination rectangle in a window-sized
    // picture (nearest pixel) and show that rectangle of it.
    const int sw = rectWidth(*sourceRect), sh = rectHeight(*sourceRect);
    const plat::MonitorInfo monitor = window.monitorInfo();
    const int left = std::max<int>(destRect->left, 0), top = std::max<int>(destRect->top, 0);
    const int right = std::min<int>(destRect->right, monitor.width);
    const int bottom = std::min<int>(destRect->bottom, monitor.height);
    const int dw = rectWidth(*destRect), dh = rectHeight(*destRect);
    if (sw <= 0 || sh <= 0 || right <= left || bottom <= top) return;
    std::vector<uint16_t> picture(static_cast<size_t>(right) * bottom);
    for (int y = top; y < bottom; ++y) {
        const int sy = sourceRect->top + static_cast<int>(int64_t(y - destRect->top) * sh / dh);
        uint16_t* out = picture.data() + static_cast<size_t>(bottom - 1 - y) * right;
        if (sy < 0 || sy >= size.v) continue;
        const uint16_t* in = reinterpret_cast<const uint16_t*>(rowFromTop(sy));
        for (int x = left; x < right; ++x) {
            const int sx = sourceRect->left + static_cast<int>(int64_t(x - destRect->left) * sw / dw);
            if (sx >= 0 && sx < size.h) out[x] = in[sx];
        }
    }
    window.present(picture.data(), right * 2, right, bottom, left, top, right, bottom);
}

void kelOffmap::setPaletteEntry(int16_t, int16_t, int16_t, int16_t) {}
