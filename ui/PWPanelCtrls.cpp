#include "ui/PWPanelCtrls.h"

#include <algorithm>
#include <cstdio>

#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"
#include "ui/kelPanel.h"

int16_t spectrePublicBuffer[kSpectreBufferSize] = {};

namespace {

// A disabled button shows dimmed.
constexpr int16_t kDimmedLevel = 63;

// The ticks since `since`, read as a signed distance (the clock wraps).
int32_t ticksSince(uint32_t since)
{
    return static_cast<int32_t>(kelGlo.ticks - since);
}

}  // namespace

void PWImageLook::take(const kelPanelControl& c, int16_t index)
{
    image = c.itemImage(index);
    mask = c.itemMask(index);
    hitMask = c.itemMask(1);
    if (!hitMask) hitMask = c.itemMask(0);
}

void PWImageLook::drawNow(const kelRect& at, int16_t level) const
{
    if (!image) return;
    if (mask)
        PWScreen.copyMaskToUpdate(image, &image->bounds, mask, &mask->bounds, &at, level);
    else
        PWScreen.copyToUpdate(image, &image->bounds, &at);
}

// ---------------------------------------------------------------------------
// Image and background

void PWPanelImageControl::setup()
{
    // Past the pro control's setup: a skin control draws the layout's casts, no picture of its own.
    kelPaCoStd_StaticCast::setup();  // NOLINT(bugprone-parent-virtual-call)
    source = aux(kKelAuxSource);
    imageIndex = 0;
    active = 1;
    focusable = 0;
    level = 256;
    prepare();
}

void PWPanelImageControl::prepare()
{
    look.take(*this, imageIndex);
    ready = look.image ? 1 : 0;
}

void PWPanelImageControl::draw()
{
    if (!ready || !visible || !panelVisible()) return;
    if (look.mask)
        PWScreen.update(&rect);
    else
        PWScreen.updateFrom(panel, index, &rect);
}

bool PWPanelImageControl::click()
{
    if (!hitTest(kelGlo.mouseX, kelGlo.mouseY)) return false;
    return panProImageControl::click();
}

void PWPanelImageControl::setValue(int16_t v)
{
    set(kelPropImageIndex, v);
}

void PWPanelImageControl::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropImageIndex:
            v = std::clamp<int16_t>(v, 0, kKelLayoutImages - 1);
            if (v == imageIndex) return;
            imageIndex = v;
            prepare();
            draw();
            return;
        case kelPropLevel:
            level = v;
            draw();
            return;
        case kelPropDrawNow:
            if (ready) look.drawNow(rect, level);
            return;
        default: panProImageControl::setValue(i, v); return;
    }
}

void PWPanelBackpaneControl::setup()
{
    PWPanelImageControl::setup();
    scheme = 0;
    look.hitMask = look.mask;
}

void PWPanelBackpaneControl::setValue(int16_t wanted)
{
    if (wanted == scheme || !layout || !layout->casts) return;
    KelCasts* casts = layout->casts;
    auto schemeCast = [&](int16_t s) {
        return casts->castAt(casts->MPixIDtoIndex(aux(static_cast<int16_t>(s + 1))));
    };
    if (KelOneCast* old = schemeCast(scheme)) old->Unload();
    look = PWImageLook{};
    scheme = std::clamp<int16_t>(wanted, 0, 9);
    if (KelOneCast* now = schemeCast(scheme)) {
        now->LoadAvailable();
        if (now->imageLoaded) look.image = &now->image;
        if (now->maskLoaded) look.mask = &now->mask;
    }
    if (!look.mask && layout->hasItem(item)) {
        // A scheme picture without a mask takes the shape of the item's first picture.
        if (KelOneCast* first = casts->castAt(layout->work[item].castIndex[0]); first && first->LoadDepth(3))
            look.mask = &first->mask;
    }
    look.hitMask = look.mask;
    ready = look.image ? 1 : 0;
    draw();
}

// ---------------------------------------------------------------------------
// Button, check, radio, rotary

void PWPanelButtonControl::setup()
{
    // Past the pro control's setup: a skin control draws the layout's casts, no picture of its own.
    kelPaCoStd_StaticCast::setup();  // NOLINT(bugprone-parent-virtual-call)
    source = aux(kKelAuxSource);
    imageIndex = 1;
    active = 1;
    focusable = 0;
    callback = nullptr;
    prepare();
}

void PWPanelButtonControl::prepare()
{
    look.take(*this, imageIndex);
    ready = look.image ? 1 : 0;
}

void PWPanelButtonControl::draw()
{
    if (!visible || !panelVisible()) return;
    if (source == -1)
        PWScreen.update(&rect);
    else
        PWScreen.updateFrom(panel, index, &rect);
}

bool PWPanelButtonControl::click()
{
    if (!kelHitMaskInside(look.hitMask, rect, kelGlo.mouseX, kelGlo.mouseY)) return false;
    return panProButtonControl::click();
}

