// The picture a window shows: a top-down copy of the program's 15-bit screen
// image at the window's logical size. Both backends keep one, so a screenshot
// shows exactly what the program drew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace plat {

struct PixelRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool empty() const { return left >= right || top >= bottom; }
    long area() const { return empty() ? 0 : long(right - left) * (bottom - top); }
};

// Rectangles of a picture that changed since they were last shown: a few
// kept apart (meters, lamps and labels lie far from each other), merged
// into their bounds when there are more.
class DirtyRects {
public:
    static constexpr size_t kMax = 12;
    void add(const PixelRect& r);
    void clear() { rects_.clear(); }
    bool empty() const { return rects_.empty(); }
    const std::vector<PixelRect>& rects() const { return rects_; }

private:
    std::vector<PixelRect> rects_;
};

class ScreenCopy {
public:
    void resize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    // Copies the rectangle of a bottom-up 15-bit image, clipped to both; the
    // bounds of the pixels that changed (empty when none did).
    PixelRect update(const uint16_t* pixels, int rowBytes, int imageWidth, int imageHeight, int left, int top,
                     int right, int bottom);
    const uint16_t* row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
    const std::vector<uint16_t>& pixels() const { return pixels_; }
    bool savePng(const std::string& path) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint16_t> pixels_;
};

// The picture as a window shows it at a WindowFit's scale: whole factors
// repeat pixels; a fractional one takes the nearest to the next whole
// factor, then a linear step down, so edges and text stay sharp where a
// plain linear stretch would blur them.
class ScaledPicture {
public:
    void setFit(const WindowFit& fit);
    const WindowFit& fit() const { return fit_; }
    // The window rectangle that shows a rectangle of the logical picture.
    PixelRect windowRect(const PixelRect& logical) const;
    // Draws `area` of the window into `out` (its top-left pixel, `stride`
    // pixels a row; area lies inside the window): `lut` gives the 32-bit pixel of each 15-bit colour (four
    // 8-bit channels, in any order); outside the picture, `black`.
    void draw(const ScreenCopy& picture, const PixelRect& area, uint32_t* out, size_t stride,
              const uint32_t* lut, uint32_t black) const;
    // The whole window as PNG.
    bool savePng(const ScreenCopy& picture, const std::string& path) const;

    // What one window pixel of an axis takes: logical pixel `at` (-1: none)
    // and `weight` / 256 of the next one.
    struct Tap {
        int at = -1;
        int weight = 0;
        bool operator==(const Tap& o) const { return at == o.at && weight == o.weight; }
    };
    const std::vector<Tap>& columns() const { return columns_; }
    const std::vector<Tap>& rows() const { return rows_; }

private:
    WindowFit fit_;
    std::vector<Tap> columns_, rows_;
    // Picture rows scaled across, kept while a rectangle is drawn.
    struct Line {
        int row = -1;
        std::vector<uint32_t> pixels;
    };
    mutable Line lines_[2];
};

// Writes 8-bit RGB rows (top-down) as a PNG file.
bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb);

}  // namespace plat
