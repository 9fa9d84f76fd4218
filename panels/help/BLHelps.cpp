#include "panels/help/BLHelps.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "control/BLPlayer.h"
#include "core/BLInternational.h"
#include "core/kelBytes.h"
#include "core/kelCore.h"
#include "core/kelRes.h"
#include "core/kelTextFile.h"
#include "library/BLprefs.h"
#include "panels/help/BLGuide.h"
#include "ui/PWPanel.h"

BLHelps* blHelpp = nullptr;

namespace {

constexpr char kHelpFile[] = "Helps.txt";
constexpr char kPagesFile[] = "BLHelps.xrs";
constexpr int16_t kLineStep = 12;
// The tour's ring round the control it explains, and the plain tooltip.
constexpr int16_t kRingColour = 0x7EA7;  // the accent, #ffb43c
constexpr int16_t kTipGround = 0x1085;   // #23262d
constexpr int16_t kTipEdge = 0x4654;     // #8d96a3
constexpr int16_t kTipPad = 5;

// Lines end in CR, LF or CR LF (a table edited by hand).
std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool toInt(const std::string& field, long low, long high, long& out)
{
    if (field.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(field.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    out = v;
    return true;
}

kelRect grown(kelRect r, int by)
{
    return kelRect(r.left - by, r.top - by, r.right + by, r.bottom + by);
}

kelRect unionOf(const kelRect& a, const kelRect& b)
{
    return kelRect(std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                   std::max(a.bottom, b.bottom));
}

// Moves a rectangle (and a point with it) the least distance that brings it
// inside the window.
void keepInside(const kelRect& window, kelRect& r, kelPoint* with)
{
    int dh = 0, dv = 0;
    if (r.right > window.right) dh = window.right - r.right;
    if (r.left + dh < window.left) dh = window.left - r.left;
    if (r.bottom > window.bottom) dv = window.bottom - r.bottom;
    if (r.top + dv < window.top) dv = window.top - r.top;
    r.offset(dh, dv);
    if (with) {
        with->h = static_cast<int16_t>(with->h + dh);
        with->v = static_cast<int16_t>(with->v + dv);
    }
}

}  // namespace

BLHelps::BLHelps() : entries(new Entry[kMaxEntries]) {}

BLHelps::~BLHelps()
{
    delete[] entries;
    font_.reset();
}

void BLHelps::init(KelCasts* casts, int16_t textSet)
{
    casts_ = casts;
    pagesOpen = pages_.OpenResFile(kPagesFile) ? 1 : 0;
    if (pagesOpen) pages_.ParseResources();
    if (casts) font_.setup(casts, 500);
    guideCast_ = casts ? casts->castAt(casts->MPixIDtoIndex(kGuideButtonCast)) : nullptr;
    if (guideCast_) guideCast_->LoadAvailable();
    if (guideCast_ && !guideCast_->imageLoaded) guideCast_ = nullptr;
    count = 0;
    kelTextFile file;
    bool loaded = file.load(kHelpFile) && loadTable(file.c_str(), textSet);
    if (!loaded && casts && casts->resFile) {
        kelTextFile data;
        if (data.loadResource(casts->resFile, kelFourCC("DATA"), 100 + textSet))
            loaded = loadTable(data.c_str(), 0);
    }
    // A file without this language's table still helps in its first one.
    if (!loaded && file.len() > 0) loadTable(file.c_str(), 0);
    current = -1;
    timer = 0;
    on = 0;
    tooltip = -1;
}

bool BLHelps::loadTable(const std::string& text, int16_t textSet)
{
    count = 0;
    for (Slot& s : slots_) s = Slot{};
    int16_t table = 0;
    bool found = false;
    for (const std::string& line : splitLines(text)) {
        if (line.empty()) {
            if (table++ == textSet) break;
            continue;
        }
        if (table != textSet) continue;
        found = true;
        loadTextEl(line);
    }
    return found;
}

void BLHelps::loadTextEl(const std::string& line)
{
    if (count >= kMaxEntries) return;
    std::vector<std::string> f;
    size_t from = 0;
    for (;;) {
        const size_t at = line.find(']', from);
        f.push_back(line.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) break;
        from = at + 1;
    }
    if (f.size() < 10) return;
    long v[10] = {};
    const long limits[10][2] = {{0, kSlots - 1},
                                {0, 0x7FFFFFFF},
                                {0, PWScreenClass::kPanelCount - 1},
                                {0, 199},
                                {-2000, 2000},
                                {-2000, 2000},
                                {-2000, 2000},
                                {-2000, 2000},
                                {0, 0x7FFF},
                                {0, PWScreenClass::kPanelCount - 1}};
    for (int k = 0; k < 10; ++k) {
        // The tour field is free in tables of roll-over entries only.
        if (k == 9 && f[9].empty()) continue;
        if (!toInt(f[static_cast<size_t>(k)], limits[k][0], limits[k][1], v[k])) return;
    }
    Entry& e = entries[count];
    e = Entry{};
    e.slot = static_cast<int16_t>(v[0]);
    e.castID = static_cast<int32_t>(v[1]);
    e.panel = static_cast<int16_t>(v[2]);
    e.item = static_cast<int16_t>(v[3]);
    e.bubble = kelPoint{static_cast<int16_t>(v[4]), static_cast<int16_t>(v[5])};
    e.text = kelPoint{static_cast<int16_t>(v[6]), static_cast<int16_t>(v[7])};
    e.rollover = v[8] != 0 ? 1 : 0;
    e.tour = static_cast<int16_t>(v[9]);
    for (size_t k = 10; k < f.size() && e.lineCount < kMaxLines; ++k) {
        std::snprintf(e.lines[e.lineCount], sizeof e.lines[0], "%s", f[k].c_str());
        ++e.lineCount;
    }
    loadSlot(e.slot, e.castID);
    ++count;
}

void BLHelps::loadSlot(int16_t slot, int32_t castID)
{
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (s.castID == castID && s.cast) return;
    s.castID = castID;
    s.cast = casts_ ? casts_->castAt(casts_->MPixIDtoIndex(castID)) : nullptr;
    if (s.cast) s.cast->LoadAvailable();
    if (s.cast && !s.cast->imageLoaded) s.cast = nullptr;
}

uint32_t BLHelps::deadline(uint32_t delay) const
{
    const uint32_t at = kelGlo.ticks + delay;
    return at == 0 ? 1 : at;
}

bool BLHelps::timerPassed() const
{
    return timer != 0 && static_cast<int32_t>(kelGlo.ticks - timer) >= 0;
}

// ---- Modes -------------------------------------------------------------------

void BLHelps::start(int16_t mode)
{
    startAt(mode, 0);
}

void BLHelps::startAt(int16_t mode, int16_t first)
{
    on = 1;
    current = first;
    timer = 0;
    rollover = mode ? 1 : 0;
    tooltip = -1;
    if (blPlayer) blPlayer->setHelpModeDisplay(rollover);
    if (!rollover) {
        if (first < 0 || first >= count || entries[first].rollover)
            current = -1;
        else
            PWScreen.show(entries[first].panel);
    } else {
        current = -1;
        timer = deadline(kStepDelay);
    }
    refresh();
}

void BLHelps::stop()
{
    current = 0;
    on = 0;
    timer = 0;
    tooltip = -1;
    refresh();
    if (blPlayer) blPlayer->setHelpModeDisplay(-1);
}

void BLHelps::toggle(int16_t mode)
{
    if (mode == 0) {
        // A help button reached through the screen: the panel it lies on.
        const int16_t panel = panelAt(kelGlo.mouseX, kelGlo.mouseY);
        toggleTour(panel < 0 ? 0 : panel);
        return;
    }
    const uint8_t wanted = 1;
    if (!on) {
        start(wanted);
        return;
    }
    const uint8_t running = rollover;
    stop();
    if (running != wanted) start(wanted);
}

void BLHelps::toggleTour(int16_t panel)
{
    if (on) {
        const bool wasTour = !rollover;
        stop();
        if (wasTour) return;
    }
    // The panel's own tour, else the first one.
    int16_t first = -1;
    for (int16_t i = 0; i < count && first < 0; ++i)
        if (!entries[i].rollover && entries[i].tour == panel) first = i;
    for (int16_t i = 0; i < count && first < 0; ++i)
        if (!entries[i].rollover) first = i;
    startAt(0, first);
}

bool BLHelps::escape()
{
    if (!on) return false;
    stop();
    return true;
}

bool BLHelps::click(int16_t x, int16_t y)
{
    kelRect button;
    if (!guideButton(button) || !button.contains(x, y)) return false;
    BL_OpenGuide();
    return true;
}

void BLHelps::hit(int16_t panel, int16_t item)
{
    if (!on) {
        // A click ends a tooltip; it comes back when the mouse has rested again.
        tooltip = -1;
        tipSearched_ = true;
        refresh();
        return;
    }
    if (rollover || current < 0 || current >= count || timer != 0) return;
    const Entry& e = entries[current];
    if (e.panel != panel || e.item != item) return;
    const int16_t next = static_cast<int16_t>(current + 1);
    if (next >= count || entries[next].rollover || entries[next].tour != e.tour) return;
    timer = deadline(kStepDelay);
}

void BLHelps::idle()
{
    if (!on) {
        tooltipIdle();
    } else if (timerPassed()) {
        if (!rollover) {
            ++current;
            timer = 0;
        } else {
            rolloverFind();
        }
    }
    refresh();
}

void BLHelps::rolloverFind()
{
    const int16_t found = entryAtMouse();
    if (found >= 0) {
        current = found;
        timer = deadline(kFollowDelay);
    } else {
        current = -1;
    }
    refresh();
}

void BLHelps::setTooltips(bool wanted)
{
    blPrefs.tooltips = wanted ? 1 : 0;
    if (!wanted) tooltip = -1;
    refresh();
}

// ---- Where things are ----------------------------------------------------------

int16_t BLHelps::panelAt(int16_t x, int16_t y)
{
    auto takes = [&](int16_t i) {
        const PWPanelClass* p = PWScreen.panel(i);
        return PWScreen.isVisible(i) && p->backgroundHit(x, y);
    };
    if (PWScreen.modalPanel != -1) return takes(PWScreen.modalPanel) ? PWScreen.modalPanel : -1;
    for (int16_t i = static_cast<int16_t>(PWScreen.count - 1); i >= 0; --i)
        if (takes(i)) return i;
    return -1;
}

int16_t BLHelps::entryAtMouse() const
{
    const int16_t x = kelGlo.mouseX, y = kelGlo.mouseY;
    const int16_t panel = panelAt(x, y);
    if (panel < 0) return -1;
    const PWPanelClass* p = PWScreen.panel(panel);
    for (int16_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        if (!e.rollover || e.panel != panel) continue;
        const kelPanelControl* c = p->control(e.item);
        if (c && c->visible && c->rect.contains(x, y)) return i;
    }
    return -1;
}

bool BLHelps::placeOf(int16_t index, kelRect& bubble, kelPoint& text, kelRect& control) const
{
    if (index < 0 || index >= count) return false;
    const Entry& e = entries[index];
    const PWPanelClass* p = PWScreen.panel(e.panel);
    const kelPanelControl* c = p && PWScreen.isVisible(e.panel) ? p->control(e.item) : nullptr;
    if (!c || !c->visible || c->rect.isEmpty()) return false;
    control = c->rect;
    const int16_t cx = static_cast<int16_t>(control.left + control.width() / 2);
    const int16_t cy = static_cast<int16_t>(control.top + control.height() / 2);
    if (panelAt(cx, cy) != e.panel) return false;
    const Slot& s = slots_[static_cast<size_t>(e.slot)];
    bubble = s.cast ? s.cast->image.bounds : kelRect(0, 0, 1, 1);
    bubble.offset(cx + e.bubble.h, cy + e.bubble.v);
    text = kelPoint{static_cast<int16_t>(cx + e.text.h), static_cast<int16_t>(cy + e.text.v)};
    keepInside(PWScreen.windowRect, bubble, &text);
    return true;
}

bool BLHelps::opensTour(int16_t index) const
{
    if (index < 0 || index >= count || entries[index].rollover) return false;
    return index == 0 || entries[index - 1].rollover || entries[index - 1].tour != entries[index].tour;
}

bool BLHelps::guideButton(kelRect& button) const
{
    kelRect bubble, control;
    kelPoint text;
    if (!on || rollover || !guideCast_ || !opensTour(current) || !placeOf(current, bubble, text, control))
        return false;
    // In the corner, as far from its edges as the text is.
    button = guideCast_->image.bounds;
    button.offset(bubble.right - (text.h - bubble.left) - button.width(),
                  bubble.bottom - (text.v - bubble.top) - button.height());
    return true;
}

bool BLHelps::tooltipPlace(kelRect& box) const
{
    if (tooltip < 0 || tooltip >= count) return false;
    const Entry& e = entries[tooltip];
    int16_t width = 0;
    for (int16_t k = 0; k < e.lineCount; ++k) width = std::max(width, font_.stringWidth(e.lines[k]));
    const int16_t height = static_cast<int16_t>(2 * kTipPad + (e.lineCount - 1) * kLineStep + font_.height);
    // Below the pointer, clear of its arrow.
    box = kelRect(0, 0, static_cast<int16_t>(width + 2 * kTipPad), height);
    box.offset(lastMouse_.h, lastMouse_.v + 20);
    keepInside(PWScreen.windowRect, box, nullptr);
    return true;
}

bool BLHelps::overlayNow(kelRect& rect) const
{
    if (!on) return tooltipPlace(rect);
    kelRect bubble, control;
    kelPoint text;
    if (!placeOf(current, bubble, text, control)) return false;
    rect = bubble;
    if (!rollover) {
        rect = unionOf(rect, grown(control, 3));
    }
    return true;
}

bool BLHelps::overlayRect(kelRect& rect)
{
    return overlayNow(rect);
}

void BLHelps::refresh()
{
    kelRect now;
    const bool shown = overlayNow(now);
    if (shown == drawnShown_ && (!shown || now == drawn_)) return;
    const kelRect before = drawn_;
    const bool wasShown = drawnShown_;
    drawn_ = now;
    drawnShown_ = shown;
    if (wasShown) PWScreen.update(&before);
    if (shown) PWScreen.update(&now);
}

// ---- Tooltips ----------------------------------------------------------------------

void BLHelps::panHidden(int16_t index)
{
    if (on || tooltip < 0 || tooltip >= count || entries[tooltip].panel != index) return;
    tooltip = -1;
    refresh();
}

void BLHelps::tooltipIdle()
{
    const kelPoint mouse{kelGlo.mouseX, kelGlo.mouseY};
    if (mouse.h != lastMouse_.h || mouse.v != lastMouse_.v) {
        lastMouse_ = mouse;
        restSince_ = kelGlo.ticks;
        tipSearched_ = false;
        // The tooltip stays while the mouse stays on its control.
        if (tooltip >= 0) {
            const Entry& e = entries[tooltip];
            const PWPanelClass* p = PWScreen.panel(e.panel);
            const kelPanelControl* c = p ? p->control(e.item) : nullptr;
            if (!c || !c->rect.contains(mouse.h, mouse.v) || panelAt(mouse.h, mouse.v) != e.panel)
                tooltip = -1;
        }
    }
    if (kelGlo.buttonDown) {
        tooltip = -1;
        tipSearched_ = true;
        return;
    }
    if (tooltip >= 0 || tipSearched_ || !blPrefs.tooltips) return;
    if (static_cast<int32_t>(kelGlo.ticks - restSince_) < static_cast<int32_t>(kTooltipRest)) return;
    tipSearched_ = true;
    tooltip = entryAtMouse();
    // A panel's own hint line already says it.
    if (tooltip >= 0 && PWScreen.panel(entries[tooltip].panel)->hasHintLine()) tooltip = -1;
}

// ---- Drawing ------------------------------------------------------------------------

void BLHelps::updateOffmap()
{
    if (!on) {
        kelRect box;
        if (!tooltipPlace(box)) return;
        const Entry& e = entries[tooltip];
        PWScreen.fillToUpdate(&box, kTipEdge);
        const kelRect inner = grown(box, -1);
        PWScreen.fillToUpdate(&inner, kTipGround);
        for (int16_t k = 0; k < e.lineCount; ++k)
            PWScreen.stringToUpdate(&font_, e.lines[k], static_cast<int16_t>(box.left + kTipPad),
                                    static_cast<int16_t>(box.top + kTipPad + k * kLineStep), 0, true);
        return;
    }
    kelRect bubble, control;
    kelPoint text;
    if (!placeOf(current, bubble, text, control)) return;
    const Entry& e = entries[current];
    if (!rollover) {
        // A ring round the control the step explains.
        kelRect ring = grown(control, 3);
        for (int16_t k = 0; k < 2; ++k) {
            const kelRect edges[4] = {
                {ring.left, ring.top, ring.right, static_cast<int16_t>(ring.top + 1)},
                {ring.left, static_cast<int16_t>(ring.bottom - 1), ring.right, ring.bottom},
                {ring.left, ring.top, static_cast<int16_t>(ring.left + 1), ring.bottom},
                {static_cast<int16_t>(ring.right - 1), ring.top, ring.right, ring.bottom}};
            for (const kelRect& edge : edges) PWScreen.fillToUpdate(&edge, kRingColour);
            ring = grown(ring, -1);
        }
    }
    const Slot& s = slots_[static_cast<size_t>(e.slot)];
    if (s.cast) {
        if (s.cast->maskLoaded)
            PWScreen.copyMaskToUpdate(&s.cast->image, &s.cast->image.bounds, &s.cast->mask,
                                      &s.cast->mask.bounds, &bubble, 256);
        else
            PWScreen.copyToUpdate(&s.cast->image, &s.cast->image.bounds, &bubble);
    }
    if (kelRect button; guideButton(button)) {
        if (guideCast_->maskLoaded)
            PWScreen.copyMaskToUpdate(&guideCast_->image, &guideCast_->image.bounds, &guideCast_->mask,
                                      &guideCast_->mask.bounds, &button, 256);
        else
            PWScreen.copyToUpdate(&guideCast_->image, &guideCast_->image.bounds, &button);
        const kelText word = blIntl.message(kMsgGuideButton);
        PWScreen.stringToUpdate(&PWFont, word.c_str(), static_cast<int16_t>((button.left + button.right) / 2),
                                static_cast<int16_t>(button.top + (button.height() - PWFont.height) / 2), 1,
                                true);
    }
    if (pagesOpen) {
        if (KelOneCast* page = pages_.castAt(pages_.MPixIDtoIndex(kPageBase + current))) {
            page->LoadAvailable();
            if (page->imageLoaded) {
                kelRect at = page->image.bounds;
                at.offset(text.h, text.v);
                if (page->maskLoaded)
                    PWScreen.copyMaskToUpdate(&page->image, &page->image.bounds, &page->mask,
                                              &page->mask.bounds, &at, 256);
                else
                    PWScreen.copyToUpdate(&page->image, &page->image.bounds, &at);
                return;
            }
        }
    }
    for (int16_t k = 0; k < e.lineCount; ++k)
        if (e.lines[k][0])
            PWScreen.stringToUpdate(&font_, e.lines[k], text.h, static_cast<int16_t>(text.v + k * kLineStep),
                                    0, true);
}

void BL_HelpButton(int16_t panel)
{
    if (blHelpp) blHelpp->toggleTour(panel);
}