void PWPanelButtonControl::setValue(int16_t i, int16_t v)
{
    if (i == kelPropDrawNow)
        look.drawNow(rect, enabled ? 256 : kDimmedLevel);
    else
        panProButtonControl::setValue(i, v);
}

void PWPanelCheckControl::setup()
{
    // Past the pro control's setup: a skin control draws the layout's casts, no picture of its own.
    kelPaCoStd_StaticCast::setup();  // NOLINT(bugprone-parent-virtual-call)
    source = aux(kKelAuxSource);
    imageIndex = 1;
    active = 1;
    focusable = 0;
    prepare();
}

void PWPanelCheckControl::prepare()
{
    look.take(*this, imageIndex);
    ready = look.image ? 1 : 0;
}

void PWPanelCheckControl::draw()
{
    if (!visible || !panelVisible()) return;
    PWScreen.updateFrom(panel, index, &rect);
}

bool PWPanelCheckControl::click()
{
    if (!kelHitMaskInside(look.hitMask, rect, kelGlo.mouseX, kelGlo.mouseY)) return false;
    return panProCheckControl::click();
}

void PWPanelCheckControl::setValue(int16_t i, int16_t v)
{
    if (i == kelPropDrawNow)
        look.drawNow(rect, 256);
    else
        panProCheckControl::setValue(i, v);
}

void PWPanelRadioControl::setup()
{
    panProRadioControl::setup();
    lastDrawn = -1;
}

void PWPanelRadioControl::draw()
{
    if (visible) kelRefreshControl(this);
}

void PWPanelRadioControl::statusChanged()
{
    if (on == lastDrawn) return;
    lastDrawn = on;
    draw();
}

void PWPanelRadioControl::setValue(int16_t i, int16_t v)
{
    if (i != kelPropDrawNow) {
        panProRadioControl::setValue(i, v);
        return;
    }
    if (const kelOffmap* look = itemImage(static_cast<int16_t>(on + 1)))
        PWScreen.copyToUpdate(look, &look->bounds, &rect);
}

void PWPanelRotaryControl::setValue(int16_t i, int16_t v)
{
    if (i != kelPropDrawNow) {
        panProRotaryControl::setValue(i, v);
        return;
    }
    if (!ready) return;
    if (filmMask) {
        const kelRect m = frameRect(maskOffset);
        PWScreen.copyMaskToUpdate(&own, &own.bounds, filmMask, &m, &rect, 256);
    } else {
        PWScreen.copyToUpdate(&own, &own.bounds, &rect);
    }
}

// ---------------------------------------------------------------------------
// Fluid film

void PWPanelFluidFilmControl::setup()
{
    maximum = static_cast<int16_t>(aux(1) - 1);
    riseStep = aux(2);
    riseDelay = aux(3);
    fallStep = aux(4);
    fallDelay = aux(5);
    rest = aux(6);
    hold = aux(8);
    panProImagesFilmControl::setup();
    wantsIdle = 1;
    rising = 1;
    stepped = 0;
    frame = -1;  // the first frame set is drawn
    currentFrame = 0;
    target = 0;
    jump = 0;
    deadlineSet = 1;
    deadline = kelGlo.ticks;
}

void PWPanelFluidFilmControl::prepare()
{
    ready = film ? 1 : 0;
}

void PWPanelFluidFilmControl::setValue(int16_t t)
{
    if (hold != 0) {
        deadlineSet = 1;
        deadline = kelGlo.ticks + static_cast<uint32_t>(hold);
    }
    target = std::clamp<int16_t>(t, 0, std::max<int16_t>(maximum, 0));
    idle();
}

void PWPanelFluidFilmControl::idle()
{
    if (jump && target > currentFrame) {
        currentFrame = target;
        stepTime = kelGlo.ticks;
        stepped = 1;
        rising = 0;
    } else {
        if (deadlineSet && hold != 0 && ticksSince(deadline) > 0) {
            deadlineSet = 0;
            target = std::clamp<int16_t>(rest, 0, std::max<int16_t>(maximum, 0));
        }
        if (currentFrame == target) return;
        const uint8_t up = currentFrame < target ? 1 : 0;
        const int16_t delay = up ? riseDelay : fallDelay;
        if (up != rising || !stepped) {
            rising = up;
            stepped = 1;
            if (delay != -1) stepTime = kelGlo.ticks;
        }
        if (delay != -1) {
            if (ticksSince(stepTime) < delay) return;
            stepTime = kelGlo.ticks;
        }
        if (rising)
            currentFrame =
                static_cast<int16_t>(std::min<int>(currentFrame + std::max<int16_t>(riseStep, 1), target));
        else
            currentFrame =
                static_cast<int16_t>(std::max<int>(currentFrame - std::max<int16_t>(fallStep, 1), target));
    }
    set(kelPropImageIndex, currentFrame);
}

