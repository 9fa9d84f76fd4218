#include "ui/kelPanProCtrls.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"
#include "ui/kelPanel.h"

namespace {

constexpr uint8_t kSpace = ' ';

// What lies below a control: the item's own image 0, or the current image
// of the source item cut at the control's rectangle.
void copyBackground(const kelPanelControl& c, int16_t source, kelOffmap& into)
{
    if (source == -1) {
        if (const kelOffmap* own0 = c.itemImage(0)) into.copy(own0, &own0->bounds, &into.bounds);
        return;
    }
    const KelLayout* layout = c.layout;
    if (!layout || !layout->hasItem(source)) return;
    const kelOffmap* below = layout->GetItemImage(source, layout->work[source].usedIndex);
    if (!below) return;
    kelRect cut = c.rect;
    cut.offset(-layout->work[source].frame.left, -layout->work[source].frame.top);
    into.copy(below, &cut, &into.bounds);
}

bool allocateOwn(kelOffmap& own, const kelRect& rect)
{
    if (rect.width() <= 0 || rect.height() <= 0) {
        own.dispose();
        return false;
    }
    return own.allocate(kelOffmapDefaultDepth, rect.width(), rect.height(), -1);
}

}  // namespace

// ---------------------------------------------------------------------------
// Image

void panProImageControl::setup()
{
    kelPaCoStd_StaticCast::setup();
    source = aux(kKelAuxSource);
    allocateOwn(own, rect);
    imageIndex = 1;
    active = 1;
    focusable = 0;
    overlay = nullptr;
    prepare();
}

void panProImageControl::composeBackground()
{
    copyBackground(*this, source, own);
}

void panProImageControl::prepare()
{
    ready = 0;
    current = itemImage(imageIndex);
    currentMask = itemMask(imageIndex);
    if (!own.pixels) return;
    if (current && !currentMask) {
        own.copy(current, &current->bounds, &own.bounds);
    } else {
        composeBackground();
        if (current) own.copyMask(current, &current->bounds, currentMask, &currentMask->bounds, &own.bounds);
    }
    if (overlay && overlay->imageLoaded) {
        const kelOffmap& pic = overlay->image;
        kelRect at = pic.bounds;
        at.offset((own.size.h - pic.size.h) / 2, (own.size.v - pic.size.v) / 2);
        if (overlay->maskLoaded)
            own.copyMask(&pic, &pic.bounds, &overlay->mask, &overlay->mask.bounds, &at);
        else
            own.copy(&pic, &pic.bounds, &at);
    }
    ready = 1;
}

void panProImageControl::draw()
{
    if (ready) kelRefreshControl(this);
}

void panProImageControl::setValue(int16_t v)
{
    set(kelPropImageIndex, static_cast<int16_t>(v + 1));
}

void panProImageControl::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropImageIndex: {
            v = std::clamp<int16_t>(v, 1, 9);
            if (v == imageIndex) return;
            imageIndex = v;
            prepare();
            draw();
            return;
        }
        case kelPropOverlay: {
            KelCasts* casts = layout ? layout->casts : nullptr;
            overlay = casts ? casts->castAt(casts->MPixIDtoIndex(v)) : nullptr;
            if (overlay) overlay->LoadAvailable();
            prepare();
            return;
        }
        case kelPropRetakeImages: prepare(); return;
        case kelPropDrawNow:
            if (ready) PWScreen.copyToUpdate(&own, &own.bounds, &rect);
            return;
        default: return;
    }
}

// ---------------------------------------------------------------------------
// Button and check

void panProButtonControl::setValue(int16_t v)
{
    if (v == value) return;
    value = v;
    set(kelPropImageIndex, static_cast<int16_t>(v + 1));
}

void panProButtonControl::setValue(int16_t i, long v)
{
    if (i == kelPropCallback) callback = reinterpret_cast<panProButtonCallback>(v);
}

int16_t panProButtonControl::call(int16_t phase)
{
    return callback ? callback(this, phase) : kelTrackGoOn;
}

