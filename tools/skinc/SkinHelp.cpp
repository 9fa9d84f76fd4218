#include "tools/skinc/SkinHelp.h"

#include <algorithm>
#include <sstream>

namespace skinc {

std::vector<std::string> wrapText(const std::string& text8, int width, const FontStrip& font)
{
    std::vector<std::string> lines;
    std::istringstream words(text8);
    std::string word, line;
    while (words >> word) {
        const std::string candidate = line.empty() ? word : line + " " + word;
        if (!line.empty() && font.textWidth(candidate) > width) {
            lines.push_back(line);
            line = word;
        } else {
            line = candidate;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

bool buildHelpTable(const std::vector<HelpTip>& tips, const std::vector<HelpBubble>& bubbles,
                    const FontStrip& font, const HelpGeometry& g, std::string& table, Diag& diag)
{
    table.clear();
    if (bubbles.size() > 32) {
        diag.error("help", "at most 32 bubble pictures fit the help mode's slots");
        return false;
    }
    bool good = true;
    for (const HelpTip& tip : tips) {
        if (tip.text8.find(']') != std::string::npos || tip.text8.find('\r') != std::string::npos) {
            diag.error(tip.where, "a tip cannot hold ']' or a line break");
            good = false;
            continue;
        }
        // The first bubble, in table order, whose lines hold the wrapped text.
        int slot = -1;
        std::vector<std::string> lines;
        for (size_t b = 0; b < bubbles.size(); ++b) {
            lines = wrapText(tip.text8, bubbles[b].width - 2 * g.padX, font);
            const int needed = static_cast<int>(lines.size()) + tip.roomLines;
            if (needed <= bubbles[b].lines && needed <= 12) {
                slot = static_cast<int>(b);
                break;
            }
        }
        if (slot < 0 || lines.empty()) {
            diag.error(tip.where,
                       lines.empty() ? "an empty tip" : "the tip is too long for every help bubble");
            good = false;
            continue;
        }
        const HelpBubble& bubble = bubbles[static_cast<size_t>(slot)];
        const int bubbleHeight = 2 * g.padY + (bubble.lines - 1) * g.line + font.glyphHeight;
        const int cx = tip.control.left + tip.control.width() / 2;
        const int cy = tip.control.top + tip.control.height() / 2;
        const int halfHeight = tip.control.height() / 2;
        // Below the control when there is room on the stage, else above it;
        // centred across it, but kept on the stage.
        const int left = std::clamp(cx - bubble.width / 2, 2, std::max(2, g.stageWidth - 2 - bubble.width));
        int top = cy + halfHeight + 4;
        if (top + bubbleHeight > g.stageHeight - 2) top = cy - halfHeight - 4 - bubbleHeight;
        top = std::max(2, top);
        const int bx = left - cx;
        const int by = top - cy;

        std::ostringstream line;
        line << slot << ']' << bubble.castID << ']' << tip.panel << ']' << tip.item << ']' << bx << ']' << by
             << ']' << bx + g.padX << ']' << by + g.padY << ']'
             << (tip.tour < 0 ? "1]0" : "0]" + std::to_string(tip.tour));
        for (const std::string& text : lines) line << ']' << text;
        table += line.str();
        table += '\r';
    }
    return good;
}

}  // namespace skinc