void PWPanelFluidFilmControl::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropJump: jump = v ? 1 : 0; return;
        case kelPropDrawNow: {
            if (!ready) return;
            const kelRect f = frameRect(filmOffset);
            const kelRect m = frameRect(maskOffset);
            if (filmMask) {
                PWScreen.copyMaskToUpdate(film, &f, filmMask, &m, &rect, 256);
            } else {
                PWScreen.copyToUpdate(film, &f, &rect);
            }
            return;
        }
        default: panProImagesFilmControl::setValue(i, v); return;
    }
}

// ---------------------------------------------------------------------------
// Static cast and text

void PWPanelStaticCastControl::setup()
{
    kelPaCoStd_StaticCast::setup();
    getOffmaps();
}

void PWPanelStaticCastControl::getOffmaps()
{
    image = nullptr;
    mask = nullptr;
    if (!layout || !layout->hasItem(item) || !layout->casts) return;
    KelOneCast* cast = layout->casts->castAt(layout->work[item].currentCast);
    if (!cast) return;
    cast->LoadAvailable();
    if (cast->imageLoaded) image = &cast->image;
    if (cast->maskLoaded) mask = &cast->mask;
}

void PWPanelStaticCastControl::draw()
{
    kelRefreshControl(this);
}

void PWPanelStaticCastControl::setValue(int16_t v)
{
    if (v == value) return;
    value = v;
    if (!layout) return;
    layout->ItemUseIndex(item, v);
    calc();
    getOffmaps();
    draw();
}

void PWPanelStaticCastControl::setValue(int16_t i, int16_t v)
{
    if (i != kelPropDrawNow) {
        kelPaCoStd_StaticCast::setValue(i, v);
        return;
    }
    if (!image) return;
    if (mask)
        PWScreen.copyMaskToUpdate(image, &image->bounds, mask, &mask->bounds, &rect, 256);
    else
        PWScreen.copyToUpdate(image, &image->bounds, &rect);
}

void PWPanelTextControl::setup()
{
    // Past the pro control's setup: a skin control draws the layout's casts, no picture of its own.
    kelPaCoStd_StaticCast::setup();  // NOLINT(bugprone-parent-virtual-call)
    text[0] = '\0';
    size = 12;
    style = 0;
    alignment = 1;
    active = 1;
    fillColour = 0;
    fill = 0;
    fit = 0;
    ready = 1;
    calc();
}

void PWPanelTextControl::calc()
{
    panProTextControl::calc();
    const int16_t a = alignment == 0 ? kelAnchorTopLeft : alignment == 2 ? kelAnchorTopRight : kelAnchorTop;
    anchor = rect.snap(a);
}

void PWPanelTextControl::draw()
{
    kelRefreshControl(this);
}

void PWPanelTextControl::setValue(char* t)
{
    std::snprintf(text, sizeof text, "%s", kelShownText(t).c_str());
    draw();
}

void PWPanelTextControl::setValue(int16_t n)
{
    char number[16];
    std::snprintf(number, sizeof number, "%0d", n);
    setValue(number);
}

void PWPanelTextControl::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropFit: fit = v ? 1 : 0; return;
        case kelPropFill: fill = v ? 1 : 0; return;
        case kelPropFillColour: fillColour = v; return;
        case kelPropDrawNow: {
            if (!ready) return;
            if (fill) PWScreen.fillToUpdate(&rect, fillColour);
            char shown[sizeof text];
            std::snprintf(shown, sizeof shown, "%s", text);
            if (fit) PWFont.stringFitWidth(shown, static_cast<int16_t>(rect.width() - 5));
            PWScreen.stringToUpdate(&PWFont, shown, anchor.h, anchor.v, alignment, true);
            return;
        }
        case kelPropTextSize: size = v; break;
        case kelPropTextStyle: style = v; break;
        case kelPropTextAlign: alignment = v; break;
        default: panProTextControl::setValue(i, v); break;
    }
    calc();
}

// ---------------------------------------------------------------------------
// Spectre

void PWPanelSpectreControl::setup()
{
    PWPanelImageControl::setup();
    std::fill(std::begin(spectrePublicBuffer), std::end(spectrePublicBuffer), int16_t{0});
    mode = aux(1);
}

bool PWPanelSpectreControl::click()
{
    if (mode == 1) {
        wantsIdle = 1;
        if (panel) panel->idleControls = 1;
    }
    return true;
}

void PWPanelSpectreControl::setValue(int16_t i, int16_t v)
{
    if (i != kelPropDrawNow) {
        PWPanelImageControl::setValue(i, v);
        return;
    }
    if (ready) look.drawNow(rect, level);
    const int bars = std::min<int>(kSpectreBufferSize, rect.width());
    const int16_t bottom = static_cast<int16_t>(rect.bottom - 1);
    for (int x = 0; x < bars; ++x) {
        const int h = std::clamp<int>(spectrePublicBuffer[x], 0, rect.height() - 1);
        if (h > 0)
            PWScreen.lineToUpdate(static_cast<int16_t>(rect.left + x), bottom,
                                  static_cast<int16_t>(rect.left + x), static_cast<int16_t>(bottom - h),
                                  0x03FF);
    }
}