bool panProButtonControl::click()
{
    if (!focused && panel) panel->select(index);
    setValue(int16_t{1});
    int16_t code = call(0);
    while (code == kelTrackGoOn && kelTrackMouse()) code = call(2);
    setValue(int16_t{0});
    code = call(1);
    if (!rect.contains(kelGlo.mouseX, kelGlo.mouseY)) return false;
    return code != kelTrackNoReport;
}

bool panProButtonControl::key()
{
    if (!focused || kelGlo.keyChar != kSpace) return false;
    setValue(int16_t{1});
    int16_t code = call(0);
    const bool shown = code == kelTrackGoOn;
    code = call(1);
    // The press acts at once; the button stays down a moment only to show it.
    if (code != kelTrackNoReport) reportNow();
    if (shown) KEL_WaitTicks(30);
    setValue(int16_t{0});
    return false;
}

void panProCheckControl::setValue(int16_t v)
{
    if (v == value) return;
    value = v;
    set(kelPropImageIndex, static_cast<int16_t>(v + 1));
}

bool panProCheckControl::click()
{
    if (!focused && panel) panel->select(index);
    setValue(static_cast<int16_t>(value == 0));
    return true;
}

bool panProCheckControl::key()
{
    if (!focused || kelGlo.keyChar != kelArrowRight) return false;
    setValue(static_cast<int16_t>(value == 0));
    return true;
}

// ---------------------------------------------------------------------------
// Hilite button

void panProHilButtonControl::setup()
{
    panProImageControl::setup();
    wantsIdle = 1;
    hilite = 0;
    riseStep = std::max<int16_t>(aux(1), 1);
    fallStep = std::max<int16_t>(aux(2), 1);
}

void panProHilButtonControl::idle()
{
    if (rect.contains(kelGlo.mouseX, kelGlo.mouseY)) {
        if (hilite >= 255) return;
        hilite = static_cast<int16_t>(std::min(255, hilite + riseStep));
    } else {
        if (hilite <= 0) return;
        hilite = static_cast<int16_t>(std::max(0, hilite - fallStep));
    }
    drawOffAndHilite();
}

void panProHilButtonControl::composeHilite()
{
    if (!own.pixels) return;
    composeBackground();
    const kelOffmap *off = itemImage(1), *offMask = itemMask(1);
    const kelOffmap *lit = itemImage(3), *litMask = itemMask(3);
    if (off && offMask)
        own.copyMaskBlend(off, &off->bounds, offMask, &offMask->bounds, &own.bounds,
                          static_cast<int16_t>(255 - hilite));
    if (lit && litMask) own.copyMaskBlend(lit, &lit->bounds, litMask, &litMask->bounds, &own.bounds, hilite);
}

void panProHilButtonControl::drawOffAndHilite()
{
    composeHilite();
    ready = 1;
    kelRefreshControl(this);
}

bool panProHilButtonControl::click()
{
    if (!focused && panel) panel->select(index);
    set(kelPropImageIndex, 2);
    while (kelTrackMouse()) {
    }
    set(kelPropImageIndex, 1);
    drawOffAndHilite();
    return true;
}

bool panProHilButtonControl::key()
{
    if (!focused || kelGlo.keyChar != kSpace) return false;
    set(kelPropImageIndex, 2);
    reportNow();
    KEL_WaitTicks(30);
    set(kelPropImageIndex, 1);
    drawOffAndHilite();
    return false;
}

// ---------------------------------------------------------------------------
// Text

void panProTextControl::setup()
{
    panProImageControl::setup();
    text[0] = '\0';
    size = 12;
    style = 0;
    alignment = 1;
    active = 1;
}

void panProTextControl::calc()
{
    panProImageControl::calc();
    const kelPoint left = rect.snap(kelAnchorLeft);
    anchor = kelPoint{left.h, static_cast<int16_t>(left.v - (size / 2 + 1))};
}

void panProTextControl::setValue(char* t)
{
    std::snprintf(text, sizeof text, "%s", kelShownText(t).c_str());
    calc();
    draw();
}

void panProTextControl::getValue(char* t)
{
    if (t) std::strcpy(t, text);
}

void panProTextControl::drawTextAt(kelPoint at)
{
    PWScreen.stringToUpdate(&PWFont, text, at.h, at.v, alignment, true);
}

