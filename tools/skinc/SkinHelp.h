// The help table ("Helps.txt"): the steps of the guided tours, then one
// roll-over bubble per control that has a tip in its layout source. Lines end
// in carriage returns, fields are separated by ']':
//   0 bubble slot, 1 bubble cast, 2 panel, 3 item, 4-5 bubble position,
//   6-7 text position (both from the control's centre), 8 roll-over flag
//   (0 for a tour step), 9 the tour of a step (the panel whose help button
//   starts it; 0 for roll-over entries), 10.. the text lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/kelGeometry.h"
#include "tools/skinc/SkinFont.h"

namespace skinc {

struct HelpTip {
    int16_t panel = 0;
    int16_t item = 0;   // control number: the layout's base plus the item index
    kelRect control;    // where the control lies on the stage
    std::string text8;  // in the program's 8-bit set
    std::string where;  // for messages
    int16_t tour = -1;  // a step of this panel's tour; -1 for a roll-over tip
    int roomLines = 0;  // lines kept free below the text (a tour's first bubble: the guide button)
};

struct HelpBubble {
    int32_t castID = 0;
    int width = 0;
    int lines = 0;
};

struct HelpGeometry {
    int stageWidth = 640;
    int stageHeight = 480;
    int padX = 8;
    int padY = 5;
    int line = 12;
};

// Word-wraps a text to a width in the skin font; a word wider than the
// width stands on a line of its own.
std::vector<std::string> wrapText(const std::string& text8, int width, const FontStrip& font);

// Builds one language's table, one entry per tip in order; the smallest bubble that
// holds a tip's lines frames it. False (with the problem) when a tip is too
// long for every bubble or holds a ']'.
bool buildHelpTable(const std::vector<HelpTip>& tips, const std::vector<HelpBubble>& bubbles,
                    const FontStrip& font, const HelpGeometry& geometry, std::string& table, Diag& diag);

}  // namespace skinc
