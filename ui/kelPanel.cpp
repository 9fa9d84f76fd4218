#include "ui/kelPanel.h"

#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "ui/kelPanStdCtrls.h"

namespace {
constexpr uint32_t kDoubleClickTicks = 30;
constexpr uint8_t kTab = 9;
}  // namespace

kelPanel::kelPanel()
{
    allocate();
}

kelPanel::~kelPanel()
{
    dispose();
}

void kelPanel::allocate()
{
    if (allocated) return;
    hitItem = -1;
    isOpen = 1;
    controlCount = 0;
    lastClickTicks = 0;
    focus = -1;
    mainLayout = nullptr;
    visible = 1;
    idleControls = 0;
    liveChange = 0;
    for (int16_t i = 0; i < kMaxControls; ++i) {
        auto* c = new kelPanelControl;
        c->panel = this;
        c->index = i;
        controls[static_cast<size_t>(i)] = c;
    }
    allocated = 1;
}

void kelPanel::dispose()
{
    if (!allocated) return;
    for (auto*& c : controls) {
        delete c;
        c = nullptr;
    }
    delete ownedLayout;
    ownedLayout = nullptr;
    mainLayout = nullptr;
    controlCount = 0;
    focus = -1;
    allocated = 0;
}

void kelPanel::newCtrl(int16_t index, kelPanelControl* control)
{
    if (!control) return;
    if (index < 0 || index >= kMaxControls || !allocated) {
        delete control;
        return;
    }
    delete controls[static_cast<size_t>(index)];
    controls[static_cast<size_t>(index)] = control;
    control->panel = this;
    control->index = index;
    control->kind = 0;
    control->active = 1;
    control->enabled = 1;
    control->visible = 1;
    if (controlCount < index + 1) controlCount = static_cast<int16_t>(index + 1);
    if (focus == index) focus = -1;
}

void kelPanel::newCtrlKind(int16_t index, int16_t kind)
{
    newCtrl(index, newCustomControl(kind));
}

kelPanelControl* kelPanel::newCustomControl(int16_t kind)
{
    return kelNewStandardControl(kind);
}

void kelPanel::attachLayout(KelLayout* layout, int16_t base)
{
    if (!layout) return;
    if (!mainLayout) mainLayout = layout;
    for (int16_t i = 0; i < layout->itemsCount; ++i) {
        const int index = base + i;
        if (index < 0 || index >= kMaxControls) break;
        const kelLayoutItem& it = layout->data.items[i];
        newCtrlKind(static_cast<int16_t>(index), it.aux[kKelAuxKind]);
        kelPanelControl* c = controls[static_cast<size_t>(index)];
        c->kind = it.aux[kKelAuxKind];
        c->layout = layout;
        c->item = i;
        c->calc();
        c->setup();
        c->active = it.state == 2 ? 1 : 0;
        c->visible = it.state != 0 ? 1 : 0;
    }
}

void kelPanel::calc()
{
    for (int16_t i = 0; i < controlCount; ++i) controls[static_cast<size_t>(i)]->calc();
}

void kelPanel::select(int16_t index)
{
    if (index == focus) return;
    if (kelPanelControl* old = control(focus)) {
        old->focused = 0;
        old->statusChanged();
    }
    focus = index;
    if (kelPanelControl* now = control(index)) {
        now->focused = 1;
        now->statusChanged();
    }
}

int16_t kelPanel::findClicked(bool doubleClick)
{
    // Controls are tried at the point pressed; one that tracked the mouse to
    // its release and declined has used the press up.
    const int16_t x = kelGlo.mouseX, y = kelGlo.mouseY;
    const uint8_t held = kelGlo.buttonDown;
    for (int16_t i = 0; i < controlCount; ++i) {
        kelPanelControl* c = controls[static_cast<size_t>(i)];
        if (!c->live() || !c->rect.contains(x, y)) continue;
        hitItem = i;
        c->reported = 0;
        if ((doubleClick && c->doubleClick()) || c->click()) return hitItem;
        if (c->reported) return kItemReported;
        if (held && !kelGlo.buttonDown) break;
    }
    return -1;
}

void kelPanel::moveFocus(bool backwards)
{
    if (focus < 0 || controlCount <= 0) return;
    int16_t i = focus;
    for (;;) {
        i = static_cast<int16_t>(backwards ? (i - 1 + controlCount) % controlCount : (i + 1) % controlCount);
        if (i == focus) return;
        const kelPanelControl* c = controls[static_cast<size_t>(i)];
        if (c->focusable && c->visible) break;
    }
    select(i);
}

void kelPanel::events()
{
    hitItem = -1;
    switch (kelGlo.what) {
        case kelMouseDown:
            // Press to press: a drag's length does not count towards the next.
            if (kelGlo.pressTicks - lastClickTicks < kDoubleClickTicks) {
                hitItem = findClicked(true);
                if (hitItem == -1) onDoubleClick();
            } else {
                lastClickTicks = kelGlo.pressTicks;
                hitItem = findClicked(false);
                if (hitItem == -1) onClick();
            }
            break;
        case kelKeyDown:
        case kelAutoKey:
            for (int16_t i = 0; i < controlCount; ++i) {
                kelPanelControl* c = controls[static_cast<size_t>(i)];
                if (!c->live()) continue;
                hitItem = i;
                c->reported = 0;
                if (c->key()) break;
                if (c->reported) {
                    hitItem = kItemReported;
                    break;
                }
                hitItem = -1;
            }
            if (hitItem == -1) {
                onKey();
                if (kelGlo.keyChar == kTab) moveFocus(kelGlo.shiftDown != 0);
            }
            break;
        case kelWheelEvt:
            for (int16_t i = 0; i < controlCount; ++i) {
                kelPanelControl* c = controls[static_cast<size_t>(i)];
                if (!c->live() || !c->rect.contains(kelGlo.mouseX, kelGlo.mouseY)) continue;
                hitItem = i;
                if (c->wheel(kelGlo.wheel)) break;
                hitItem = -1;
            }
            break;
        case kelUpdateEvt:
            KEL_BeginUpdate();
            onUpdate();
            KEL_EndUpdate();
            break;
        case kelNullEvent: onIdle(); break;
        case 6:
        case kelResizeEvt: onResized(); break;
        case kelCloseEvt: kelGlo.running = 0; break;
        default: break;
    }
    if (hitItem >= 0) {
        beforeItem();
        onItem();
        if (hitItem >= 0 && hitItem <= 2) onStandardExitButtonsItems();
    }
    if (kelGlo.running == 0) isOpen = 0;
    onIdle();
    if (idleControls) {
        for (int16_t i = 0; i < controlCount; ++i) {
            kelPanelControl* c = controls[static_cast<size_t>(i)];
            if (c->live() && c->wantsIdle) c->idle();
        }
    }
}

void kelPanel::doRedraw()
{
    doBackRedraw();
    for (int16_t i = 0; i < controlCount; ++i) {
        kelPanelControl* c = controls[static_cast<size_t>(i)];
        if (c->visible) c->draw();
    }
    doFrontRedraw();
}
