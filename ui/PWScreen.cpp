#include "ui/PWScreen.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/BLInternational.h"
#include "core/BLPath.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "ui/PWPanel.h"
#include "ui/kelFont.h"

PWScreenClass PWScreen;

namespace {
constexpr int16_t kSynthPanel = 2;
constexpr int16_t kGroovePanel = 0;
constexpr int16_t kVMixPanel = 1;
constexpr int16_t kInfoPanel = 9;
constexpr int16_t kProgressPanel = 10;
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

void PWScreenClass::reset()
{
    image.dispose();
    links = {};
    keyHeld = {};
    ready = 0;
    count = 0;
    windowRect = kelRect();
    clip = nullptr;
    drawable = 0;
    origin = kelPoint{};
    stage = kelRect(0, 0, kStageWidth, kStageHeight);
    lastControl = -1;
    modalPanel = -1;
    help = nullptr;
    front = nullptr;
}

bool PWScreenClass::setup()
{
    kelMonitorInfo monitor{};
    KEL_GetMonitorInfo(&monitor);
    const int16_t w = std::max<int16_t>(monitor.width, kStageWidth);
    const int16_t h = std::max<int16_t>(monitor.height, kStageHeight);
    ready = image.allocate(kelOffmapDefaultDepth, w, h, -1) ? 1 : 0;
    windowRect = kelRect(0, 0, kelGlo.screenWidth, kelGlo.screenHeight);
    const int16_t ox = static_cast<int16_t>(std::max(0, (kelGlo.screenWidth - kStageWidth) / 2));
    const int16_t oy = static_cast<int16_t>(std::max(0, (kelGlo.screenHeight - kStageHeight) / 2));
    origin = kelPoint{ox, oy};
    stage = kelRect(ox, oy, ox + kStageWidth, oy + kStageHeight);
    drawable = 0;
    return ready != 0;
}

void PWScreenClass::update(const kelRect* area)
{
    if (!area || !ready) return;
    kelRect r = *area;
    r.left = std::clamp(r.left, windowRect.left, windowRect.right);
    r.right = std::clamp(r.right, windowRect.left, windowRect.right);
    r.top = std::clamp(r.top, windowRect.top, windowRect.bottom);
    r.bottom = std::clamp(r.bottom, windowRect.top, windowRect.bottom);
    if (r.isEmpty()) return;
    const kelRect* outer = clip;
    clip = &r;
    if (!stage.contains(r)) image.fill(&r, 0);
    for (int16_t i = 0; i < count; ++i) {
        if (!isVisible(i)) continue;
        PWPanelClass* p = panel(i);
        for (int16_t c = 0; c < p->controlCount; ++c) {
            if (c == lastControl) continue;
            kelPanelControl* control = p->control(c);
            if (control->visible && control->rect.intersects(r)) control->set(kelPropDrawNow, 0);
        }
        if (kelPanelControl* last = p->control(lastControl)) last->set(kelPropDrawNow, 0);
    }
    if (help) help->updateOffmap();
    if (front) front->drawToUpdate();
    if (drawable) image.draw(&r, &r);
    clip = outer;
}

void PWScreenClass::updateFrom(kelPanel*, int16_t, const kelRect* area)
{
    update(area);
}

namespace {

// Cuts `dest` to `area` edge by edge, moving the matching edges of the
// source rectangles by the same amounts. False when nothing is left.
bool cutToArea(const kelRect& area, kelRect& dest, kelRect& source, kelRect* mask)
{
    auto cut = [&](int16_t kelRect::*edge, int delta) {
        dest.*edge = static_cast<int16_t>(dest.*edge + delta);
        source.*edge = static_cast<int16_t>(source.*edge + delta);
        if (mask) mask->*edge = static_cast<int16_t>(mask->*edge + delta);
    };
    if (dest.left < area.left) cut(&kelRect::left, area.left - dest.left);
    if (dest.top < area.top) cut(&kelRect::top, area.top - dest.top);
    if (dest.right > area.right) cut(&kelRect::right, area.right - dest.right);
    if (dest.bottom > area.bottom) cut(&kelRect::bottom, area.bottom - dest.bottom);
    return !dest.isEmpty();
}

kelRect intersection(const kelRect& a, const kelRect& b)
{
    return kelRect(std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                   std::min(a.bottom, b.bottom));
}

kelRect unionOf(const kelRect& a, const kelRect& b)
{
    return kelRect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                   std::max(a.bottom, b.bottom));
}

}  // namespace

