// The picture a window shows: a top-down copy of the program's 15-bit screen
// image at the window's logical size. Both backends keep one, so a screenshot
// shows exactly what the program drew.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plat {

class ScreenCopy {
public:
    void resize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    // Copies the rectangle of a bottom-up 15-bit image, clipped to both.
    void update(const uint16_t* pixels, int rowBytes, int imageWidth, int imageHeight, int left, int top,
                int right, int bottom);
    const uint16_t* row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }
    const std::vector<uint16_t>& pixels() const { return pixels_; }
    bool savePng(const std::string& path) const;

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint16_t> pixels_;
};

// Writes 8-bit RGB rows (top-down) as a PNG file.
bool writePngRgb(const std::string& path, int width, int height, const uint8_t* rgb);

}  // namespace plat
