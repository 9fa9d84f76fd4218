// The strips of stored grooves and of the sequence: what their eight entry
// controls show, and the clicks and drags on them.
#include <algorithm>

#include "core/kelCore.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "ui/BLDragger.h"

namespace gi = grooveitem;

namespace {

constexpr int16_t kDragRun = kelPropRunDrag;

}  // namespace

void BLGroovePanel::refreshStrip(bool isSequence)
{
    BLShownStrip& strip = isSequence ? groove.sequenceStrip() : groove.grooveStrip();
    const int16_t* controls = isSequence ? gi::sequenceEntry : gi::grooveEntry;
    const int16_t colour = isSequence ? 4 : 1;
    for (int16_t i = 0; i < gi::kStripEntries; ++i) {
        kelPanelControl* k = control(controls[i]);
        if (!k) continue;
        const int16_t entry = static_cast<int16_t>(strip.first + i);
        k->setValue(kelPropColourCode, colour);
        k->setValue(strip.idAt(entry));
        k->setValue(kelPropSelected,
                    static_cast<int16_t>(entry == strip.selected && entry < strip.length() ? 1 : 0));
        k->draw();
    }
}

void BLGroovePanel::refreshStrips()
{
    refreshStrip(false);
    refreshStrip(true);
}

namespace {

// The rectangle that the entries of a strip cover together.
bool overEntries(const kelPanel& panel, const int16_t* items)
{
    const kelPanelControl* a = panel.control(items[0]);
    const kelPanelControl* b = panel.control(items[gi::kStripEntries - 1]);
    if (!a || !b) return false;
    const kelRect area(a->rect.left, a->rect.top, b->rect.right, b->rect.bottom);
    return area.contains(kelGlo.mouseX, kelGlo.mouseY);
}

}  // namespace

// What a drag of an entry came to: -2 a click, else the sequence position
// it was dropped on, -1 dropped off the strips, -3 dropped on the strips
// elsewhere (nothing happens).
static int16_t dragResult(BLGroovePanel& p, int16_t control)
{
    // Without its entry control (a panel without layouts) a hit is a click.
    auto* c = dynamic_cast<BLDraggerCtrl*>(p.control(control));
    if (!c) return -2;
    const int16_t result = c->get(kDragRun);
    if (result == -2) return -2;
    for (int16_t i = 0; i < gi::kStripEntries; ++i)
        if (result == gi::sequenceEntry[i]) return i;
    if (overEntries(p, gi::grooveEntry) || overEntries(p, gi::sequenceEntry)) return -3;
    return -1;
}

void BLGroovePanel::grooveEntryHit(int16_t item)
{
    if (liveChange) return;
    const int16_t where = dragResult(*this, gi::grooveEntry[item]);
    if (where == -2)
        groove.grooveEntry(item, BLStripGesture::click);
    else if (where == -1)
        groove.grooveEntry(item, BLStripGesture::dragOff);
    else if (where >= 0)
        groove.grooveEntry(item, BLStripGesture::dropOnSequence, where);
    else {
        groove.grooveStrip().select(static_cast<int16_t>(item + groove.grooveStrip().scroll()));
        refreshStrips();
    }
}

void BLGroovePanel::sequenceEntryHit(int16_t item)
{
    if (liveChange) return;
    const int16_t where = dragResult(*this, gi::sequenceEntry[item]);
    if (where == -2)
        groove.sequenceEntry(item, BLStripGesture::click);
    else if (where == -1)
        groove.sequenceEntry(item, BLStripGesture::dragOff);
    else if (where >= 0)
        groove.sequenceEntry(item, BLStripGesture::dropOnSequence, where);
    else
        refreshStrips();
}
