// Offscreen images: a pixel buffer (rows bottom-up) with its bitmap description
// and the program's own copy, mask, blend, fill, tint and line arithmetic.
// Everything composed is 15-bit colour in 16-bit pixels (depth index 1).
//
// Rectangles are given in picture coordinates (y from the top). Callers are
// expected to keep them inside the images; the operations clip them anyway
// (to the images and to each other), so a bad rectangle never reaches memory
// outside a buffer. Clipping keeps the pixel correspondence of the unclipped
// rectangles, so a valid call gives exactly the same result as without it.
#pragma once

#include <cstdint>

#include "core/kelGeometry.h"

// Depth indices.
enum : int16_t {
    kelDepth8 = 0,     // 8 bits per pixel with palette
    kelDepth16 = 1,    // 16 bits, 5-5-5
    kelDepth32 = 2,    // 32 bits
    kelDepthMask = 3,  // 8-bit mask
};

// The depth of the screen image, the font image and the images controls allocate.
extern int16_t kelOffmapDefaultDepth;

// Sizes of the bitmap description: the header alone, or with a 256-entry palette.
constexpr int32_t kelBitmapInfoHeaderSize = 40;
constexpr int32_t kelBitmapInfoPaletteSize = kelBitmapInfoHeaderSize + 256 * 4;

class kelOffmap {
public:
    uint8_t* pixels = nullptr;  // bottom-up rows
    int16_t rowBytes = 0;
    int32_t dataSize = 0;
    uint8_t* bitmapInfo = nullptr;  // kelBitmapInfoHeaderSize or kelBitmapInfoPaletteSize bytes
    uint8_t allocated = 0;
    int16_t depthIndex = 0;
    kelPoint size;
    kelRect bounds;

    kelOffmap() = default;
    ~kelOffmap() { dispose(); }
    kelOffmap(const kelOffmap&) = delete;
    kelOffmap& operator=(const kelOffmap&) = delete;

    // rowBytes -1: rows padded to a multiple of 8 pixels. A row size given by
    // the caller is used as is, but must hold a whole row of whole pixels
    // (smaller or misaligned strides are refused). False on a bad depth or
    // size, or when memory fails; the image is then empty.
    bool allocate(int16_t depthIndex, int16_t width, int16_t height, int16_t rowBytes);
    void dispose();
    int32_t bitmapInfoSize() const;
    static int16_t bytesPerPixel(int16_t depthIndex);

    // y counts from the top. Outside the image: 0, and nothing written.
    // Depth 1 and 2 address 16-bit pixel x of the row, depth 0 and 3 byte x.
    int16_t getPixel(int16_t x, int16_t y) const;
    void setPixel(int16_t x, int16_t y, int16_t value);

    void copy(const kelOffmap* source);
    // Same depth; the source rectangle's size at the destination rectangle's
    // top-left corner, no larger than the destination rectangle.
    void copy(const kelOffmap* source, const kelRect* sourceRect, const kelRect* destRect);
    // 16-bit source and destination; mask of depth 1 (per-channel opacity) or
    // 3 (transparency byte). Other depths leave the destination unchanged.
    void copyMask(const kelOffmap* source, const kelRect* sourceRect, const kelOffmap* mask,
                  const kelRect* maskRect, const kelRect* destRect);
    void copyBlend(const kelOffmap* source, const kelRect* sourceRect, const kelRect* destRect,
                   int16_t level);
    void copyMaskBlend(const kelOffmap* source, const kelRect* sourceRect, const kelOffmap* mask,
                       const kelRect* maskRect, const kelRect* destRect, int16_t level);
    void fill(const kelRect* rect, int16_t colour);
    void colorize(int16_t red, int16_t green, int16_t blue);
    void line(int16_t x1, int16_t y1, int16_t x2, int16_t y2, int16_t colour);
    // To the window, scaled when the rectangles differ in size (16-bit images).
    void draw(const kelRect* sourceRect, const kelRect* destRect) const;
    void setPaletteEntry(int16_t index, int16_t c0, int16_t c1, int16_t c2);

    // Start of row y counted from the top; callers keep 0 <= y < height.
    uint8_t* rowFromTop(int y) const { return pixels + static_cast<intptr_t>(size.v - 1 - y) * rowBytes; }

private:
    void buildBitmapInfo();
};
