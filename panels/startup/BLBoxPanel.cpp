#include "panels/startup/BLBoxPanel.h"

#include <algorithm>

#include "core/BLInternational.h"
#include "core/kelLayouts.h"
#include "core/kelTextCodec.h"
#include "panels/startup/PWmain.h"
#include "platform/Platform.h"
#include "ui/kelFont.h"

namespace {

enum : int16_t { kItemPlate = 0, kItemButton = 1, kItemTitle = 2, kItemText = 3 };
// The plate's aux values: its shadow (right and below), the corners kept
// whole when it stretches, and its title strip.
enum : int16_t { kAuxShadow = 1, kAuxCorner = 2, kAuxStrip = 3 };

constexpr int16_t kStageMargin = 8;  // room kept free at the stage's edges
constexpr int16_t kMinWidth = 260;   // a box with a short text still reads as one
constexpr int16_t kWordPad = 12;     // beside a button's word
constexpr int16_t kButtonEnds = 8;   // a button's rounded ends, kept whole when it widens
constexpr int16_t kLineGap = 2;

// Source position of destination pixel d when a picture of sourceSize
// stretches to destSize, its first fixA and last fixB pixels kept whole.
int mapAxis(int d, int destSize, int sourceSize, int fixA, int fixB)
{
    if (destSize == sourceSize) return d;
    if (d < fixA) return std::min(d, sourceSize - 1);
    if (d >= destSize - fixB) return std::max(0, sourceSize - (destSize - d));
    const int destMid = destSize - fixA - fixB, sourceMid = sourceSize - fixA - fixB;
    if (destMid <= 0 || sourceMid <= 0) return std::min(d, sourceSize - 1);
    return fixA + (d - fixA) * sourceMid / destMid;
}

// Lines of text no wider than `width` in the skin font: broken at blanks,
// a word too long for a line broken where it must; CR and LF end a line.
std::vector<std::string> wrap(const std::string& text, int16_t width)
{
    std::vector<std::string> lines;
    std::string line;
    auto fits = [width](const std::string& t) { return PWFont.stringWidth(t.c_str()) <= width; };
    size_t i = 0;
    while (i <= text.size()) {
        if (i == text.size() || text[i] == '\n' || text[i] == '\r') {
            lines.push_back(line);
            line.clear();
            if (i + 1 < text.size() && text[i] == '\r' && text[i + 1] == '\n') ++i;
            ++i;
            continue;
        }
        if (text[i] == ' ') {
            if (!line.empty() && fits(line + ' ')) line += ' ';
            ++i;
            continue;
        }
        size_t end = text.find_first_of(" \r\n", i);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(i, end - i);
        i = end;
        if (!line.empty() && !fits(line + word)) {
            while (!line.empty() && line.back() == ' ') line.pop_back();
            lines.push_back(line);
            line.clear();
        }
        while (!fits(line + word)) {
            // A word wider than a line (a path): as much as fits, then the rest below.
            size_t n = 1;
            while (n < word.size() && fits(line + word.substr(0, n + 1))) ++n;
            lines.push_back(line + word.substr(0, n));
            line.clear();
            word.erase(0, n);
        }
        line += word;
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

// Shortened to `width`, ending with the skin font's ellipsis where it was
// cut (or, with `cut` set, because text was left out after it).
void cutToWidth(std::string& text, int width, bool cut)
{
    const std::string ellipsis(1, static_cast<char>(kelFontEllipsis));
    if (!cut && PWFont.stringWidth(text.c_str()) <= width) return;
    while (!text.empty() && PWFont.stringWidth((text + ellipsis).c_str()) > width) text.pop_back();
    text += ellipsis;
}

int16_t widest(const std::vector<std::string>& texts)
{
    int16_t w = 0;
    for (const std::string& t : texts) w = std::max(w, PWFont.stringWidth(t.c_str()));
    return w;
}

}  // namespace

BLBoxPanel::BLBoxPanel(const KelBox& box) : box_(box)
{
    if (!PWScreen.ready || !PWScreen.drawable || !PWFont.parsed) return;
    attachLayouts(kBLBoxLayout, -1, -1, &PWCasts, &PWScreen.stage);
    KelLayout* layout = layouts[0];
    if (!layout || !layout->hasItem(kItemText)) return;
    title_ = KEL_NameToLatin1(box_.title);
    auto word = [](int16_t n) { return std::string(blIntl.message(kBLMsgBoxButtons + n).c_str()); };
    switch (box_.kind) {
        case plat::kBoxOk: buttons_ = {{word(0), {}}}; break;
        case plat::kBoxYesNo: buttons_ = {{word(1), {}}, {word(2), {}}}; break;
        case plat::kBoxYesNoCancel: buttons_ = {{word(1), {}}, {word(2), {}}, {word(3), {}}}; break;
        default:
            for (const std::string& name : box_.names) buttons_.push_back({KEL_NameToLatin1(name), {}});
            break;
    }
    if (buttons_.empty()) return;
    focus_ = static_cast<int16_t>(
        std::clamp<int>(box_.returnAnswer - 1, 0, static_cast<int>(buttons_.size()) - 1));
    layOut();
}

BLBoxPanel::~BLBoxPanel()
{
    if (PWScreen.front == this) PWScreen.front = under_;
}

void BLBoxPanel::layOut()
{
    const KelLayout& layout = *layouts[0];
    const kelOffmap* plate = layout.GetItemImage(kItemPlate, 0);
    const kelOffmap* up = layout.GetItemImage(kItemButton, 1);
    const kelOffmap* lit = layout.GetItemImage(kItemButton, 2);
    if (!plate || !up || !lit) return;
    const kelLayoutItem& buttonItem = layout.data.items[kItemButton];
    const kelPoint textAt = layout.data.items[kItemText].offset;
    const int16_t shadow = layout.itemAuxVal(kItemPlate, kAuxShadow);
    const int16_t corner = layout.itemAuxVal(kItemPlate, kAuxCorner);
    const int16_t strip = layout.itemAuxVal(kItemPlate, kAuxStrip);
    const int16_t gap = buttonItem.offset.h, below = buttonItem.offset.v;
    const int16_t lineStep = static_cast<int16_t>(PWFont.height + kLineGap);

    std::vector<std::string> words;
    for (const Button& b : buttons_) words.push_back(b.word);
    const int16_t buttonW = std::max<int16_t>(up->size.h, static_cast<int16_t>(widest(words) + 2 * kWordPad));
    const int16_t buttonH = up->size.v;
    const int n = static_cast<int>(buttons_.size());
    const int rowW = n * buttonW + (n - 1) * gap;

    // The box never leaves the stage: the text gets the room the rest leaves.
    const kelRect& stage = PWScreen.stage;
    const int maxW = stage.width() - 2 * kStageMargin;
    const int maxTextW = maxW - 2 * textAt.h - shadow;
    const int maxTextH = stage.height() - 2 * kStageMargin - textAt.v - below - buttonH - below - shadow;
    const int maxLines = std::max(1, maxTextH / lineStep);
    const std::string text = KEL_NameToLatin1(box_.text);
    lines_ = wrap(
        text, std::min<int16_t>(layout.data.items[kItemText].frameSize.h, static_cast<int16_t>(maxTextW)));
    if (static_cast<int>(lines_.size()) > maxLines) lines_ = wrap(text, static_cast<int16_t>(maxTextW));
    if (static_cast<int>(lines_.size()) > maxLines) {
        lines_.resize(static_cast<size_t>(maxLines));
        cutToWidth(lines_.back(), maxTextW, true);
    }
    if (lines_.empty()) lines_.push_back("");
    const kelPoint titleAt = layout.data.items[kItemTitle].offset;
    cutToWidth(title_, maxW - 2 * titleAt.h - shadow, false);

    const int contentW =
        std::max({static_cast<int>(widest(lines_)) + 2 * textAt.h, rowW + 2 * textAt.h,
                  PWFont.stringWidth(title_.c_str()) + 2 * titleAt.h, static_cast<int>(kMinWidth)});
    const int w = std::min(contentW, maxW - shadow) + shadow;
    const int h = textAt.v + static_cast<int>(lines_.size()) * lineStep + below + buttonH + below + shadow;
    const int16_t left = static_cast<int16_t>(stage.left + (stage.width() - w) / 2);
    const int16_t top = static_cast<int16_t>(stage.top + (stage.height() - h) / 2);
    area_ = kelRect(left, top, static_cast<int16_t>(left + w), static_cast<int16_t>(top + h));

    int16_t x = static_cast<int16_t>(left + (w - shadow - rowW) / 2);
    const int16_t y = static_cast<int16_t>(area_.bottom - shadow - below - buttonH);
    for (Button& b : buttons_) {
        b.rect = kelRect(x, y, static_cast<int16_t>(x + buttonW), static_cast<int16_t>(y + buttonH));
        x = static_cast<int16_t>(x + buttonW + gap);
    }
    ready_ = stretch(plate, layout.GetItemMask(kItemPlate, 0), static_cast<int16_t>(w),
                     static_cast<int16_t>(h), corner, strip, static_cast<int16_t>(corner + shadow),
                     static_cast<int16_t>(corner + shadow), plate_, plateMask_) &&
             stretch(up, layout.GetItemMask(kItemButton, 1), buttonW, buttonH, kButtonEnds, 0, kButtonEnds, 0,
                     buttonUp_, buttonUpMask_) &&
             stretch(lit, layout.GetItemMask(kItemButton, 2), buttonW, buttonH, kButtonEnds, 0, kButtonEnds,
                     0, buttonLit_, buttonLitMask_);
}

bool BLBoxPanel::stretch(const kelOffmap* image, const kelOffmap* mask, int16_t width, int16_t height,
                         int16_t fixLeft, int16_t fixTop, int16_t fixRight, int16_t fixBottom,
                         kelOffmap& toImage, kelOffmap& toMask) const
{
    if (!toImage.allocate(kelOffmapDefaultDepth, width, height, -1) ||
        !toMask.allocate(kelDepthMask, width, height, -1))
        return false;
    for (int16_t y = 0; y < height; ++y) {
        const auto sy = static_cast<int16_t>(mapAxis(y, height, image->size.v, fixTop, fixBottom));
        for (int16_t x = 0; x < width; ++x) {
            const auto sx = static_cast<int16_t>(mapAxis(x, width, image->size.h, fixLeft, fixRight));
            toImage.setPixel(x, y, image->getPixel(sx, sy));
            toMask.setPixel(x, y, mask ? mask->getPixel(sx, sy) : 0);
        }
    }
    return true;
}

void BLBoxPanel::drawToUpdate()
{
    if (!ready_) return;
    PWScreen.copyMaskToUpdate(&plate_, &plate_.bounds, &plateMask_, &plateMask_.bounds, &area_, 256);
    const KelLayout& layout = *layouts[0];
    const kelPoint titleAt = layout.data.items[kItemTitle].offset;
    const kelPoint textAt = layout.data.items[kItemText].offset;
    PWScreen.stringToUpdate(&PWFont, title_.c_str(), static_cast<int16_t>(area_.left + titleAt.h),
                            static_cast<int16_t>(area_.top + titleAt.v), 0, true);
    const int16_t lineStep = static_cast<int16_t>(PWFont.height + kLineGap);
    for (size_t i = 0; i < lines_.size(); ++i)
        PWScreen.stringToUpdate(&PWFont, lines_[i].c_str(), static_cast<int16_t>(area_.left + textAt.h),
                                static_cast<int16_t>(area_.top + textAt.v + static_cast<int>(i) * lineStep),
                                0, true);
    for (size_t i = 0; i < buttons_.size(); ++i) {
        const Button& b = buttons_[i];
        const bool lit = static_cast<int16_t>(i) == pressed_;
        const kelOffmap& image = lit ? buttonLit_ : buttonUp_;
        const kelOffmap& mask = lit ? buttonLitMask_ : buttonUpMask_;
        PWScreen.copyMaskToUpdate(&image, &image.bounds, &mask, &mask.bounds, &b.rect, 256);
        if (static_cast<int16_t>(i) == focus_) {
            // The focus: a ring in the lit button's own colour, the words staying readable.
            const auto ring = buttonLit_.getPixel(static_cast<int16_t>(buttonLit_.size.h / 2),
                                                  static_cast<int16_t>(buttonLit_.size.v / 2));
            for (int16_t k = 2; k <= 3; ++k) {
                const auto l = static_cast<int16_t>(b.rect.left - k),
                           t = static_cast<int16_t>(b.rect.top - k);
                const auto r = static_cast<int16_t>(b.rect.right - 1 + k),
                           bt = static_cast<int16_t>(b.rect.bottom - 1 + k);
                PWScreen.lineToUpdate(l, t, static_cast<int16_t>(r + 1), t, ring);
                PWScreen.lineToUpdate(l, bt, static_cast<int16_t>(r + 1), bt, ring);
                PWScreen.lineToUpdate(l, t, l, static_cast<int16_t>(bt + 1), ring);
                PWScreen.lineToUpdate(r, t, r, static_cast<int16_t>(bt + 1), ring);
            }
        }
        const auto middle = static_cast<int16_t>(b.rect.left + b.rect.width() / 2);
        const auto top = static_cast<int16_t>(b.rect.top + (b.rect.height() - PWFont.height) / 2);
        PWScreen.stringToUpdate(&PWFont, b.word.c_str(), middle, top, 1, true);
    }
}

void BLBoxPanel::redraw()
{
    PWScreen.update(&area_);
}

int16_t BLBoxPanel::buttonAt(int16_t x, int16_t y) const
{
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i].rect.contains(x, y)) return static_cast<int16_t>(i);
    return -1;
}

