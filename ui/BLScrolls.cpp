#include "ui/BLScrolls.h"

#include <algorithm>
#include <cmath>

#include "core/kelCore.h"
#include "ui/PWScreen.h"
#include "ui/kelPanel.h"

namespace {
constexpr float kDegreesToRadians = 3.14159f / 180.0f;
constexpr float kOneOverPi = 0.31831015504887655f;
}  // namespace

// ---------------------------------------------------------------------------
// Round scroll

void BLRoundScroll::setup()
{
    enabled = 1;
    active = 1;
    visible = 1;
    value = 0;
    thumb = itemImage(1);
    thumbMask = itemMask(1);
    halfWidth = static_cast<int16_t>(thumb ? thumb->size.h / 2 : 0);
    halfHeight = static_cast<int16_t>(thumb ? thumb->size.v / 2 : 0);
    minimum = aux(1);
    maximum = aux(2);
    startAngle = aux(4);
    endAngle = aux(5);
    calc();
    radius = static_cast<int16_t>(
        std::sqrt(static_cast<double>(aux(6)) * aux(6) + static_cast<double>(aux(7)) * aux(7)));
    // The thumb is placed again now that its radius is known.
    if (thumb) calcThumb();
    ready = 1;
}

void BLRoundScroll::calc()
{
    calcFromFrame();
    centre = kelPoint{static_cast<int16_t>(rect.left + rect.width() / 2 + aux(6)),
                      static_cast<int16_t>(rect.top + rect.height() / 2 + aux(7))};
    if (thumb) calcThumb();
}

void BLRoundScroll::calcThumb()
{
    float radians = 0;
    if (maximum != minimum) {
        const int angle = (endAngle - startAngle) * (value - minimum) / (maximum - minimum) + startAngle;
        radians = static_cast<float>(angle) * kDegreesToRadians;
    }
    thumbRect = thumb ? thumb->bounds : kelRect();
    thumbRect.offset(static_cast<int>(radius * std::cos(radians)) + centre.h - halfWidth,
                     static_cast<int>(radius * std::sin(radians)) + centre.v - halfHeight);
}

void BLRoundScroll::draw()
{
    kelRefreshControl(this);
}

void BLRoundScroll::setValue(int16_t v)
{
    v = std::clamp<int16_t>(v, std::min(minimum, maximum), std::max(minimum, maximum));
    if (v == value) return;
    value = v;
    calcThumb();
    draw();
}

void BLRoundScroll::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropMaximum:
        case kelPropMinimum:
            (i == kelPropMaximum ? maximum : minimum) = v;
            value = std::clamp<int16_t>(value, std::min(minimum, maximum), std::max(minimum, maximum));
            calcThumb();
            draw();
            return;
        case kelPropDrawNow:
            if (!thumb) return;
            if (thumbMask)
                PWScreen.copyMaskToUpdate(thumb, &thumb->bounds, thumbMask, &thumbMask->bounds, &thumbRect,
                                          256);
            else
                PWScreen.copyToUpdate(thumb, &thumb->bounds, &thumbRect);
            return;
        default: return;
    }
}

bool BLRoundScroll::onThumb() const
{
    return thumb && thumbRect.contains(kelGlo.mouseX, kelGlo.mouseY);
}

int16_t BLRoundScroll::valueAtMouse() const
{
    float a = std::atan2(static_cast<float>(kelGlo.mouseY - centre.v),
                         static_cast<float>(kelGlo.mouseX - centre.h)) *
              180.0f * kOneOverPi;
    if (startAngle >= 0) {
        if (minimum <= 180)
            a = static_cast<float>((static_cast<int>(a) + 360) % 360);
        else
            a = static_cast<float>(static_cast<int>(a) + 360);
    }
    if (maximum == minimum || endAngle == startAngle) return 0;
    return static_cast<int16_t>(static_cast<int>(minimum + (a - startAngle) * (maximum - minimum) /
                                                               static_cast<float>(endAngle - startAngle)));
}

bool BLRoundScroll::click()
{
    if (!onThumb()) return false;
    const int16_t start = value;
    bool haveReference = false;
    int16_t reference = 0;
    while (kelTrackMouse()) {
        const int16_t v = valueAtMouse();
        if (!haveReference) {
            reference = v;
            haveReference = true;
        }
        setRealtime(static_cast<int16_t>(start + v - reference));
    }
    return true;
}

void BLRoundScroll::setRealtime(int16_t v)
{
    if (!panel) return;
    panel->liveChange = 1;
    if (v != value) {
        set(v);
        panel->onItem();
    }
    panel->onIdle();
    panel->liveChange = 0;
}

// ---------------------------------------------------------------------------
// Straight scroll

void BLScroll::calcThumb()
{
    if (maximum == minimum || !thumb) return;
    thumbRect = thumb->bounds;
    if (vertical())
        thumbRect.offset(
            rect.left, rect.top + (rect.height() - thumb->size.v) * (value - minimum) / (maximum - minimum));
    else
        thumbRect.offset(rect.left + (rect.width() - thumb->size.h) * (value - minimum) / (maximum - minimum),
                         rect.top);
}

bool BLScroll::click()
{
    if (onThumb() || !thumb || maximum == minimum || !rect.contains(kelGlo.mouseX, kelGlo.mouseY))
        return BLRoundScroll::click();
    // The thumb's middle comes under the mouse, then it follows the drag.
    const int half = vertical() ? thumb->size.v / 2 : thumb->size.h / 2;
    kelGlo.mouseX = static_cast<int16_t>(kelGlo.mouseX - (vertical() ? 0 : half));
    kelGlo.mouseY = static_cast<int16_t>(kelGlo.mouseY - (vertical() ? half : 0));
    const int16_t at = static_cast<int16_t>(
        std::clamp<int>(minimum + valueAtMouse(), std::min(minimum, maximum), std::max(minimum, maximum)));
    kelGlo.mouseX = static_cast<int16_t>(kelGlo.mouseX + (vertical() ? 0 : half));
    kelGlo.mouseY = static_cast<int16_t>(kelGlo.mouseY + (vertical() ? half : 0));
    setRealtime(at);
    return BLRoundScroll::click();
}

int16_t BLScroll::valueAtMouse() const
{
    const int room =
        vertical() ? rect.height() - (thumb ? thumb->size.v : 0) : rect.width() - (thumb ? thumb->size.h : 0);
    if (room == 0) return 0;
    const int along = vertical() ? kelGlo.mouseY - rect.top : kelGlo.mouseX - rect.left;
    return static_cast<int16_t>((maximum - minimum) * along / room);
}
