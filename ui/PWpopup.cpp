#include "ui/PWpopup.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"
#include "ui/kelPanel.h"

namespace {

// Colours of the closed box and of the open list (screen pixels, 5-5-5).
constexpr int16_t kBoxEdge = 0x14A5;
constexpr int16_t kRowFill = 0x14A0;
constexpr int16_t kRowLine = 0x5280;
constexpr int16_t kRowLit = 0x2940;

// Ticks a press must last before the list opens, between two scroll steps
// at an end of the list, and per blink of the chosen row.
constexpr uint32_t kOpenDelay = 6;
constexpr long kScrollTicks = 5;
constexpr uint32_t kBlinkTicks = 5;
constexpr int kBlinkRounds = 6;

kelRect inset(const kelRect& r, int by)
{
    return kelRect(r.left + by, r.top + by, r.right - by, r.bottom - by);
}

}  // namespace

void PWpopupControl::setup()
{
    kelPaCoStd_StaticCast::setup();
    hideText = aux(1) != 0 ? 1 : 0;
    insetX = aux(2);
    offsetY = static_cast<int16_t>(aux(3) - 1);
    for (int16_t i = 0; i < 9; ++i) {
        images[i] = itemImage(i);
        masks[i] = itemMask(i);
    }
    fit = fill = reportOnPress = 0;
    fillColour = 0;
    focusable = 0;
}

void PWpopupControl::draw()
{
    if (panelVisible()) PWScreen.updateFrom(panel, index, &rect);
}

void PWpopupControl::setValue(int16_t i, char* text)
{
    if (!text || !text[0] || i < 0 || i >= kMaxItems) return;
    std::snprintf(items[i], sizeof items[i], "%s", kelShownText(text).c_str());
    count = static_cast<int16_t>(i + 1);
}

void PWpopupControl::getValue(int16_t i, char* text)
{
    if (!text || i < 0 || i >= kMaxItems) return;
    std::strcpy(text, items[i]);
}

void PWpopupControl::setValue(char* text)
{
    if (!text) return;
    const std::string shown = kelShownText(text);
    int16_t found = -1;
    for (int16_t i = 0; i < count; ++i)
        if (shown == items[i]) found = i;
    if (found >= 0) setValue(found);
}

void PWpopupControl::getValue(char* text)
{
    if (!text) return;
    if (value >= 0 && value < count)
        std::strcpy(text, items[value]);
    else
        text[0] = '\0';
}

void PWpopupControl::setValue(int16_t v)
{
    value = std::clamp<int16_t>(v, 0, std::max<int16_t>(static_cast<int16_t>(count - 1), 0));
    draw();
}

void PWpopupControl::setValue(int16_t i, int16_t v)
{
    switch (i) {
        case kelPropFit: fit = v ? 1 : 0; return;
        case kelPropFill: fill = v ? 1 : 0; return;
        case kelPropFillColour: fillColour = v; return;
        case kelPropReportOnPress: reportOnPress = v ? 1 : 0; return;
        case kelPropDrawNow: break;
        default: return;
    }
    // The closed box.
    const int16_t l = rect.left, t = rect.top, r = static_cast<int16_t>(rect.right - 1),
                  b = static_cast<int16_t>(rect.bottom - 1);
    PWScreen.fillToUpdate(&rect, 0);
    PWScreen.lineToUpdate(l, t, l, rect.bottom, kBoxEdge);
    PWScreen.lineToUpdate(r, t, r, rect.bottom, kBoxEdge);
    PWScreen.lineToUpdate(l, t, rect.right, t, kBoxEdge);
    PWScreen.lineToUpdate(l, b, rect.right, b, kBoxEdge);
    if (fill) {
        const kelRect inner = inset(rect, 1);
        PWScreen.fillToUpdate(&inner, fillColour);
    }
    if (hideText || value < 0 || value >= count) return;
    char shown[kMaxItemText + 1];
    std::snprintf(shown, sizeof shown, "%s", items[value]);
    if (fit) PWFont.stringFitWidth(shown, static_cast<int16_t>(rect.width() - 2 * insetX + 1));
    PWScreen.stringToUpdate(&PWFont, shown, static_cast<int16_t>(l + insetX),
                            static_cast<int16_t>(t + offsetY), 0, true);
}

void PWpopupControl::idleLive()
{
    if (!panel) return;
    panel->liveChange = 1;
    panel->onIdle();
    panel->liveChange = 0;
}

bool PWpopupControl::click()
{
    const uint32_t press = kelGlo.ticks;
    if (reportOnPress && panel) {
        panel->liveChange = 1;
        panel->onItem();
        panel->liveChange = 0;
    }
    // Held past the delay: the list opens under the mouse and the release
    // chooses. Released sooner: a click, and the list stays open until a row
    // is clicked or chosen with the keys, or a click outside or Escape.
    bool held = false;
    for (;;) {
        if (!kelTrackMouse()) break;
        if (kelGlo.ticks - press > kOpenDelay) {
            held = true;
            break;
        }
        idleLive();
    }
    // A choice was handed to the panel as it was made (reportNow).
    runList(held);
    return false;
}

