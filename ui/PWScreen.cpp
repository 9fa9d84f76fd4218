#include "ui/PWScreen.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/BLInternational.h"
#include "core/BLPath.h"
#include "core/kelCore.h"
#include "ui/PWPanel.h"

PWScreenClass PWScreen;

namespace {
constexpr int16_t kSynthPanel = 2;
constexpr int16_t kGroovePanel = 0;
constexpr int16_t kInfoPanel = 9;
constexpr int16_t kQuitQuestion = 52;
}  // namespace

void PWScreen_remoteevents(uintptr_t message)
{
    if (message == 0)
        PWScreen.events();
    else
        PWScreen.asyncDialogMessage(reinterpret_cast<BLPath*>(message));
}

PWPanelClass* PWScreenClass::panel(int16_t index) const
{
    return index >= 0 && index < kPanelCount ? links[static_cast<size_t>(index)].panel : nullptr;
}

bool PWScreenClass::isVisible(int16_t index) const
{
    return panel(index) != nullptr && links[static_cast<size_t>(index)].visible;
}

void PWScreenClass::connect(PWPanelClass* p, int16_t index, int16_t flag)
{
    if (!p || index < 0 || index >= kPanelCount) return;
    PanelLink& link = links[static_cast<size_t>(index)];
    link.panel = p;
    link.connectFlag = flag;
    link.visible = index == 0 ? 1 : 0;
    p->visible = link.visible;
    p->screenIndex = index;
    if (count < index + 1) count = static_cast<int16_t>(index + 1);
    p->connected();
    p->onPanelOpened();
}

void PWScreenClass::setProps(int16_t index, int16_t x, int16_t y, uint8_t draggable, int16_t animate)
{
    if (!panel(index)) return;
    PanelLink& link = links[static_cast<size_t>(index)];
    link.draggable = draggable;
    link.animate = animate;
    link.position = kelPoint{x, y};
}

void PWScreenClass::show(int16_t index)
{
    PWPanelClass* p = panel(index);
    if (!p || links[static_cast<size_t>(index)].visible) return;
    p->beforeShow();
    links[static_cast<size_t>(index)].visible = 1;
    p->visible = 1;
    p->afterShow();
}

void PWScreenClass::hide(int16_t index)
{
    PWPanelClass* p = panel(index);
    if (!p || !links[static_cast<size_t>(index)].visible) return;
    p->beforeHide();
    links[static_cast<size_t>(index)].visible = 0;
    p->visible = 0;
    p->afterHide();
    if (help) help->panHidden(index);
}

void PWScreenClass::toggle(int16_t index)
{
    if (isVisible(index))
        hide(index);
    else
        show(index);
}

void PWScreenClass::events()
{
    switch (kelGlo.what) {
        case kelNullEvent:
            if (help) help->idle();
            for (int16_t i = static_cast<int16_t>(count - 1); i >= 0; --i)
                if (isVisible(i)) panel(i)->events();
            break;
        case kelMouseDown: dispatchMouseDown(); break;
        case kelKeyDown:
        case kelAutoKey:
        case kelKeyUp: dispatchKey(); break;
        case kelUpdateEvt:
            KEL_BeginUpdate();
            KEL_EndUpdate();
            break;
        case kelCommandEvt: dispatchCommand(); break;
        case kelResizeEvt: resized(); break;
        case kelCloseEvt: askQuit(); break;
        default: break;
    }
}

void PWScreenClass::dispatchMouseDown()
{
    auto tryPanel = [this](int16_t i) {
        PWPanelClass* p = panel(i);
        if (!isVisible(i) || !p->background()->rect.contains(kelGlo.mouseX, kelGlo.mouseY)) return false;
        p->events();
        // Dragging by the panel's own surface: the drag itself arrives with
        // the panels' layouts.
        return true;
    };
    if (modalPanel != -1) {
        tryPanel(modalPanel);
        return;
    }
    for (int16_t i = static_cast<int16_t>(count - 1); i >= 0; --i)
        if (tryPanel(i)) return;
}

void PWScreenClass::dispatchKey()
{
    int16_t& held = keyHeld[kelGlo.keyChar];
    held = kelGlo.what == kelKeyUp ? 0 : static_cast<int16_t>(held + 1);
    if (kelGlo.what == kelKeyDown && kelGlo.specialKey == 1) {
        if (help) help->toggle(1);
        return;
    }
    int16_t target = kGroovePanel;
    if (modalPanel != -1)
        target = modalPanel;
    else if (isVisible(kSynthPanel))
        target = kSynthPanel;
    if (PWPanelClass* p = panel(target)) p->onKey();
}

void PWScreenClass::dispatchCommand()
{
    if (kelGlo.menuID == kelMenuInfo) {
        if (kelGlo.menuItem == 1) toggle(kInfoPanel);
        return;
    }
    if (kelGlo.menuID != kelMenuFile) return;
    PWPanelClass* groove = panel(kGroovePanel);
    switch (kelGlo.menuItem) {
        case kelItemOpen:
            if (groove) groove->onItem_Load();
            break;
        case kelItemSave:
            if (groove) groove->onItem_Save();
            break;
        case 2:
        case kelItemQuit:
            kelGlo.what = kelCloseEvt;
            events();
            break;
        default: break;
    }
}

void PWScreenClass::askQuit()
{
    if (BL_Notify(kQuitQuestion, 1) == 1) kelGlo.running = 0;
}

void PWScreenClass::asyncDialogMessage(BLPath* path)
{
    const std::string problem = BLPath::takeDialogProblem();
    if (!problem.empty()) KEL_UserNotify(problem.c_str(), 0);
    if (!path) return;
    if (PWPanelClass* p = panel(path->panelIndex)) p->asyncDialogMessage(path);
}

void PWScreenClass::resized()
{
    const int16_t w = kelGlo.screenWidth, h = kelGlo.screenHeight;
    windowRect = kelRect(0, 0, w, h);
    int16_t ox = static_cast<int16_t>((w - kStageWidth) / 2), oy = static_cast<int16_t>((h - kStageHeight) / 2);
    if (ox < 0 || oy < 0) ox = oy = 0;
    origin = kelPoint{ox, oy};
    stage = kelRect(ox, oy, ox + kStageWidth, oy + kStageHeight);
    for (int16_t i = 0; i < count; ++i) {
        if (!panel(i)) continue;
        links[static_cast<size_t>(i)].limit = kelRect(0, 10, w - 10, h);
    }
}

void PWScreenClass::processOpenDocuments()
{
    PWPanelClass* groove = panel(kGroovePanel);
    BLPath* path = groove ? groove->documentPath() : nullptr;
    if (!path) return;
    path->fromSystemPath(windowsCommandLine);
    bool usable = path->path[0] != '\0' && path->exists();
    if (!usable && windowsCommandLine[0] == '"') {
        // "a path with blanks" in quotes: drop both quotes and try again.
        char unquoted[kWindowsCommandLineSize];
        std::snprintf(unquoted, sizeof unquoted, "%s", windowsCommandLine + 1);
        if (const size_t n = std::strlen(unquoted); n > 0) unquoted[n - 1] = '\0';
        path->fromSystemPath(unquoted);
        usable = path->path[0] != '\0' && path->exists();
    }
    if (!usable) return;
    path->panelIndex = 0;
    path->requestCode = 0;
    path->requestSub = 0;
    path->dialogOk = 1;
    asyncDialogMessage(path);
}
