// The help mode: bubbles drawn over the panels, either for the control under
// the mouse (roll-over help, F1) or one after another as a guided tour that
// moves on when the user clicks the control the bubble explains (the panels'
// help buttons). Outside help mode a plain tooltip shows the same text once
// the mouse has rested a second on a control, unless the preferences turn
// tooltips off or the panel has a hint line of its own (the groove panel).
//
// The help table is "Helps.txt" in the program folder, else 'DATA' 100 + text
// set of the main resource file. The file holds one table per text set, in
// set order, each ended by an empty line; a table a line an entry, fields
// separated by ']': bubble slot, bubble cast, panel, control, bubble x and y,
// text x and y (both from the control's centre), roll-over flag (0: a tour
// step), the tour of a step (the panel whose help button starts it), then up
// to 12 text lines. Pictures in "BLHelps.xrs" with id 1000 + entry replace an
// entry's text lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/kelCasts.h"
#include "core/kelGeometry.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"

class BLHelps : public PWHelpHooks {
public:
    static constexpr int16_t kMaxEntries = 500;
    static constexpr int16_t kSlots = 32;
    static constexpr int16_t kMaxLines = 12;
    static constexpr int16_t kLineChars = 96;
    static constexpr uint32_t kStepDelay = 60;    // a tour step's click to the next bubble
    static constexpr uint32_t kFollowDelay = 20;  // roll-over: the bubble follows the mouse
    static constexpr uint32_t kTooltipRest = 60;  // the mouse at rest before a tooltip
    static constexpr int32_t kPageBase = 1000;
    // A tour's first bubble offers the user guide: a button of this cast,
    // with these words, in the bubble's lower right corner.
    static constexpr int32_t kGuideButtonCast = 6508;
    static constexpr int16_t kMsgGuideButton = 281;

    struct Entry {
        int16_t slot = 0;
        int32_t castID = 0;
        int16_t panel = 0;
        int16_t item = 0;
        kelPoint bubble;
        kelPoint text;
        uint8_t rollover = 0;
        int16_t tour = 0;
        int16_t lineCount = 0;
        char lines[kMaxLines][kLineChars + 1] = {};
    };

    BLHelps();
    ~BLHelps() override;
    BLHelps(const BLHelps&) = delete;
    BLHelps& operator=(const BLHelps&) = delete;

    // Opens "BLHelps.xrs" when there is one, sets up the bubbles' font from
    // `casts` (cast 500) and reads the help table of the text set.
    void init(KelCasts* casts, int16_t textSet);
    // Reads the table of a text set from the text of a help file; false
    // when the file has no table for it. Entries past the limit, and lines
    // that do not parse, are left out.
    bool loadTable(const std::string& text, int16_t textSet);
    void loadTextEl(const std::string& line);

    void start(int16_t rollover);
    // The same from a given entry (a tour's first step).
    void startAt(int16_t rollover, int16_t first);
    void stop();
    void toggle(int16_t rollover) override;
    // A help button: the tour of that panel (the first tour when it has
    // none); the same button again ends it.
    void toggleTour(int16_t panel);
    void hit(int16_t panel, int16_t item) override;
    bool escape() override;
    // The guide button of the bubble showing takes its click.
    bool click(int16_t x, int16_t y) override;
    void idle() override;
    void rolloverFind();
    void updateOffmap() override;
    // A tooltip goes with the panel it points into.
    void panHidden(int16_t index) override;
    bool overlayRect(kelRect& rect) override;

    // The preferences' switch for tooltips outside help mode (blPrefs.tooltips):
    // the preferences panel calls this so that a tooltip showing goes at once.
    void setTooltips(bool on);

    // The panel that takes clicks at a point (the modal one alone while one
    // is set), -1 for none.
    static int16_t panelAt(int16_t x, int16_t y);
    // Where an entry's bubble, text and control lie now; false while its
    // control cannot be seen (panel hidden or covered).
    bool placeOf(int16_t entry, kelRect& bubble, kelPoint& text, kelRect& control) const;
    // The first step of a tour.
    bool opensTour(int16_t entry) const;
    // Where the guide button of the bubble showing lies; false when none shows.
    bool guideButton(kelRect& button) const;

    uint8_t on = 0;
    uint8_t rollover = 0;
    int16_t current = -1;
    uint32_t timer = 0;
    int16_t count = 0;
    int16_t tooltip = -1;  // the entry a tooltip shows, -1 for none
    Entry* entries = nullptr;
    uint8_t pagesOpen = 0;

private:
    struct Slot {
        int32_t castID = 0;
        KelOneCast* cast = nullptr;
    };

    void loadSlot(int16_t slot, int32_t castID);
    // The entry of a roll-over control under the mouse, -1 for none.
    int16_t entryAtMouse() const;
    uint32_t deadline(uint32_t delay) const;
    bool timerPassed() const;
    void tooltipIdle();
    bool tooltipPlace(kelRect& box) const;
    // What the overlay covers now (false when it shows nothing).
    bool overlayNow(kelRect& rect) const;
    // Redraws where the overlay was and where it is, when that changed.
    void refresh();

    KelCasts* casts_ = nullptr;
    KelOneCast* guideCast_ = nullptr;
    KelCasts pages_;
    kelFont font_;
    std::array<Slot, kSlots> slots_{};
    kelRect drawn_;
    bool drawnShown_ = false;
    kelPoint lastMouse_{-1, -1};
    uint32_t restSince_ = 0;
    bool tipSearched_ = false;
};

extern BLHelps* blHelpp;

// A panel's help button: the tour of that panel, or off again.
void BL_HelpButton(int16_t panel);