void PWScreenClass::copyToUpdate(const kelOffmap* source, const kelRect* sourceRect, const kelRect* destRect)
{
    if (!clip || !source || !sourceRect || !destRect) return;
    kelRect s = *sourceRect, d = *destRect;
    if (!clip->contains(d) && !cutToArea(*clip, d, s, nullptr)) return;
    image.copy(source, &s, &d);
}

void PWScreenClass::copyMaskToUpdate(const kelOffmap* source, const kelRect* sourceRect,
                                     const kelOffmap* mask, const kelRect* maskRect, const kelRect* destRect,
                                     int16_t level)
{
    if (!clip || !source || !sourceRect || !mask || !maskRect || !destRect) return;
    kelRect s = *sourceRect, m = *maskRect, d = *destRect;
    if (!clip->contains(d) && !cutToArea(*clip, d, s, &m)) return;
    if (level == 256)
        image.copyMask(source, &s, mask, &m, &d);
    else
        image.copyMaskBlend(source, &s, mask, &m, &d, level);
}

void PWScreenClass::fillToUpdate(const kelRect* rect, int16_t colour)
{
    if (!clip || !rect) return;
    const kelRect r = intersection(*rect, *clip);
    if (!r.isEmpty()) image.fill(&r, colour);
}

void PWScreenClass::lineToUpdate(int16_t x1, int16_t y1, int16_t x2, int16_t y2, int16_t colour)
{
    if (!clip) return;
    // The offscreen image's own stepping, each pixel kept to the refreshed area.
    auto plot = [&](int x, int y) {
        if (clip->contains(static_cast<int16_t>(x), static_cast<int16_t>(y)))
            image.setPixel(static_cast<int16_t>(x), static_cast<int16_t>(y), colour);
    };
    const int dx = x2 - x1, dy = y2 - y1;
    if (std::abs(dx) > std::abs(dy)) {
        const float step = static_cast<float>(dy) / static_cast<float>(std::abs(dx));
        const int dir = dx >= 0 ? 1 : -1;
        float y = y1;
        for (int x = x1; x != x2; x += dir, y += step) plot(x, static_cast<int>(y));
    } else if (dy != 0) {
        const float step = static_cast<float>(dx) / static_cast<float>(std::abs(dy));
        const int dir = dy >= 0 ? 1 : -1;
        float x = x1;
        for (int y = y1; y != y2; y += dir, x += step) plot(static_cast<int>(x), y);
    }
}

void PWScreenClass::stringToUpdate(const kelFont* font, const char* text, int16_t x, int16_t y, int16_t align,
                                   bool masked)
{
    if (!clip || !font) return;
    if (masked)
        font->copyMaskString(&image, text, x, y, align, clip);
    else
        font->copyString(&image, text, x, y, align, clip);
}

void PWScreenClass::showOnTop(const kelOffmap* source, const kelRect* sourceRect, const kelRect* destRect)
{
    if (!ready || !source || !sourceRect || !destRect) return;
    kelRect s = *sourceRect, d = *destRect;
    if (!windowRect.contains(d) && !cutToArea(windowRect, d, s, nullptr)) return;
    image.copy(source, &s, &d);
    if (drawable) image.draw(&d, &d);
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
    PWPanelClass* p = panel(index);
    if (!p) return;
    PanelLink& link = links[static_cast<size_t>(index)];
    link.draggable = draggable;
    link.animate = animate;
    link.position = kelPoint{x, y};
    link.limit = stage;
    kelRect placed = stage;
    placed.offset(x, y);
    for (KelLayout* layout : p->layouts)
        if (layout) layout->bounds = placed;
    p->calc();
    keepInside(index);
}

