#include "ui/BLMeters.h"

#include <algorithm>
#include <cmath>

#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "core/kelOffmap.h"
#include "ui/PWScreen.h"
#include "ui/kelPanStdCtrls.h"

// ---------------------------------------------------------------------------
// Level meter

void BLLevelBarControl::draw()
{
    kelRefreshControl(this);
}

void BLLevelBarControl::setValue(int16_t v)
{
    v = std::clamp<int16_t>(v, 0, 99);
    if (v == value) return;
    value = v;
    draw();
}

void BLLevelBarControl::setValue(int16_t i, int16_t v)
{
    if (i == kelPropLevel) {
        peak = v;
        draw();
        return;
    }
    if (i != kelPropDrawNow) return;
    const kelOffmap* segment = itemImage(1);
    const kelOffmap* mask = itemMask(1);
    if (!segment || !mask) return;
    int drawn = 0;
    for (int t = 0; drawn < kSegments && (t <= value || t <= peak); t += 10, ++drawn) {
        kelRect at = segment->bounds;
        at.offset(rect.left + aux(1) + drawn * aux(3), rect.top + aux(2) + drawn * aux(4));
        int level = 256;
        if (t + 10 >= value) level = std::max((value - t) * 127 / 10, 32);
        PWScreen.copyMaskToUpdate(segment, &segment->bounds, mask, &mask->bounds, &at,
                                  static_cast<int16_t>(level));
    }
}

// ---------------------------------------------------------------------------
// Progress bar

void BLProgressControl::draw()
{
    kelRefreshControl(this);
}

void BLProgressControl::setValue(int16_t v)
{
    v = std::clamp<int16_t>(v, 0, 100);
    if (v == value) return;
    value = v;
    draw();
}

void BLProgressControl::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    const kelOffmap* bar = itemImage(1);
    const kelOffmap* mask = itemMask(1);
    if (!bar || !mask) return;
    const int columns = rect.width() * value / 100;
    if (columns <= 0) return;
    const kelRect from(0, 0, columns, bar->size.v);
    const kelRect to(rect.left, rect.top, rect.left + columns, rect.top + bar->size.v);
    PWScreen.copyMaskToUpdate(bar, &from, mask, &from, &to, 256);
}

// ---------------------------------------------------------------------------
// Rotor

void BLRotorControl::setup()
{
    for (Dash& d : dashes) d = Dash{};
    step = kIdleStep;
    wantsIdle = 1;
    redrawAt = kelGlo.ticks;
}

void BLRotorControl::calc()
{
    kelPanelControl::calc();
    centre = rect.snap(kelAnchorCentre);
    outer = static_cast<int16_t>(rect.width() / 2 - 3);
    inner = static_cast<int16_t>(outer - 20);
}

void BLRotorControl::draw()
{
    kelRefreshControl(this);
}

void BLRotorControl::setValue(int16_t n)
{
    if (n > 0 && n <= kDashes) {
        Dash& d = dashes[n - 1];
        d.direction = KEL_Random(2) ? 1 : -1;
        if (d.period == 0) {
            d.position = 0;
            d.next = kelGlo.ticks;
        }
        d.period = static_cast<int16_t>(KEL_Random(20) + 1);
    } else if (n < 0 && n >= -kDashes) {
        dashes[-1 - n].period = 0;
    }
    step = kIdleStep;
    for (const Dash& d : dashes)
        if (d.period > 0) step = std::min(step, d.period);
}

void BLRotorControl::idle()
{
    long due = static_cast<long>(static_cast<int32_t>(redrawAt));
    if (!KEL_EveTimeoutRepeated(&due, step)) return;
    redrawAt = static_cast<uint32_t>(due);
    draw();
    for (Dash& d : dashes) {
        if (d.period == 0 || static_cast<int32_t>(kelGlo.ticks - d.next) < 0) continue;
        d.next += static_cast<uint32_t>(d.period);
        d.position = static_cast<int16_t>(d.position + d.direction);
    }
}

void BLRotorControl::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    for (const Dash& d : dashes) {
        if (d.period == 0) continue;
        const float angle = d.position * 3.14159f / 180.0f * 90.0f / 18.0f + 0.04363319444444444f;
        const float c = std::cos(angle), s = std::sin(angle);
        PWScreen.lineToUpdate(static_cast<int16_t>(centre.h + static_cast<int>(inner * c)),
                              static_cast<int16_t>(centre.v + static_cast<int>(inner * s)),
                              static_cast<int16_t>(centre.h + static_cast<int>(outer * c)),
                              static_cast<int16_t>(centre.v + static_cast<int>(outer * s)), 0x3FF);
    }
}
