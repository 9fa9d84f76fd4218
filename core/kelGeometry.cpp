#include "core/kelGeometry.h"

kelPoint kelRect::snap(int16_t anchor) const
{
    kelPoint p;
    switch (anchor) {
        case 0:
        case 6:
        case 7: p.h = left; break;
        case 2:
        case 3:
        case 4: p.h = right; break;
        case 1:
        case 5:
        case 8: p.h = static_cast<int16_t>(left + (right - left) / 2); break;
        default: return kelPoint{};
    }
    switch (anchor) {
        case 0:
        case 1:
        case 2: p.v = top; break;
        case 4:
        case 5:
        case 6: p.v = bottom; break;
        default: p.v = static_cast<int16_t>(top + (bottom - top) / 2); break;
    }
    return p;
}

kelPoint kelRect::relativeSnap(int16_t anchor) const
{
    kelPoint p = snap(anchor);
    p.h = static_cast<int16_t>(p.h - left);
    p.v = static_cast<int16_t>(p.v - top);
    return p;
}

void kelRect::selfSnap(int16_t anchor)
{
    const kelPoint r = relativeSnap(anchor);
    offset(-r.h, -r.v);
}