void PWScreenClass::show(int16_t index)
{
    PWPanelClass* p = panel(index);
    if (!p || links[static_cast<size_t>(index)].visible) return;
    p->beforeShow();
    links[static_cast<size_t>(index)].visible = 1;
    p->visible = 1;
    if (p->modal && modalPanel != index) {
        links[static_cast<size_t>(index)].modalBefore = modalPanel;
        modalPanel = index;
    }
    if (drawable) {
        const kelRect area = p->background()->rect;
        update(&area);
    }
    p->afterShow();
}

void PWScreenClass::hide(int16_t index)
{
    PWPanelClass* p = panel(index);
    if (!p || !links[static_cast<size_t>(index)].visible) return;
    p->beforeHide();
    links[static_cast<size_t>(index)].visible = 0;
    p->visible = 0;
    if (modalPanel == index) {
        // Back to the modal panel it covered, when that one still shows.
        const int16_t before = links[static_cast<size_t>(index)].modalBefore;
        modalPanel = isVisible(before) ? before : -1;
        links[static_cast<size_t>(index)].modalBefore = -1;
    }
    const kelRect area = p->background()->rect;
    update(&area);
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
    // While a file dialog is open the music plays on, but the window takes
    // no keys, clicks or commands: they belong to the dialog (a letter
    // typed for a path must not mute a track).
    if (BLPath::dialogPending()) {
        if (kelGlo.what == kelKeyUp) keyHeld[kelGlo.keyChar] = 0;
        if (kelGlo.what == kelMouseDown || kelGlo.what == kelKeyDown || kelGlo.what == kelAutoKey ||
            kelGlo.what == kelKeyUp || kelGlo.what == kelCommandEvt || kelGlo.what == kelWheelEvt)
            return;
    }
    switch (kelGlo.what) {
        case kelNullEvent:
            if (help) help->idle();
            for (int16_t i = static_cast<int16_t>(count - 1); i >= 0; --i)
                if (isVisible(i)) panel(i)->events();
            break;
        case kelMouseDown: dispatchMouseDown(); break;
        case kelWheelEvt: dispatchWheel(); break;
        case kelKeyDown:
        case kelAutoKey:
        case kelKeyUp: dispatchKey(); break;
        case kelUpdateEvt: {
            KEL_BeginUpdate();
            const kelRect whole = windowRect;
            update(&whole);
            KEL_EndUpdate();
            break;
        }
        case kelCommandEvt: dispatchCommand(); break;
        case kelResizeEvt: resized(); break;
        case kelCloseEvt: askQuit(); break;
        default: break;
    }
}

void PWScreenClass::dispatchMouseDown()
{
    // The panel under the mouse takes the click; a click on the panel's own
    // surface, where no control took it, drags a draggable panel.
    // A press on a control that chose nothing (a menu closed without a
    // choice) is no drag of its panel.
    auto onControl = [](PWPanelClass* p, int16_t x, int16_t y) {
        for (int16_t k = 1; k < p->controlCount; ++k) {
            const kelPanelControl* c = p->control(k);
            if (c && c->live() && c->rect.contains(x, y)) return true;
        }
        return false;
    };
    auto tryPanel = [this, &onControl](int16_t i) {
        PWPanelClass* p = panel(i);
        const int16_t x = kelGlo.mouseX, y = kelGlo.mouseY;
        if (!isVisible(i) || !p->backgroundHit(x, y)) return false;
        p->events();
        if (p->hitItem == -1 && links[static_cast<size_t>(i)].draggable && !onControl(p, x, y) &&
            p->background()->click())
            doDragPanel(i);
        return true;
    };
    // The help overlay lies over every panel.
    if (help && help->click(kelGlo.mouseX, kelGlo.mouseY)) return;
    if (modalPanel != -1) {
        tryPanel(modalPanel);
        return;
    }
    for (int16_t i = static_cast<int16_t>(count - 1); i >= 0; --i)
        if (tryPanel(i)) return;
}

