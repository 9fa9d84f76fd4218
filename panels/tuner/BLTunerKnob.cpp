#include "panels/tuner/BLTunerKnob.h"

#include <algorithm>
#include <cmath>

#include "core/kelCore.h"
#include "ui/PWScreen.h"
#include "ui/kelPanel.h"

namespace {

// The skin's amber, as a pixel of the screen image (5-5-5).
constexpr int16_t kPointerColour = (31 << 10) | (22 << 5) | 7;
constexpr int kFineSteps = 4;

// The knob whose last click did not turn it: a double click there sets it back.
const BLTunerKnob* plainlyClicked = nullptr;

}  // namespace

BLTunerKnob::~BLTunerKnob()
{
    if (plainlyClicked == this) plainlyClicked = nullptr;
}

void BLTunerKnob::setup()
{
    BLRoundScroll::setup();
    radius = aux(3);
    calc();
}

void BLTunerKnob::calc()
{
    calcFromFrame();
    centre = kelPoint{static_cast<int16_t>(rect.left + rect.width() / 2),
                      static_cast<int16_t>(rect.top + rect.height() / 2)};
    if (thumb) calcThumb();
}

bool BLTunerKnob::onDial() const
{
    const int dx = kelGlo.mouseX - centre.h;
    const int dy = kelGlo.mouseY - centre.v;
    const int r = rect.width() / 2 + 1;
    return dx * dx + dy * dy <= r * r;
}

bool BLTunerKnob::click()
{
    if (!onDial()) return false;
    const int16_t start = value;
    const int16_t pressY = kelGlo.mouseY;
    const auto follow = [&] {
        const int dy = pressY - kelGlo.mouseY;
        const int wanted = start + (kelGlo.shiftDown ? dy / kFineSteps : dy);
        setRealtime(static_cast<int16_t>(wanted < -32768 ? -32768 : wanted > 32767 ? 32767 : wanted));
    };
    while (kelTrackMouse()) follow();
    // Where the mouse was let go counts too: a quick drag may end in one poll.
    follow();
    plainlyClicked = value == start ? this : nullptr;
    return true;
}

bool BLTunerKnob::doubleClick()
{
    if (!onDial()) return false;
    // Quick drags one after another, or on two knobs, are drags.
    if (plainlyClicked != this) return click();
    plainlyClicked = nullptr;
    setValue(restValue);
    return true;
}

bool BLTunerKnob::wheel(int16_t notches)
{
    plainlyClicked = nullptr;
    const int lo = std::min(minimum, maximum), hi = std::max(minimum, maximum);
    const int wanted = std::clamp(value + notches * wheelStep, lo, hi);
    if (wanted == value) return false;
    setValue(static_cast<int16_t>(wanted));
    return true;
}

void BLTunerKnob::setValue(int16_t i, int16_t v)
{
    if (i != kelPropDrawNow) {
        BLRoundScroll::setValue(i, v);
        return;
    }
    if (kelOffmap* dial = itemImage(0)) {
        kelOffmap* mask = itemMask(0);
        if (mask)
            PWScreen.copyMaskToUpdate(dial, &dial->bounds, mask, &mask->bounds, &rect, 256);
        else
            PWScreen.copyToUpdate(dial, &dial->bounds, &rect);
    }
    // The pointer from the cap's middle out to its tip.
    if (thumb) {
        const int16_t tipX = static_cast<int16_t>(thumbRect.left + halfWidth);
        const int16_t tipY = static_cast<int16_t>(thumbRect.top + halfHeight);
        const int16_t fromX = static_cast<int16_t>(centre.h + (tipX - centre.h) / 3);
        const int16_t fromY = static_cast<int16_t>(centre.v + (tipY - centre.v) / 3);
        PWScreen.lineToUpdate(fromX, fromY, tipX, tipY, kPointerColour);
    }
    BLRoundScroll::setValue(i, v);
}
