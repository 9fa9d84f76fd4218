#include "ui/kelPanStdCtrls.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/kelCasts.h"
#include "core/kelCore.h"
#include "core/kelLayouts.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"
#include "ui/kelPanel.h"

void kelRefreshControl(kelPanelControl* control)
{
    if (!control || !control->visible || !control->panelVisible()) return;
    PWScreen.update(&control->rect);
}

// ---------------------------------------------------------------------------
// Texts

void kelPaCoStd_StaticString::draw()
{
    kelRefreshControl(this);
}

void kelPaCoStd_StaticString::setValue(int16_t v)
{
    char number[16];
    std::snprintf(number, sizeof number, "%0d", v);
    setValue(number);
}

void kelPaCoStd_StaticString::setValue(char* text)
{
    std::snprintf(text_, sizeof text_, "%s", kelShownText(text).c_str());
    draw();
}

void kelPaCoStd_StaticString::getValue(char* text)
{
    if (text) std::strcpy(text, text_);
}

void kelPaCoStd_StaticString::drawText(int16_t align)
{
    std::string s = shown();
    std::vector<char> fitted(s.begin(), s.end());
    fitted.push_back('\0');
    PWFont.stringFitWidth(fitted.data(), static_cast<int16_t>(rect.width() - 4));
    const int16_t y = static_cast<int16_t>(rect.top + (rect.height() - PWFont.height) / 2);
    const int16_t x =
        align == 1 ? static_cast<int16_t>(rect.left + rect.width() / 2) : static_cast<int16_t>(rect.left + 2);
    PWScreen.stringToUpdate(&PWFont, fitted.data(), x, y, align, true);
}

void kelPaCoStd_StaticString::drawBox(int16_t face)
{
    PWScreen.fillToUpdate(&rect, face);
    const int16_t r = static_cast<int16_t>(rect.right - 1), b = static_cast<int16_t>(rect.bottom - 1);
    PWScreen.lineToUpdate(rect.left, rect.top, r, rect.top, kelStdEdge);
    PWScreen.lineToUpdate(r, rect.top, r, b, kelStdEdge);
    PWScreen.lineToUpdate(r, b, rect.left, b, kelStdEdge);
    PWScreen.lineToUpdate(rect.left, b, rect.left, rect.top, kelStdEdge);
}

void kelPaCoStd_StaticString::setValue(int16_t i, int16_t)
{
    if (i == kelPropDrawNow) drawText(0);
}

// ---------------------------------------------------------------------------
// Buttons, radios, checks, numbers

bool kelPaCoStd_StandardButton::click()
{
    if (!focused && panel) panel->select(index);
    pressed_ = 1;
    draw();
    while (kelTrackMouse()) {
    }
    pressed_ = 0;
    draw();
    return rect.contains(kelGlo.mouseX, kelGlo.mouseY);
}

void kelPaCoStd_StandardButton::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    drawBox(pressed_ ? kelStdLit : kelStdFace);
    drawText(1);
}

void kelPaCoStd_StandardRadio::setup()
{
    radioValue = aux(1);
    group = aux(2);
}

void kelPaCoStd_StandardRadio::setValue(int16_t v)
{
    if (!panel) return;
    for (int16_t i = 0; i < panel->controlCount; ++i) {
        auto* r = dynamic_cast<kelPaCoStd_StandardRadio*>(panel->control(i));
        if (!r || !r->active || r->kind != kind || r->group != group) continue;
        r->on = r->radioValue == v ? 1 : 0;
        r->statusChanged();
    }
}

void kelPaCoStd_StandardRadio::getValue(int16_t& v)
{
    v = 0;
    if (!panel) return;
    for (int16_t i = 0; i < panel->controlCount; ++i) {
        auto* r = dynamic_cast<kelPaCoStd_StandardRadio*>(panel->control(i));
        if (r && r->kind == kind && r->group == group && r->on == 1) v = r->radioValue;
    }
}

