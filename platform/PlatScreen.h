// The picture a window shows: a top-down copy of the program's 15-bit screen
// image at the window's logical size. Both backends keep one, so a screenshot
// shows exactly what the program drew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // The picture as a window shows it: `scale` times larger, at (offsetX,
    // offsetY) of a black windowWidth x windowHeight picture.
    bool savePngScaled(const std::string& path, int scale, int offsetX, int offsetY, int windowWidth,
                       int windowHeight) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint16_t> pixels_;
};

// Writes 8-bit RGB rows (top-down) as a PNG file.
bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb);

}  // namespace plat
