#include "ui/kelPanelControl.h"

#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "core/kelOffmap.h"
#include "core/kelTextCodec.h"
#include "ui/kelPanel.h"

void kelPanelControl::calc()
{
    if (!layout) return;
    layout->RecalcItem(item);
    if (!layout->hasItem(item)) return;
    rect = layout->work[item].imageRect;
    pos = kelPoint{rect.left, rect.top};
}

void kelPanelControl::enable()
{
    if (enabled) return;
    enabled = 1;
    statusChanged();
}

void kelPanelControl::disable()
{
    if (!enabled) return;
    enabled = 0;
    statusChanged();
}

void kelPanelControl::show()
{
    if (visible) return;
    visible = 1;
    draw();
}

void kelPanelControl::setLinkedValues()
{
    if (linkedShort) setValue(*linkedShort);
    if (linkedLong) setValue(*linkedLong);
    if (linkedText) setValue(linkedText);
    if (linkedBytes) setValue(linkedBytes);
}

void kelPanelControl::getLinkedValues()
{
    if (linkedShort) getValue(*linkedShort);
    if (linkedLong) getValue(*linkedLong);
    if (linkedText) getValue(linkedText);
    if (linkedBytes) getValue(linkedBytes);
}

int16_t kelPanelControl::get()
{
    int16_t v = 0;
    getValue(v);
    return v;
}

int16_t kelPanelControl::get(int16_t i)
{
    int16_t v = 0;
    getValue(i, v);
    return v;
}

int16_t kelPanelControl::aux(int16_t k) const
{
    return layout ? layout->itemAuxVal(item, k) : 0;
}

kelOffmap* kelPanelControl::itemImage(int16_t index) const
{
    return layout ? layout->GetItemImage(item, index) : nullptr;
}

kelOffmap* kelPanelControl::itemMask(int16_t index) const
{
    return layout ? layout->GetItemMask(item, index) : nullptr;
}

kelRect kelPanelControl::itemFrame() const
{
    return layout && layout->hasItem(item) ? layout->work[item].frame : rect;
}

void kelPanelControl::calcFromFrame()
{
    if (!layout) return;
    layout->RecalcItem(item);
    if (!layout->hasItem(item)) return;
    rect = layout->work[item].frame;
    pos = kelPoint{rect.left, rect.top};
}

bool kelPanelControl::panelVisible() const
{
    return panel && panel->visible;
}

void kelPanelControl::reportLive(bool itemChanged)
{
    if (!panel) return;
    panel->liveChange = 1;
    if (itemChanged) panel->onItem();
    panel->onIdle();
    panel->liveChange = 0;
}

bool kelHitMaskInside(const kelOffmap* mask, const kelRect& rect, int16_t x, int16_t y)
{
    if (!mask || !mask->pixels || !rect.contains(x, y)) return true;
    const int16_t px = static_cast<int16_t>(x - rect.left), py = static_cast<int16_t>(y - rect.top);
    if (!mask->bounds.contains(px, py)) return false;
    const int16_t m = mask->getPixel(px, py);
    if (mask->depthIndex == kelDepthMask || mask->depthIndex == kelDepth8) return m < 128;
    // A 16-bit mask is an opacity: white opaque, black transparent.
    return ((m >> 10) & 31) + ((m >> 5) & 31) + (m & 31) >= 48;
}

void kelPanelControl::reportNow()
{
    if (!panel) return;
    panel->hitItem = index;
    panel->beforeItem();
    panel->onItem();
    reported = 1;
}

bool kelTrackMouse()
{
    const int16_t x = kelGlo.mouseX, y = kelGlo.mouseY;
    const bool down = KEL_ButtonDown();
    // Waiting moves are taken at once, so that what is dragged keeps up with
    // the mouse; the pause comes only when the mouse rests.
    if (down && x == kelGlo.mouseX && y == kelGlo.mouseY) KEL_PollPause();
    return down;
}

std::string kelShownText(const char* text)
{
    return KEL_NameToLatin1(text ? text : "");
}