bool kelPaCoStd_StandardRadio::click()
{
    if (!panel) return false;
    if (!focused) panel->select(index);
    if (on) return false;
    setValue(radioValue);
    // One item for the whole group: its radio of value 0.
    for (int16_t i = 0; i < panel->controlCount; ++i) {
        auto* r = dynamic_cast<kelPaCoStd_StandardRadio*>(panel->control(i));
        if (r && r->kind == kind && r->group == group && r->radioValue == 0) {
            panel->hitItem = i;
            break;
        }
    }
    return true;
}

void kelPaCoStd_StandardRadio::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    drawBox(on ? kelStdLit : kelStdFace);
    drawText(1);
}

bool kelPaCoStd_StandardCheck::click()
{
    if (!focused && panel) panel->select(index);
    setValue(static_cast<int16_t>(value == 0));
    return true;
}

void kelPaCoStd_StandardCheck::setValue(int16_t v)
{
    if (v == value) return;
    value = v;
    draw();
}

void kelPaCoStd_StandardCheck::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    drawBox(value ? kelStdLit : kelStdFace);
    drawText(1);
}

void kelPaCoStd_StandardNum::setValue(int16_t v)
{
    value = v;
    kelPaCoStd_StaticString::setValue(v);
}

// ---------------------------------------------------------------------------
// Editable texts

void kelPaCoStd_StandardEditString::setup()
{
    focusable = 1;
    const int16_t limit = aux(1);
    maxLength_ = limit > 0 && limit < kMaxText ? limit : kMaxText;
}

bool kelPaCoStd_StandardEditString::click()
{
    if (!focused && panel) panel->select(index);
    return true;
}

bool kelPaCoStd_StandardEditString::key()
{
    if (!focused) return false;
    const uint8_t c = kelGlo.keyChar;
    const size_t n = std::strlen(text_);
    if (c == '\b' || c == kelKeyDelete) {
        if (n > 0) text_[n - 1] = '\0';
    } else if (c == kelKeyReturn) {
        return true;
    } else if (c != '\t' && accepts(c) && static_cast<int>(n) < maxLength_) {
        text_[n] = static_cast<char>(c);
        text_[n + 1] = '\0';
    } else {
        return false;
    }
    draw();
    return true;
}

void kelPaCoStd_StandardEditString::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    drawBox(focused ? kelStdLit : 0);
    drawText(0);
}

void kelPaCoStd_StandardEditNum::setValue(int16_t v)
{
    kelPaCoStd_StaticString::setValue(v);
}

void kelPaCoStd_StandardEditNum::getValue(int16_t& v)
{
    const long n = std::strtol(text_, nullptr, 10);
    v = static_cast<int16_t>(std::clamp<long>(n, INT16_MIN, INT16_MAX));
}

// ---------------------------------------------------------------------------
// Static cast

void kelPaCoStd_StaticCast::setup()
{
    value = 0;
    active = 1;
}

void kelPaCoStd_StaticCast::setValue(int16_t v)
{
    if (v == value) return;
    value = v;
    if (!layout) return;
    layout->ItemUseIndex(item, v);
    calc();
    draw();
}

void kelPaCoStd_StaticCast::draw()
{
    kelRefreshControl(this);
}

void kelPaCoStd_StaticCast::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow || !layout || !layout->hasItem(item) || !layout->casts) return;
    const kelLayoutWork& w = layout->work[item];
    const KelOneCast* cast = layout->casts->castAt(w.currentCast);
    if (!cast || !cast->imageLoaded) return;
    if (cast->maskLoaded)
        PWScreen.copyMaskToUpdate(&cast->image, &cast->image.bounds, &cast->mask, &cast->mask.bounds,
                                  &w.imageRect, 256);
    else
        PWScreen.copyToUpdate(&cast->image, &cast->image.bounds, &w.imageRect);
}

// ---------------------------------------------------------------------------
// List and level bar

