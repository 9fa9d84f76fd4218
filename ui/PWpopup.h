// The skinned pop-up menu: a closed box showing the chosen item's text that,
// held, opens a list of the items over the panel; the user drags to an item
// and releases. A plain click opens the list too: a row is then chosen with
// a click or with the arrows and Return, and a click outside or Escape
// closes it. The whole open phase runs inside click().
#pragma once

#include <cstdint>

#include "core/kelOffmap.h"
#include "ui/kelPanStdCtrls.h"

class PWpopupControl : public kelPaCoStd_StaticCast {
public:
    static constexpr int16_t kMaxItems = 180;
    static constexpr int kMaxItemText = 127;

    void setup() override;
    void draw() override;
    bool click() override;
    void setValue(int16_t v) override;
    void setValue(char* text) override;
    void getValue(char* text) override;
    void setValue(int16_t i, char* text) override;
    void getValue(int16_t i, char* text) override;
    void setValue(int16_t i, int16_t v) override;
    using kelPaCoStd_StaticCast::getValue;
    using kelPaCoStd_StaticCast::setValue;

    char items[kMaxItems][kMaxItemText + 1] = {};
    int16_t count = 0;
    uint8_t hideText = 0;
    int16_t insetX = 0;
    int16_t offsetY = 0;
    kelOffmap* images[9] = {};
    kelOffmap* masks[9] = {};
    uint8_t fit = 0;
    uint8_t fill = 0;
    int16_t fillColour = 0;
    uint8_t reportOnPress = 0;

    // The open list (valid while it shows).
    struct OpenList {
        kelOffmap image;
        int16_t first = 0, last = 0, rows = 0;
        kelPoint origin;
        int16_t selection = -1;
        int16_t hover = -1;
    };

private:
    // Opens the list; the chosen item or -1. Held: the mouse is tracked until
    // its release; else the list stays open for clicks and keys.
    int16_t runList(bool held);
    int16_t trackHeld(OpenList& list);
    int16_t trackOpen(OpenList& list, const kelRect& area);
    // Scrolls one row while the mouse rests on an arrow row; true when it did.
    bool scrollAtEnds(OpenList& list, int& atEnd, long& deadline) const;
    bool onArrowRow(const OpenList& list, int16_t row) const;
    // Up or Down: the next row that is not a separator, scrolled into view.
    void stepSelection(OpenList& list, int step) const;
    void placeList(OpenList& list) const;
    void findHover(OpenList& list) const;
    // mode -2: tracking (the hover row lit); else the item lit (-1: none).
    void drawPopOpen(OpenList& list, int16_t mode) const;
    void drawPopOpenItem(OpenList& list, int16_t row, const kelRect& box, bool highlighted) const;
    bool isSeparator(int16_t i) const { return items[i][0] == '-'; }
    void idleLive();
};
