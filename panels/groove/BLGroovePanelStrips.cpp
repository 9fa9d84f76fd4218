// The strips of stored grooves and of the sequence: what their eight entry
// controls show, and the clicks and drags on them.
#include <algorithm>

#include "core/kelCore.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/groove/BLGroovePanelParts.h"
#include "ui/BLDragger.h"

namespace gi = grooveitem;

namespace {

constexpr int16_t kDragRun = kelPropRunDrag;

}  // namespace

int16_t BLGroovePanel::Strip::length() const
{
    const BLSequence& s = panel.model.stored;
    return colour == 4 ? s.length : s.count;
}

int16_t BLGroovePanel::Strip::idAt(int16_t entry) const
{
    const BLSequence& s = panel.model.stored;
    if (entry < 0 || entry >= length()) return -1;
    return static_cast<int16_t>(colour == 4 ? s.entries[entry] : s.grooves[entry].id);
}

void BLGroovePanel::Strip::select(int16_t entry)
{
    selected = entry;
    // The selected entry stays in view.
    if (entry >= 0 && entry < first) first = entry;
    if (entry >= first + gi::kStripEntries) first = static_cast<int16_t>(entry - gi::kStripEntries + 1);
}

void BLGroovePanel::Strip::setScroll(int16_t f)
{
    first = std::max<int16_t>(f, 0);
}

void BLGroovePanel::Strip::scrollBy(int16_t step)
{
    const int16_t last = std::max<int16_t>(static_cast<int16_t>(length() - gi::kStripEntries), 0);
    first = std::clamp<int16_t>(static_cast<int16_t>(first + step), 0, last);
    refresh();
}

void BLGroovePanel::Strip::refresh()
{
    for (int16_t i = 0; i < gi::kStripEntries; ++i) {
        kelPanelControl* c = panel.control(controls[i]);
        if (!c) continue;
        const int16_t entry = static_cast<int16_t>(first + i);
        c->setValue(kelPropColourCode, colour);
        c->setValue(idAt(entry));
        c->setValue(kelPropSelected, static_cast<int16_t>(entry == selected && entry < length() ? 1 : 0));
        c->draw();
    }
}

void BLGroovePanel::refreshStrips()
{
    grooveStrip->refresh();
    sequenceStrip->refresh();
}

void BLGroovePanel::restoreStored(int16_t index)
{
    if (index < 0 || index >= model.stored.count) return;
    grooveStrip->select(index);
    model.current = model.stored.grooves[index];
    model.groove_restore();
    grooveStrip->refresh();
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
    if (where == -2) model.grooves_hit(item, BLStripGesture::click);
    else if (where == -1) model.grooves_hit(item, BLStripGesture::dragOff);
    else if (where >= 0) model.grooves_hit(item, BLStripGesture::dropOnSequence, where);
    else {
        grooveStrip->select(static_cast<int16_t>(item + grooveStrip->scroll()));
        grooveStrip->refresh();
    }
}

void BLGroovePanel::sequenceEntryHit(int16_t item)
{
    if (liveChange) return;
    const int16_t where = dragResult(*this, gi::sequenceEntry[item]);
    if (where == -2) model.sequencer_hit(item, BLStripGesture::click);
    else if (where == -1) model.sequencer_hit(item, BLStripGesture::dragOff);
    else if (where >= 0) model.sequencer_hit(item, BLStripGesture::dropOnSequence, where);
    else sequenceStrip->refresh();
}
