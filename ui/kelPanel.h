// A skinned panel: up to 200 controls built from its layouts, the dispatch of
// the event record to them and to the panel's own handlers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "ui/kelPanelControl.h"

class KelLayout;

class kelPanel {
public:
    static constexpr int16_t kMaxControls = 200;
    // hitItem once a control gave the panel its item itself (reportNow).
    static constexpr int16_t kItemReported = -2;

    kelPanel();
    virtual ~kelPanel();
    kelPanel(const kelPanel&) = delete;
    kelPanel& operator=(const kelPanel&) = delete;

    std::array<kelPanelControl*, kMaxControls> controls{};
    int16_t controlCount = 0;
    KelLayout* ownedLayout = nullptr;
    KelLayout* mainLayout = nullptr;
    int16_t hitItem = -1;
    uint8_t isOpen = 0;
    uint8_t allocated = 0;
    uint8_t visible = 0;
    uint8_t idleControls = 0;
    uint32_t lastClickTicks = 0;
    int16_t focus = -1;
    // Set by a control around the reports it makes while the mouse is still
    // held, so that item handlers can tell a drag from a finished change.
    uint8_t liveChange = 0;

    void allocate();
    void dispose();
    // Replaces control `index` (a null control changes nothing).
    void newCtrl(int16_t index, kelPanelControl* control);
    void newCtrlKind(int16_t index, int16_t kind);
    // Builds controls base + i from the items of the layout.
    void attachLayout(KelLayout* layout, int16_t base);
    void calc();
    void select(int16_t index);
    kelPanelControl* control(int16_t index) const
    {
        return index >= 0 && index < kMaxControls ? controls[static_cast<size_t>(index)] : nullptr;
    }

    virtual void events();
    // Called when a control took the event, just before onItem().
    virtual void beforeItem() {}
    virtual void onItem() {}
    virtual void onKey() {}
    virtual void onClick() {}
    virtual void onDoubleClick() { onClick(); }
    virtual void onOpen() {}
    virtual void onClose() {}
    virtual void onIdle() {}
    virtual void onResized() {}
    virtual void onUpdate() { doRedraw(); }
    virtual void doRedraw();
    virtual void doFrontRedraw() {}
    virtual void doBackRedraw() {}
    virtual bool onCloseWindowRequest() { return false; }
    virtual bool onCloseConfirmRequest() { return false; }
    virtual bool onCloseCancelRequest() { return false; }
    virtual void onStandardExitButtonsItems() {}
    // The standard controls, kinds 10 to 20.
    virtual kelPanelControl* newCustomControl(int16_t kind);

private:
    // The first live control under the mouse that takes the click; the
    // control may name another one as the panel's item while it runs.
    int16_t findClicked(bool doubleClick);
    void moveFocus(bool backwards);
};
