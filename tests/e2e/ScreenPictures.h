// What the end-to-end tests look at: screenshots read back as 15-bit pixels,
// and the skin's own pictures read from the program's "Beatloom.xrs", so that
// a screen point can be compared with the picture the skin puts there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/kelCasts.h"
#include "core/kelRes.h"
#include "platform/PlatGif.h"

namespace e2e {

// Two 15-bit colours a step apart at most in each channel: a window pixel
// of a stage scaled by a fraction takes a little of the next stage pixel.
inline bool nearColour(uint16_t a, uint16_t b)
{
    for (int shift : {0, 5, 10}) {
        const int d = (a >> shift & 31) - (b >> shift & 31);
        if (d > 1 || d < -1) return false;
    }
    return true;
}

// A screenshot saved by the program (PNG), read back.
class Shot {
public:
    explicit Shot(const std::string& path);
    bool ok() const { return picture_.width > 0; }
    int width() const { return picture_.width; }
    int height() const { return picture_.height; }
    // The pixel as the program drew it: 5 bits a channel.
    uint16_t at(int x, int y) const;

private:
    plat::RgbaPicture picture_;
};

// The casts of a resource file, opened read-only.
class SkinPictures {
public:
    explicit SkinPictures(const std::string& xrsPath);
    // Pixel (x, y) of a cast's picture, -1 when there is none.
    int pixel(int32_t castID, int x, int y);
    // The cast's mask byte at (x, y) (0 opaque), -1 without a mask.
    int mask(int32_t castID, int x, int y);
    kelPoint size(int32_t castID);

private:
    KelOneCast* cast(int32_t castID);
    KelResFile file_;
    KelCasts casts_;
};

// Casts of the real skin the tests look for.
constexpr int32_t kGrooveBack = 1000;  // + scheme
constexpr int32_t kBrowserBack = 1060;
constexpr int32_t kCloseUp = 100;

constexpr int32_t kQuitUp = 102;

// Where the layouts put the browser's close button and the groove panel's
// quit button, within their panels (their pictures' centres).
constexpr int kCloseX = 536 + 9;
constexpr int kCloseY = 5 + 9;
constexpr int kQuitX = 612 + 10;
constexpr int kQuitY = 4 + 10;

}  // namespace e2e