void panProTextControl::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropTextSize: size = v; break;
        case kelPropTextStyle: style = v; break;
        case kelPropTextAlign: alignment = v; break;
        case kelPropDrawNow:
            panProImageControl::setValue(i, v);
            // The window's own text call stands in for the skin font here,
            // centred on the anchor line for centred text.
            drawTextAt(alignment == 1 ? kelPoint{static_cast<int16_t>(rect.left + rect.width() / 2), anchor.v}
                       : alignment == 2 ? kelPoint{rect.right, anchor.v}
                                        : anchor);
            return;
        default: panProImageControl::setValue(i, v); return;
    }
    calc();
}

// ---------------------------------------------------------------------------
// Scroll

void panProScrollControl::setup()
{
    kelPaCoStd_StaticCast::setup();
    maximum = aux(2);
    minimum = aux(1);
    source = aux(kKelAuxSource);
    live = aux(8);
    thumb = itemImage(1);
    thumbMask = itemMask(1);
    allocateOwn(own, rect);
    vertical = rect.height() > rect.width() ? 1 : 0;
    const int thumbSize = thumb ? (vertical ? thumb->size.v : thumb->size.h) : 0;
    const int room = (vertical ? rect.height() : rect.width()) - thumbSize;
    scale = maximum != minimum ? static_cast<double>(room) / (maximum - minimum) : 0.0;
    value = static_cast<int16_t>(minimum - 1);
    focusable = 1;
    setValue(minimum);
}

void panProScrollControl::compose()
{
    if (!own.pixels) return;
    copyBackground(*this, source, own);
    if (!thumb) return;
    if (thumbMask)
        own.copyMask(thumb, &thumb->bounds, thumbMask, &thumbMask->bounds, &thumbRect);
    else
        own.copy(thumb, &thumb->bounds, &thumbRect);
}

void panProScrollControl::draw()
{
    kelRefreshControl(this);
}

void panProScrollControl::setValue(int16_t v)
{
    v = std::clamp<int16_t>(v, std::min(minimum, maximum), std::max(minimum, maximum));
    if (v == value) return;
    value = v;
    // Counted from the minimum, so that a range not starting at 0 stays on the track.
    const int moved = static_cast<int>((v - minimum) * scale);
    thumbRect = thumb ? thumb->bounds : kelRect();
    if (vertical)
        thumbRect.offset(0, rect.height() - thumbRect.height() - moved);
    else
        thumbRect.offset(moved, 0);
    compose();
    draw();
}

void panProScrollControl::setValue(int16_t i, int16_t)
{
    if (i == kelPropRetakeImages) {
        compose();
        draw();
    } else if (i == kelPropDrawNow && own.pixels) {
        PWScreen.copyToUpdate(&own, &own.bounds, &rect);
    }
}

bool panProScrollControl::click()
{
    if (!focused && panel) panel->select(index);
    kelRect onScreen = thumbRect;
    onScreen.offset(rect.left, rect.top);
    if (!thumb || !onScreen.contains(kelGlo.mouseX, kelGlo.mouseY)) return false;
    const int16_t pressX = kelGlo.mouseX, pressY = kelGlo.mouseY;
    const int16_t start = value;
    int16_t reported = value;
    while (kelTrackMouse()) {
        if (scale == 0) continue;
        if (vertical)
            setValue(static_cast<int16_t>(start - static_cast<int>((kelGlo.mouseY - pressY) / scale)));
        else
            setValue(static_cast<int16_t>(start + static_cast<int>((kelGlo.mouseX - pressX) / scale)));
        if (live) {
            reportLive(value != reported);
            reported = value;
        }
    }
    return true;
}

