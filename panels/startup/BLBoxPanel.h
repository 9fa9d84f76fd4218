// The program's modal boxes (BL_Notify, KEL_UserNotify, the choices): a
// panel drawn in the skin over everything else, centred on the stage, as
// large as its text needs. It runs its own loop until it is answered, so
// nothing behind it takes a click or a key meanwhile.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/kelCore.h"
#include "core/kelOffmap.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"

// The layout of the boxes and the first line of their buttons' words
// (OK, Yes, No, Cancel).
constexpr int16_t kBLBoxLayout = 21;
constexpr int16_t kBLMsgBoxButtons = 500;

class BLBoxPanel : public PWPanelClass, public PWFrontLayer {
public:
    explicit BLBoxPanel(const KelBox& box);
    ~BLBoxPanel() override;

    // False when the skin or the window cannot show it.
    bool ready() const { return ready_; }
    // Shows the box until it is answered; the answer counts the buttons from 1.
    int16_t run();

    void drawToUpdate() override;

    // Where the box lies on the screen, its lines as wrapped and its buttons.
    const kelRect& area() const { return area_; }
    const std::vector<std::string>& lines() const { return lines_; }
    kelRect buttonRect(size_t i) const { return i < buttons_.size() ? buttons_[i].rect : kelRect(); }

private:
    struct Button {
        std::string word;  // 8-bit, for the skin font
        kelRect rect;
    };

    void layOut();
    void wrapText(int16_t width);
    bool stretch(const kelOffmap* image, const kelOffmap* mask, int16_t width, int16_t height,
                 int16_t fixLeft, int16_t fixTop, int16_t fixRight, int16_t fixBottom, kelOffmap& toImage,
                 kelOffmap& toMask) const;
    void redraw();
    int16_t buttonAt(int16_t x, int16_t y) const;
    // A press on a button: lit while the mouse stays on it; true when released there.
    bool trackPress(int16_t button);
    int16_t takeKey();

    KelBox box_;
    bool ready_ = false;
    std::string title_;               // 8-bit
    std::vector<std::string> lines_;  // 8-bit, wrapped
    std::vector<Button> buttons_;
    int16_t focus_ = 0;
    int16_t pressed_ = -1;
    kelRect area_;
    kelOffmap plate_, plateMask_;
    kelOffmap buttonUp_, buttonUpMask_, buttonLit_, buttonLitMask_;
    PWFrontLayer* under_ = nullptr;
};

// The hook the core asks (KEL_SetBoxHook): 0 when the box cannot be drawn yet.
int16_t BL_ShowBox(const KelBox& box);