void PWpopupControl::placeList(OpenList& list) const
{
    const int h = rect.height();
    const int16_t shown = value;
    list.first = list.last = shown;
    while (list.first > 0 && rect.top - (shown - list.first) * h > 2 * h) --list.first;
    while (list.last < count - 1 && rect.top + (list.last - shown) * h < kelGlo.screenHeight - 2 * h)
        ++list.last;
    list.rows = static_cast<int16_t>(list.last - list.first + 1);
    list.origin = kelPoint{rect.left, static_cast<int16_t>(rect.top - (shown - list.first) * h)};
}

void PWpopupControl::findHover(OpenList& list) const
{
    const int h = rect.height();
    list.hover = -1;
    for (int16_t r = list.first; r <= list.last; ++r) {
        const int top = list.origin.v + (r - list.first) * h;
        if (kelGlo.mouseX > list.origin.h && kelGlo.mouseX < list.origin.h + rect.width() &&
            kelGlo.mouseY > top && kelGlo.mouseY < top + h)
            list.hover = r;
    }
    list.selection = list.hover >= 0 && !isSeparator(list.hover) ? list.hover : -1;
}

int16_t PWpopupControl::runList(bool held)
{
    if (count <= 0 || rect.height() <= 0 || rect.width() <= 0) {
        while (held && kelTrackMouse()) idleLive();
        return -1;
    }
    if (value >= count) value = static_cast<int16_t>(count - 1);
    OpenList list;
    placeList(list);
    const int h = rect.height();
    if (!list.image.allocate(kelOffmapDefaultDepth, rect.width(), static_cast<int16_t>(list.rows * h), -1)) {
        while (held && kelTrackMouse()) idleLive();
        return -1;
    }
    const kelRect area(list.origin.h, list.origin.v, list.origin.h + rect.width(),
                       list.origin.v + list.rows * h);
    const int16_t chosen = held ? trackHeld(list) : trackOpen(list, area);
    if (chosen >= 0) {
        // The choice acts at the release; the blink only shows it.
        value = chosen;
        reportNow();
        for (int round = 0; round < kBlinkRounds; ++round) {
            drawPopOpen(list, round % 2 == 1 ? -1 : chosen);
            const uint32_t shown = kelGlo.ticks;
            while (kelGlo.ticks - shown <= kBlinkTicks) {
                KEL_ButtonDown();
                idleLive();
                KEL_PollPause();
            }
        }
    }
    list.image.dispose();
    PWScreen.update(&area);
    return chosen;
}

bool PWpopupControl::scrollAtEnds(OpenList& list, int& atEnd, long& deadline) const
{
    int end = 0;
    if (list.hover == list.first && list.first > 0) end = -1;
    if (list.hover == list.last && list.last < count - 1) end = 1;
    if (end != atEnd) {
        atEnd = end;
        deadline = static_cast<long>(static_cast<int32_t>(kelGlo.ticks + kScrollTicks));
        return false;
    }
    if (end == 0 || !KEL_EveTimeoutRepeated(&deadline, kScrollTicks)) return false;
    list.first = static_cast<int16_t>(list.first + end);
    list.last = static_cast<int16_t>(list.last + end);
    findHover(list);
    return true;
}

bool PWpopupControl::onArrowRow(const OpenList& list, int16_t row) const
{
    return (row == list.first && list.first > 0) || (row == list.last && list.last < count - 1);
}

int16_t PWpopupControl::trackHeld(OpenList& list)
{
    long scrollDeadline = 0;
    int atEnd = 0;  // -1 on the top row, 1 on the bottom row, while it can scroll
    int16_t drawnFirst = -1, drawnHover = -2;
    do {
        findHover(list);
        scrollAtEnds(list, atEnd, scrollDeadline);
        if (list.first != drawnFirst || list.hover != drawnHover) {
            drawPopOpen(list, -2);
            drawnFirst = list.first;
            drawnHover = list.hover;
        }
        idleLive();
    } while (kelTrackMouse());
    findHover(list);
    return onArrowRow(list, list.selection) ? -1 : list.selection;
}

void PWpopupControl::stepSelection(OpenList& list, int step) const
{
    int16_t row = list.selection >= 0 ? list.selection : value;
    for (int16_t next = static_cast<int16_t>(row + step); next >= 0 && next < count;
         next = static_cast<int16_t>(next + step)) {
        if (isSeparator(next)) continue;
        row = next;
        break;
    }
    list.selection = list.hover = row;
    // The chosen row is always a whole row, never under an arrow row.
    while (row <= list.first && list.first > 0) {
        --list.first;
        --list.last;
    }
    while (row >= list.last && list.last < count - 1) {
        ++list.first;
        ++list.last;
    }
}

