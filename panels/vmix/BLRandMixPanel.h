// The random-mix options: which of the song's styles and groups take part in
// the virtual mixes and how long each mix plays. Modal while shown; the
// choices are kept in the preferences and reach the mixes when it closes.
#pragma once

#include <cstdint>

#include "library/BLSongLibrary.h"
#include "library/BLVMix.h"
#include "ui/PWPanel.h"

class BLRandMixPanel : public PWPanelClass {
public:
    static constexpr int16_t kStyles = kBLMaxStyles;
    static constexpr int16_t kGroups = kBLMaxGroups;

    // Controls of layout 11.
    enum : int16_t {
        kItemClose = 1,
        kItemFirstStyle = 3,  // a check a style
        kItemFirstGroup = 7,  // a check a group
        kItemLength = 40,
        kItemAllGroups = 41,
        kItemDone = 42,
        kItemLengthText = 43,
        kItemNote = 44,
        kItemFirstStyleName = 48,  // a style's name
        kItemFirstGroupName = 52,  // a group's name
    };

    static constexpr int16_t kMsgAsWritten = 243;
    static constexpr int16_t kMsgNoStyles = 244;
    static constexpr int16_t kMsgStylesNote = 245;

    // The song whose styles and groups are shown: blGroovePanel's unless a test gives one.
    explicit BLRandMixPanel(const BLSongLibrary* song = nullptr);

    void connected() override;
    void beforeShow() override;
    void afterShow() override;
    void afterHide() override;
    void onItem() override;
    void onKey() override;

    void close();
    void toggleStyle(int16_t style);
    void toggleGroup(int16_t group);
    void allGroups();
    void setLength(int16_t entries);
    void refresh();

    // The choices as they were when the panel opened.
    BLVMixSettings before;
    char lengthText[64] = {};

private:
    const BLSongLibrary* song() const;
    void setText(int16_t item, const char* text);

    const BLSongLibrary* fixedSong;
    int16_t previousModal = -1;
};
