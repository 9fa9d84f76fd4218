// The geometry of the whole user interface: signed 16-bit points and rectangles.
#pragma once

#include <cstdint>

struct kelPoint {
    int16_t h = 0;
    int16_t v = 0;
};

struct kelRect {
    int16_t left = 0;
    int16_t top = 0;
    int16_t right = 0;
    int16_t bottom = 0;

    kelRect() = default;
    kelRect(int l, int t, int r, int b)
        : left(static_cast<int16_t>(l)),
          top(static_cast<int16_t>(t)),
          right(static_cast<int16_t>(r)),
          bottom(static_cast<int16_t>(b))
    {
    }

    // (0, 0, p.h, p.v)
    void set(kelPoint p) { *this = kelRect(0, 0, p.h, p.v); }
    int16_t width() const { return static_cast<int16_t>(right - left); }
    int16_t height() const { return static_cast<int16_t>(bottom - top); }
    bool isEmpty() const { return left >= right || top >= bottom; }
    bool contains(int16_t x, int16_t y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool contains(const kelRect& r) const
    {
        return r.left >= left && r.top >= top && r.right <= right && r.bottom <= bottom;
    }
    bool intersects(const kelRect& r) const
    {
        return r.left < right && r.right > left && r.top < bottom && r.bottom > top;
    }
    void offset(int dh, int dv)
    {
        left = static_cast<int16_t>(left + dh);
        right = static_cast<int16_t>(right + dh);
        top = static_cast<int16_t>(top + dv);
        bottom = static_cast<int16_t>(bottom + dv);
    }
    // Anchor points 0..8 clockwise from the top left, the centre last.
    kelPoint snap(int16_t anchor) const;
    kelPoint relativeSnap(int16_t anchor) const;
    void selfSnap(int16_t anchor);
    bool operator==(const kelRect&) const = default;
};
