// The synth browser: the sounds of ":Library:Synth:", each previewed with an
// arpeggio over the groove, with its picture when it has one; the sound
// taken goes to the synth panel. Modal while it shows.
#pragma once

#include <cstdint>

#include "core/kelOffmap.h"
#include "ui/PWPanel.h"

class BLEngineCalls;
class BLPlayer;

class BLLoadSynthPanel : public PWPanelClass {
public:
    // Controls of layout 12.
    enum : int16_t {
        kItemClose = 1,
        kItemCount = 3,
        kItemFirstLine = 4,  // the nine list lines
        kItemUp = 13,
        kItemDown = 14,
        kItemPicture = 15,
        kItemName = 16,
        kItemNotes = 17,
        kItemLength = 18,
        kItemStatus = 19,
        kItemChoose = 20,
        kItemPreview = 21,
    };
    static constexpr int16_t kLines = 9;
    static constexpr int16_t kMaxSounds = 180;
    static constexpr int kNameSize = 32;
    static constexpr int16_t kPictureWidth = 160;
    static constexpr int16_t kPictureHeight = 120;
    // What a sound is heard with: up, 4 steps a beat, over three octaves.
    static constexpr const char* kPreviewNotes = "c1e1g1a#2c2e2g2a#3c3e3g3a#4";

    // Message lines.
    static constexpr int16_t kMsgNoSounds = 170;
    static constexpr int16_t kMsgHint = 171;
    static constexpr int16_t kMsgCount = 172;
    static constexpr int16_t kMsgNotes = 173;
    static constexpr int16_t kMsgLength = 174;
    static constexpr int16_t kMsgNoSong = 175;
    static constexpr int16_t kMsgPreviewing = 176;

    explicit BLLoadSynthPanel(BLEngineCalls* engine = nullptr, BLPlayer* player = nullptr);

    void beforeShow() override;
    void afterHide() override;
    void onItem() override;
    void onKey() override;

    void scan();
    void select(int16_t index, bool preview);
    void moveSelection(int16_t delta);
    void scrollPage(int16_t step);
    void startPreview();
    // Ends a preview: the synth panel's own sound and pattern again, and the
    // player stopped when the preview started it.
    void stopPreview();
    // The selected sound to the synth panel; the browser closes.
    void choose();
    void close();
    const char* selectedName() const
    {
        return selection >= 0 && selection < count ? names[selection] : nullptr;
    }

    char names[kMaxSounds][kNameSize] = {};
    int16_t count = 0;
    int16_t first = 0;
    int16_t selection = -1;
    bool previewing = false;
    bool startedPlayer = false;
    kelOffmap picture;
    bool pictureShown = false;

private:
    BLEngineCalls& engine();
    BLPlayer* player() const;
    void refresh();
    void refreshInfo();
    void setText(int16_t item, const char* text);
    void setMessage(int16_t item, int16_t message, const char* value = "");
    bool showPicture(const char* name);

    BLEngineCalls* fixedEngine;
    BLPlayer* fixedPlayer;
    bool placed = false;
    int16_t lastClickLine = -1;
    uint32_t lineClickTicks = 0;
};