bool panProScrollControl::key()
{
    if (!focused) return false;
    if (kelGlo.keyChar == kelArrowLeft) {
        setValue(static_cast<int16_t>(value - 1));
        return true;
    }
    if (kelGlo.keyChar == kelArrowRight) {
        setValue(static_cast<int16_t>(value + 1));
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Film and rotary

void panProImagesFilmControl::setup()
{
    kelPaCoStd_StaticCast::setup();
    source = aux(kKelAuxSource);
    allocateOwn(own, rect);
    frame = 0;
    frameHeight = rect.height();
    takeFilm();
    prepare();
    focusable = 0;
}

void panProImagesFilmControl::takeFilm()
{
    film = itemImage(1);
    filmOffset = film != nullptr;
    if (!film) film = itemImage(0);
    filmMask = itemMask(1);
    maskOffset = filmMask != nullptr;
    if (!filmMask) filmMask = itemMask(0);
}

kelRect panProImagesFilmControl::frameRect(bool offset) const
{
    kelRect r(0, 0, rect.width(), rect.height());
    // A frame not chosen yet (-1) shows frame 0.
    if (offset) r.offset(0, std::max<int16_t>(frame, 0) * frameHeight);
    return r;
}

void panProImagesFilmControl::composeBackground()
{
    copyBackground(*this, source, own);
}

void panProImagesFilmControl::prepare()
{
    ready = 0;
    if (!film || !own.pixels) return;
    const kelRect f = frameRect(filmOffset);
    if (!filmMask) {
        own.copy(film, &f, &own.bounds);
    } else {
        composeBackground();
        const kelRect m = frameRect(maskOffset);
        own.copyMask(film, &f, filmMask, &m, &own.bounds);
    }
    ready = 1;
}

void panProImagesFilmControl::draw()
{
    if (ready) kelRefreshControl(this);
}

void panProImagesFilmControl::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropImageIndex:
            if (v == frame) return;
            frame = v;
            prepare();
            draw();
            return;
        case kelPropRetakeImages:
            takeFilm();
            prepare();
            return;
        case kelPropDrawNow:
            if (ready) PWScreen.copyToUpdate(&own, &own.bounds, &rect);
            return;
        default: return;
    }
}

void panProRotaryControl::setup()
{
    panProImagesFilmControl::setup();
    maximum = static_cast<int16_t>(aux(1) - 1);
    live = aux(8);
}

void panProRotaryControl::setValue(int16_t v)
{
    v = std::clamp<int16_t>(v, 0, std::max<int16_t>(maximum, 0));
    if (v == value) return;
    value = v;
    set(kelPropImageIndex, v);
}

bool panProRotaryControl::click()
{
    if (!focused && panel) panel->select(index);
    const int direction = kelGlo.mouseX > rect.left + rect.width() / 2 ? 1 : -1;
    const int16_t pressY = kelGlo.mouseY;
    const int16_t start = value;
    int16_t reported = value;
    while (kelTrackMouse()) {
        setValue(static_cast<int16_t>(start + (kelGlo.mouseY - pressY) * direction));
        if (live) {
            reportLive(value != reported);
            reported = value;
        }
    }
    return true;
}

bool panProRotaryControl::key()
{
    if (!focused) return false;
    if (kelGlo.keyChar == kelArrowLeft) {
        setValue(static_cast<int16_t>(value - 1));
        return true;
    }
    if (kelGlo.keyChar == kelArrowRight) {
        setValue(static_cast<int16_t>(value + 1));
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Radio

void panProRadioControl::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    const kelOffmap* look = itemImage(static_cast<int16_t>(on + 1));
    if (!look) return;
    if (const kelOffmap* mask = itemMask(static_cast<int16_t>(on + 1)))
        PWScreen.copyMaskToUpdate(look, &look->bounds, mask, &mask->bounds, &rect, 256);
    else
        PWScreen.copyToUpdate(look, &look->bounds, &rect);
}

kelPanelControl* kelNewProControl(int16_t kind)
{
    switch (kind) {
        case kelKindScroll: return new panProScrollControl;
        case kelKindImage: return new panProImageControl;
        case kelKindFilm: return new panProImagesFilmControl;
        case kelKindButton: return new panProButtonControl;
        case kelKindCheck: return new panProCheckControl;
        case kelKindRotary: return new panProRotaryControl;
        case kelKindHiliteButton: return new panProHilButtonControl;
        case kelKindText: return new panProTextControl;
        case kelKindRadio: return new panProRadioControl;
        default: return nullptr;
    }
}
