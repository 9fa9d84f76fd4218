// "New song from loops": the loops found in a folder or a drop, each with its
// tempo, bars, group and how its tempo was found (or why it is left out), a
// preview of each as the user's file holds it, and the song's name, tempo and
// description. A loop's group and bars can be changed; Create hands the plan
// as the user left it to the song browser, which writes it. Modal while
// shown; closing it writes nothing.
#pragma once

#include <cstdint>
#include <functional>

#include "library/BLMakeSong.h"
#include "ui/PWPanel.h"

class BLMakeSongPanel : public PWPanelClass {
public:
    static constexpr int16_t kRows = 11;

    // Controls of layout 17.
    enum : int16_t {
        kItemClose = 1,
        kItemName = 3,
        kItemTempo = 4,
        kItemDescription = 5,
        kItemGroup = 6,
        kItemBars = 7,
        kItemStatus = 8,
        kItemCreate = 9,
        kItemCancel = 10,
        kItemUp = 11,
        kItemDown = 12,
        kItemFirstPreview = 21,  // a row each
        kItemFirstName = 32,
        kItemFirstBpm = 43,
        kItemFirstBars = 54,
        kItemFirstGroup = 65,
        kItemFirstHow = 76,
        kItemFirstWhy = 87,
    };

    static constexpr int16_t kMsgSummary = 380;
    static constexpr int16_t kMsgSummaryLeftOut = 381;
    static constexpr int16_t kMsgFromName = 382;
    static constexpr int16_t kMsgFromLength = 383;
    static constexpr int16_t kMsgFromSound = 384;
    static constexpr int16_t kMsgChosen = 385;
    static constexpr int16_t kMsgLeftOut = 386;

    using Create = std::function<void(const BLSongPlan&)>;

    BLMakeSongPanel() { modal = 1; }

    // Shows the plan; Create calls `create` with it once the panel is gone.
    void open(BLSongPlan plan, Create create);

    void connected() override;
    void beforeShow() override;
    void afterHide() override;
    void onItem() override;
    void onKey() override;

    // The loop the group and bars buttons act on.
    void choose(int16_t loop);
    void nextGroup();
    void nextBars();
    // The tempo field's tempo, when it changed.
    void applyTempo();
    // The loop's file plays, until a second call for it (or another loop).
    void preview(int16_t loop);
    void stopPreview();
    void scroll(int16_t rows);
    void create();
    void close();
    void refresh();

    BLSongPlan plan;
    int16_t chosen = -1;  // index in plan.loops
    int16_t top = 0;      // the loop on the first row
    int16_t playing = -1;

private:
    void setText(int16_t item, const std::string& text);
    std::string fieldText(int16_t item) const;
    void showRow(int16_t row);
    void say(const std::string& text);

    Create create_;
    // The name as shown: a name the user left alone keeps what 8-bit text cannot hold.
    std::string shownName_;
};

BLMakeSongPanel* BLMakeSongPanel_Get();