void PWScreenClass::dispatchWheel()
{
    const int16_t x = kelGlo.mouseX, y = kelGlo.mouseY;
    auto tryPanel = [this, x, y](int16_t i) {
        PWPanelClass* p = panel(i);
        if (!isVisible(i) || !p->backgroundHit(x, y)) return false;
        p->events();
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
    // Escape ends help mode, else closes the panel in front.
    if (kelGlo.what == kelKeyDown && kelGlo.escapeKey) {
        if (help && help->escape()) return;
        if (const int16_t top = panelOnTop(); top >= 0) {
            if (panel(top)->requestClose()) hide(top);
            return;
        }
    }
    // Keys go to the panel the user sees in front: a modal one, the synth,
    // the virtual mix over the groove panel, else the groove panel.
    int16_t target = kGroovePanel;
    if (modalPanel != -1)
        target = modalPanel;
    else if (isVisible(kSynthPanel))
        target = kSynthPanel;
    else if (isVisible(kVMixPanel))
        target = kVMixPanel;
    if (PWPanelClass* p = panel(target)) p->onKey();
}

int16_t PWScreenClass::panelOnTop() const
{
    // Any panel over the groove panel but the progress of running work.
    if (modalPanel != -1 && isVisible(modalPanel)) return modalPanel == kProgressPanel ? -1 : modalPanel;
    for (int16_t i = static_cast<int16_t>(count - 1); i > 0; --i)
        if (isVisible(i) && i != kProgressPanel) return i;
    return -1;
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
        case kelItemNew:
        case kelItemUndo:
        case kelItemRedo:
            if (groove) groove->workCommand(kelGlo.menuItem);
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
    // Unsaved work gets its own question; without any, the usual one.
    if (PWPanelClass* groove = panel(kGroovePanel); groove && groove->askBeforeQuit()) return;
    BL_ConfirmQuit();
}

void PWScreenClass::asyncDialogMessage(BLPath* path)
{
    BLPath::dialogDelivered(path);
    const std::string problem = BLPath::takeDialogProblem();
    if (!problem.empty()) KEL_UserNotify(problem.c_str(), 0);
    if (!path) return;
    if (PWPanelClass* p = panel(path->panelIndex)) p->asyncDialogMessage(path);
}

void PWScreenClass::resized()
{
    const int16_t w = kelGlo.screenWidth, h = kelGlo.screenHeight;
    windowRect = kelRect(0, 0, w, h);
    int16_t ox = static_cast<int16_t>((w - kStageWidth) / 2),
            oy = static_cast<int16_t>((h - kStageHeight) / 2);
    if (ox < 0 || oy < 0) ox = oy = 0;
    // Floating panels move with the stage, so that they keep their place on it.
    const int dh = ox - origin.h, dv = oy - origin.v;
    origin = kelPoint{ox, oy};
    stage = kelRect(ox, oy, ox + kStageWidth, oy + kStageHeight);
    if (ready && (image.size.h < w || image.size.v < h))
        ready =
            image.allocate(kelOffmapDefaultDepth, std::max(w, image.size.h), std::max(h, image.size.v), -1);
    for (int16_t i = 0; i < count; ++i) {
        PWPanelClass* p = panel(i);
        if (!p) continue;
        PanelLink& link = links[static_cast<size_t>(i)];
        link.limit = stage;
        if (!link.draggable) {
            kelRect placed(0, 0, w, h);
            placed.offset(link.position.h + origin.h, link.position.v + origin.v);
            for (KelLayout* layout : p->layouts)
                if (layout) layout->bounds = placed;
            p->calc();
            continue;
        }
        moveLayouts(p, dh, dv);
        keepInside(i);
    }
}

void PWScreenClass::keepInside(int16_t index)
{
    PWPanelClass* p = panel(index);
    if (!p || !links[static_cast<size_t>(index)].draggable) return;
    const kelRect& limit = links[static_cast<size_t>(index)].limit;
    const kelRect back = p->background()->rect;
    if (limit.isEmpty() || limit.contains(back)) return;
    // Back over the stage; a panel larger than the stage keeps its top-left corner on it.
    int dh = std::min(0, limit.right - back.right), dv = std::min(0, limit.bottom - back.bottom);
    dh = std::max(dh, limit.left - back.left);
    dv = std::max(dv, limit.top - back.top);
    moveLayouts(p, dh, dv);
}

void PWScreenClass::moveLayouts(PWPanelClass* p, int dh, int dv)
{
    if (dh == 0 && dv == 0) return;
    for (KelLayout* layout : p->layouts)
        if (layout) layout->bounds.offset(dh, dv);
    p->calc();
}

void PWScreenClass::setPosition(int16_t index, const kelRect* rect)
{
    PWPanelClass* p = panel(index);
    if (!p || !rect || !links[static_cast<size_t>(index)].draggable) return;
    for (KelLayout* layout : p->layouts)
        if (layout) layout->bounds = *rect;
    p->calc();
    keepInside(index);
}

void PWScreenClass::setPanelPosition(int16_t index, int16_t x, int16_t y)
{
    PWPanelClass* p = panel(index);
    if (!p) return;
    kelRect r = p->background()->rect;
    r.offset(x + origin.h - r.left, y + origin.v - r.top);
    setPosition(index, &r);
}

void PWScreenClass::setPanelPositionCentered(int16_t index)
{
    PWPanelClass* main = panel(0);
    PWPanelClass* p = panel(index);
    if (!main || !p) return;
    const kelRect& m = main->background()->rect;
    const kelRect& b = p->background()->rect;
    setPanelPosition(index, static_cast<int16_t>(m.width() / 2 - b.width() / 2),
                     static_cast<int16_t>(m.height() / 2 - b.height() / 2));
}

void PWScreenClass::doDragPanel(int16_t index)
{
    PWPanelClass* p = panel(index);
    if (!p) return;
    const kelRect& limit = links[static_cast<size_t>(index)].limit;
    const int16_t pressX = kelGlo.mouseX, pressY = kelGlo.mouseY;
    const kelRect startBack = p->background()->rect;
    kelRect startBounds[3];
    for (int k = 0; k < 3; ++k)
        if (p->layouts[k]) startBounds[k] = p->layouts[k]->bounds;
    int16_t lastX = pressX, lastY = pressY;
    kelRect oldBack = startBack;
    while (kelTrackMouse()) {
        if (kelGlo.mouseX == lastX && kelGlo.mouseY == lastY) continue;
        lastX = kelGlo.mouseX;
        lastY = kelGlo.mouseY;
        // The panel follows the mouse but stays on the stage (its top-left
        // corner first when it is larger than the stage).
        int dh = kelGlo.mouseX - pressX, dv = kelGlo.mouseY - pressY;
        dh = std::max(std::min(dh, limit.right - startBack.right), limit.left - startBack.left);
        dv = std::max(std::min(dv, limit.bottom - startBack.bottom), limit.top - startBack.top);
        for (int k = 0; k < 3; ++k) {
            if (!p->layouts[k]) continue;
            p->layouts[k]->bounds = startBounds[k];
            p->layouts[k]->bounds.offset(dh, dv);
        }
        p->calc();
        const kelRect newBack = p->background()->rect;
        if (newBack == oldBack) continue;
        kelRect area = unionOf(oldBack, newBack);
        kelRect overlay;
        if (help && help->overlayRect(overlay)) area = unionOf(area, overlay);
        update(&area);
        oldBack = newBack;
    }
}

void PWScreenClass::changeAllColors(int16_t scheme)
{
    for (int16_t i : {0, 1, 2, 4}) {
        PWPanelClass* p = panel(i);
        kelPanelControl* back = p ? p->background() : nullptr;
        if (back && back->kind == kelKindBackpane) back->set(scheme);
    }
}

void PWScreenClass::openWindow(const kelRect* last)
{
    kelMonitorInfo monitor{};
    KEL_GetMonitorInfo(&monitor);
    // Where it was last; filling the display again when it did (or never closed).
    const int w = last ? last->right - last->left : 0, h = last ? last->bottom - last->top : 0;
    if (w >= kMinWindowWidth && h >= kMinWindowHeight && (w < monitor.width || h < monitor.height)) {
        KEL_NewWindow(0, static_cast<int16_t>(w), static_cast<int16_t>(h));
        KEL_PlaceWindow(last->left, last->top);
    } else {
        KEL_NewWindow(1, monitor.width, monitor.height);
    }
    KEL_SetWindowTitle("Beatloom 2.0");
    resized();
}

void PWScreenClass::closeWindow()
{
    KEL_CloseWindow();
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