bool BLBoxPanel::trackPress(int16_t button)
{
    focus_ = button;
    bool inside = true;
    pressed_ = button;
    redraw();
    while (kelTrackMouse()) {
        if (KEL_TerminateRequested()) break;
        const bool now = buttonAt(kelGlo.mouseX, kelGlo.mouseY) == button;
        if (now != inside) {
            inside = now;
            pressed_ = inside ? button : -1;
            redraw();
        }
        KEL_PollPause();
    }
    pressed_ = -1;
    redraw();
    return inside && buttonAt(kelGlo.mouseX, kelGlo.mouseY) == button;
}

int16_t BLBoxPanel::takeKey()
{
    const auto count = static_cast<int16_t>(buttons_.size());
    if (kelGlo.escapeKey) return box_.escapeAnswer;
    if (kelGlo.keyChar == kelKeyReturn || kelGlo.keyChar == ' ') return static_cast<int16_t>(focus_ + 1);
    int16_t step = 0;
    if (kelGlo.keyChar == '\t') step = kelGlo.shiftDown ? -1 : 1;
    if (kelGlo.keyChar == kelArrowLeft || kelGlo.keyChar == kelArrowUp) step = -1;
    if (kelGlo.keyChar == kelArrowRight || kelGlo.keyChar == kelArrowDown) step = 1;
    if (step != 0) {
        focus_ = static_cast<int16_t>((focus_ + step + count) % count);
        redraw();
    }
    return 0;
}