int16_t PWpopupControl::trackOpen(OpenList& list, const kelRect& area)
{
    long scrollDeadline = 0;
    int atEnd = 0;
    list.selection = list.hover = value;
    drawPopOpen(list, value);
    int16_t drawnFirst = list.first, drawnLit = value;
    for (;;) {
        if (KEL_TerminateRequested()) return -1;
        bool moved = false;
        if (KEL_PollInput()) {
            if (kelGlo.what == kelMouseDown) {
                if (!area.contains(kelGlo.mouseX, kelGlo.mouseY)) {
                    // A click outside closes the menu; the click goes no further.
                    while (kelTrackMouse()) idleLive();
                    return -1;
                }
                // Pressed on a row: the release chooses the row under the mouse.
                const int16_t choice = trackHeld(list);
                if (choice >= 0) return choice;
                findHover(list);
                drawnLit = -3;
            } else if (kelGlo.what == kelKeyDown || kelGlo.what == kelAutoKey) {
                if (kelGlo.specialKey == 20) return -1;  // Escape
                if (kelGlo.keyChar == kelArrowUp) stepSelection(list, -1);
                if (kelGlo.keyChar == kelArrowDown) stepSelection(list, 1);
                if (kelGlo.keyChar == kelKeyReturn && list.selection >= 0 &&
                    !onArrowRow(list, list.selection))
                    return list.selection;
            } else if (kelGlo.what == kelKeyUp) {
                PWScreen.keyHeld[kelGlo.keyChar] = 0;
            } else {
                moved = true;
            }
        }
        if (moved) {
            findHover(list);
            if (list.hover >= 0)
                list.selection = list.hover;
            else if (!area.contains(kelGlo.mouseX, kelGlo.mouseY))
                list.selection = -1;
        }
        if (moved || atEnd != 0) scrollAtEnds(list, atEnd, scrollDeadline);
        const int16_t lit = list.selection >= 0 && !isSeparator(list.selection) ? list.selection : -1;
        if (list.first != drawnFirst || lit != drawnLit) {
            drawPopOpen(list, lit);
            drawnFirst = list.first;
            drawnLit = lit;
        }
        idleLive();
        KEL_PollPause();
    }
}

void PWpopupControl::drawPopOpen(OpenList& list, int16_t mode) const
{
    const int h = rect.height();
    for (int16_t r = list.first; r <= list.last; ++r) {
        const kelRect box(0, (r - list.first) * h, rect.width(), (r - list.first + 1) * h);
        drawPopOpenItem(list, r, box, mode == -2 ? r == list.hover : r == mode);
    }
    kelRect at = list.image.bounds;
    at.offset(list.origin.h, list.origin.v);
    PWScreen.showOnTop(&list.image, &list.image.bounds, &at);
}

void PWpopupControl::drawPopOpenItem(OpenList& list, int16_t row, const kelRect& box, bool highlighted) const
{
    kelOffmap& into = list.image;
    const bool upArrow = row == list.first && row != 0;
    const bool downArrow = !upArrow && row == list.last && row != count - 1;
    const int16_t l = box.left, t = box.top, r = static_cast<int16_t>(box.right - 1),
                  b = static_cast<int16_t>(box.bottom - 1);
    into.fill(&box, kRowFill);
    into.line(l, t, l, box.bottom, kRowLine);
    into.line(r, t, r, box.bottom, kRowLine);
    if (upArrow || row == 0) into.line(l, t, box.right, t, kRowLine);
    if (downArrow || row == count - 1) into.line(l, b, box.right, b, kRowLine);
    if (upArrow || downArrow) {
        // A small triangle, its narrow end toward the rows it scrolls to.
        for (int k = 0; k < 4; ++k) {
            const int16_t y = static_cast<int16_t>(upArrow ? t + 4 + k : box.bottom - 4 - k);
            into.line(static_cast<int16_t>(l + 8 - k), y, static_cast<int16_t>(l + 9 + k), y, kRowLine);
        }
        return;
    }
    if (isSeparator(row)) {
        const int16_t mid = static_cast<int16_t>(t + box.height() / 2);
        into.line(static_cast<int16_t>(l + 1), mid, static_cast<int16_t>(box.right - 2), mid, kRowLine);
        return;
    }
    if (highlighted) {
        const kelRect lit = inset(box, 1);
        into.fill(&lit, kRowLit);
    }
    char shown[kMaxItemText + 1];
    std::snprintf(shown, sizeof shown, "%s", items[row]);
    if (fit) PWFont.stringFitWidth(shown, static_cast<int16_t>(box.width() - 2 * insetX));
    PWFont.copyMaskString(&into, shown, static_cast<int16_t>(l + insetX), static_cast<int16_t>(t + offsetY),
                          0);
}
