// The song browser's keys and double clicks: it is in front while it shows,
// so the keys move through its list instead of acting on the groove behind.
#include "core/kelCore.h"
#include "panels/browser/BLLoadPanel.h"

namespace {
// Two clicks on one song within half a second load it.
constexpr uint32_t kDoubleClickTicks = 30;
}  // namespace

void BLLoadPanel::onKey()
{
    if (kelGlo.what != kelKeyDown && kelGlo.what != kelAutoKey) return;
    if (busy) return;
    if (kelGlo.keyChar == kelArrowUp || kelGlo.keyChar == kelArrowDown) {
        if (page.count == 0) return;
        stopAudition();
        moveSelection(kelGlo.keyChar == kelArrowUp ? 1 : -1);
        return;
    }
    if (kelGlo.keyChar == kelKeyReturn && kelGlo.what == kelKeyDown) {
        onItem_load();
        return;
    }
    // Page Down and Page Up show the next or the earlier songs, the selection with them.
    if (kelGlo.specialKey == 21 || (kelGlo.specialKey == 20 && !kelGlo.escapeKey)) {
        if (page.count == 0) return;
        stopAudition();
        moveSelection(static_cast<int16_t>(kelGlo.specialKey == 21 ? -kBLLoadListLines : kBLLoadListLines));
    }
}

bool BLLoadPanel::doubleClicked(int16_t line)
{
    const int16_t entry = page.entryOnLine(line);
    const bool twice =
        entry >= 0 && entry == lastClickEntry && kelGlo.ticks - lastClickTicks <= kDoubleClickTicks;
    lastClickEntry = twice ? -1 : entry;
    lastClickTicks = kelGlo.ticks;
    return twice;
}