int16_t BLBoxPanel::run()
{
    under_ = PWScreen.front;
    PWScreen.front = this;
    redraw();
    plat::BoxNote note;
    note.title = box_.title;
    note.text = box_.text;
    note.buttons = box_.kind;
    for (size_t i = 0; i < box_.names.size() && i < 3; ++i) note.names[i] = box_.names[i];
    note.fallback = box_.escapeAnswer;  // what an unanswered box has always given
    KEL_ShowDrawn();
    int answer = plat::backend().boxOpened(note);
    while (answer <= 0) {
        if (KEL_TerminateRequested()) {
            answer = box_.escapeAnswer;
            break;
        }
        if (!KEL_PollInput()) {
            answer = plat::backend().boxPending();
            KEL_PollPause();
            continue;
        }
        if (kelGlo.what == kelMouseDown) {
            const int16_t hit = buttonAt(kelGlo.mouseX, kelGlo.mouseY);
            if (hit >= 0 && trackPress(hit)) answer = hit + 1;
        } else if (kelGlo.what == kelKeyDown || kelGlo.what == kelAutoKey) {
            answer = takeKey();
        } else if (kelGlo.what == kelKeyUp) {
            PWScreen.keyHeld[kelGlo.keyChar] = 0;
        }
    }
    plat::backend().boxClosed(note, answer);
    PWScreen.front = under_;
    redraw();
    KEL_ShowDrawn();
    return static_cast<int16_t>(answer);
}

int16_t BL_ShowBox(const KelBox& box)
{
    BLBoxPanel panel(box);
    return panel.ready() ? panel.run() : 0;
}