int16_t kelPaCoStd_StandardList::rowHeight() const
{
    return static_cast<int16_t>(std::max<int>(PWFont.height, 8) + 2);
}

void kelPaCoStd_StandardList::draw()
{
    kelRefreshControl(this);
}

bool kelPaCoStd_StandardList::click()
{
    if (!focused && panel) panel->select(index);
    const int row = (kelGlo.mouseY - rect.top) / rowHeight();
    if (row < 0 || row >= static_cast<int>(items.size())) return false;
    setValue(static_cast<int16_t>(row));
    return true;
}

void kelPaCoStd_StandardList::setValue(int16_t v)
{
    value = v >= 0 && v < static_cast<int>(items.size()) ? v : -1;
    draw();
}

void kelPaCoStd_StandardList::setValue(int16_t i, char* text)
{
    if (i < 0 || i >= 180 || !text) return;
    if (static_cast<size_t>(i) >= items.size()) items.resize(static_cast<size_t>(i) + 1);
    items[static_cast<size_t>(i)] = kelShownText(text);
    draw();
}

void kelPaCoStd_StandardList::getValue(int16_t i, char* text)
{
    if (!text) return;
    text[0] = '\0';
    if (i >= 0 && static_cast<size_t>(i) < items.size())
        std::strcpy(text, items[static_cast<size_t>(i)].c_str());
}

void kelPaCoStd_StandardList::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    PWScreen.fillToUpdate(&rect, 0);
    const int16_t h = rowHeight();
    for (size_t r = 0; r < items.size(); ++r) {
        const kelRect row(rect.left, rect.top + static_cast<int>(r) * h, rect.right,
                          rect.top + static_cast<int>(r + 1) * h);
        if (row.bottom > rect.bottom) break;
        if (static_cast<int16_t>(r) == value) PWScreen.fillToUpdate(&row, kelStdLit);
        std::vector<char> fitted(items[r].begin(), items[r].end());
        fitted.push_back('\0');
        PWFont.stringFitWidth(fitted.data(), static_cast<int16_t>(rect.width() - 4));
        PWScreen.stringToUpdate(&PWFont, fitted.data(), static_cast<int16_t>(row.left + 2),
                                static_cast<int16_t>(row.top + 1), 0, true);
    }
}

void kelPaCoStd_StandardLevelBar::draw()
{
    kelRefreshControl(this);
}

void kelPaCoStd_StandardLevelBar::setValue(int16_t v)
{
    v = std::clamp<int16_t>(v, 0, 100);
    if (v == value) return;
    value = v;
    draw();
}

void kelPaCoStd_StandardLevelBar::setValue(int16_t i, int16_t)
{
    if (i != kelPropDrawNow) return;
    PWScreen.fillToUpdate(&rect, kelStdFace);
    kelRect lit = rect;
    lit.right = static_cast<int16_t>(rect.left + rect.width() * value / 100);
    PWScreen.fillToUpdate(&lit, 0x03E0);
}

kelPanelControl* kelNewStandardControl(int16_t kind)
{
    switch (kind) {
        case kelKindStdButton: return new kelPaCoStd_StandardButton;
        case kelKindStdRadio: return new kelPaCoStd_StandardRadio;
        case kelKindStdCheck: return new kelPaCoStd_StandardCheck;
        case kelKindStaticString: return new kelPaCoStd_StaticString;
        case kelKindStdNum: return new kelPaCoStd_StandardNum;
        case kelKindEditString: return new kelPaCoStd_StandardEditString;
        case kelKindEditNum: return new kelPaCoStd_StandardEditNum;
        case kelKindStaticCast: return new kelPaCoStd_StaticCast;
        case kelKindStdList: return new kelPaCoStd_StandardList;
        case kelKindBackpane: return new kelPaCoStd_StandardLevelBar;
        case kelKindEditPassword: return new kelPaCoStd_StandardEditPassword;
        default: return nullptr;
    }
}
