#include "ui/BLDragger.h"

#include <cstdio>
#include <cstdlib>

#include "core/kelCore.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"
#include "ui/kelPanel.h"

namespace {

// How far the mouse must go before an entry starts to move.
constexpr int kDragThreshold = 3;

void allocateLike(kelOffmap& layer, const kelOffmap* model, int16_t colour)
{
    if (!model || model->size.h <= 0 || model->size.v <= 0) {
        layer.dispose();
        return;
    }
    if (layer.allocate(kelOffmapDefaultDepth, model->size.h, model->size.v, -1))
        layer.fill(&layer.bounds, colour);
}

int16_t colourOfCode(int16_t code)
{
    switch (code) {
        case 2: return 0x7C00;
        case 3: return 0x001F;
        case 4: return 0x03FF;
        case 5: return 0x03E0;
        default: return 0x7FFF;
    }
}

}  // namespace

void BLDraggerCtrl::setup()
{
    kelPaCoStd_StaticCast::setup();
    allocateLike(label, itemImage(0), 0x7C00);
    allocateLike(colour, itemImage(1), 0x03E0);
    labelMask = itemMask(0);
    colourMask = itemMask(1);
    selected = 0;
    dragging = 0;
    highlighted = 0;
}

void BLDraggerCtrl::draw()
{
    kelRefreshControl(this);
}

void BLDraggerCtrl::setValue(int16_t n)
{
    if (!label.pixels) return;
    label.fill(&label.bounds, 0);
    if (n >= 0) {
        char number[16];
        std::snprintf(number, sizeof number, "%0d", n);
        PWFont.copyString(&label, number, 10, 4, 1);
        value = n;
    }
    draw();
}

void BLDraggerCtrl::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropColourCode:
            if (colour.pixels) colour.fill(&colour.bounds, colourOfCode(v));
            return;
        case kelPropSelected:
            selected = v || value < 0 ? 1 : 0;
            draw();
            return;
        case kelPropDrawNow:
            if (dragging) {
                drawLayer(label, labelMask, dragRect);
                return;
            }
            drawLayer(label, labelMask, rect);
            if (selected || highlighted) drawLayer(colour, colourMask, rect);
            return;
        default: kelPaCoStd_StaticCast::setValue(i, v); return;
    }
}

void BLDraggerCtrl::getValue(int16_t i, int16_t& v)
{
    if (i == kelPropSelected) v = selected;
    if (i == kelPropRunDrag) v = doDragIt();
}

void BLDraggerCtrl::drawLayer(const kelOffmap& layer, const kelOffmap* mask, const kelRect& at) const
{
    if (!layer.pixels) return;
    kelRect to = layer.bounds;
    to.offset(at.left, at.top);
    if (mask)
        PWScreen.copyMaskToUpdate(&layer, &layer.bounds, mask, &mask->bounds, &to, 256);
    else
        PWScreen.copyToUpdate(&layer, &layer.bounds, &to);
}

int16_t BLDraggerCtrl::doDragIt()
{
    const int16_t pressX = kelGlo.mouseX, pressY = kelGlo.mouseY;
    dragRect = rect;
    PWScreen.lastControl = index;
    dragging = 1;
    bool moving = false;
    int16_t receiver = -1;
    int16_t lastX = pressX, lastY = pressY;
    while (kelTrackMouse()) {
        if (kelGlo.mouseX == lastX && kelGlo.mouseY == lastY) continue;
        lastX = kelGlo.mouseX;
        lastY = kelGlo.mouseY;
        if (!moving && std::abs(lastX - pressX) < kDragThreshold && std::abs(lastY - pressY) < kDragThreshold)
            continue;
        moving = true;
        const kelRect old = dragRect;
        dragRect = rect;
        dragRect.offset(lastX - pressX, lastY - pressY);
        PWScreen.update(&old);
        PWScreen.update(&dragRect);
        int16_t under = -1;
        for (int16_t i = 0; panel && i < panel->controlCount; ++i) {
            if (i == index) continue;
            if (panel->control(i)->get(kelPropMouseInside) != 0) under = i;
        }
        if (under != receiver) {
            if (kelPanelControl* now = panel->control(under)) now->set(kelPropHighlight, 1);
            if (kelPanelControl* before = panel->control(receiver)) before->set(kelPropHighlight, 0);
            receiver = under;
        }
    }
    if (kelPanelControl* under = panel ? panel->control(receiver) : nullptr) under->set(kelPropHighlight, 0);
    PWScreen.update(&dragRect);
    PWScreen.lastControl = -1;
    dragging = 0;
    PWScreen.update(&rect);
    if (rect.contains(kelGlo.mouseX, kelGlo.mouseY)) return kClicked;
    return receiver;
}

void BLDraggerReceiverCtrl::setValue(int16_t i, int16_t v)
{
    if (i == kelPropHighlight) {
        highlighted = v ? 1 : 0;
        draw();
        return;
    }
    BLDraggerCtrl::setValue(i, v);
}

void BLDraggerReceiverCtrl::getValue(int16_t i, int16_t& v)
{
    if (i == kelPropMouseInside) {
        v = rect.contains(kelGlo.mouseX, kelGlo.mouseY) ? 1 : 0;
        return;
    }
    BLDraggerCtrl::getValue(i, v);
}
