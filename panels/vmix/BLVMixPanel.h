// The virtual mix: four arrangements the program composes from the song's
// styles (or its groups), played through the sequence player one after
// another like a radio, regenerated on the way when asked, and handed over
// to the groove panel as the user's own sequence.
#pragma once

#include <cstdint>

#include "control/BLPlayCommon.h"
#include "library/BLGroove.h"
#include "library/BLSongLibrary.h"
#include "ui/PWPanel.h"

class BLPlayer;
class BLGroovePanel;

class BLVMixPanel : public PWPanelClass, public BLPlayCommon {
public:
    static constexpr int16_t kSlots = 4;
    static constexpr int16_t kTracks = 8;

    // Controls of layout 5.
    enum : int16_t {
        kItemClose = 1,
        kItemPlay = 3,
        kItemStop = 4,
        kItemBpmLabel = 5,
        kItemBpmDown = 6,
        kItemBpmUp = 7,
        kItemBpmScroll = 8,
        kItemTap = 9,
        kItemMainVolume = 10,
        kItemMainVolumeLabel = 11,
        kItemPosition = 12,
        kItemState = 13,
        kItemSyncLight = 14,
        kItemSong = 15,
        kItemFirstSlot = 16,      // four slot buttons
        kItemFirstSlotName = 20,  // the style under each
        kItemNewMixes = 24,
        kItemRadio = 25,
        kItemRandomOrder = 26,
        kItemListOrder = 27,
        kItemDuration = 28,
        kItemDurationText = 29,
        kItemTime = 30,
        kItemBars = 31,
        kItemStyleName = 32,
        kItemPart = 33,
        kItemProgress = 34,
        kItemFirstLight = 35,  // eight track lights
        kItemLibrary = 43,
        kItemHelp = 44,
        kItemNetwork = 45,
        kItemOptions = 46,
        kItemGrooves = 47,
        kItemFirstLoop = 48,   // the loop each track plays
        kItemFirstMeter = 56,  // eight track meters
        kItemFirstBeat = 64,   // eight position lights
    };

    // Message lines.
    static constexpr int16_t kMsgKeepMix = 53;
    static constexpr int16_t kMsgGroups = 240;  // the name of a mix built from the groups
    static constexpr int16_t kMsgPart = 241;    // "Part %d of %d"
    static constexpr int16_t kMsgNoLoops = 242;
    static constexpr int16_t kMsgParts = 246;  // "%d parts"

    // The panel talks to `player` and `groove` (blPlayer and blGroovePanel when null).
    explicit BLVMixPanel(BLPlayer* player = nullptr, BLGroovePanel* groove = nullptr);
    ~BLVMixPanel() override;

    void connected() override;
    void onPanelOpened() override;
    void beforeShow() override;
    void afterHide() override;
    void onItem() override;
    void onKey() override;
    void onIdle() override;

    // The slots.
    void vmixStore(int16_t n);
    void vmixUse(int16_t n);
    void vmixRandomize(int16_t n);
    void onItem_vmix(int16_t n);
    void onItem_newVmix();
    void onItem_duration(int16_t duration);
    void onItem_switchToGroove(bool restore);
    // The close button and Escape: asks whether the mix becomes the user's sequence.
    void leave();
    bool requestClose() override
    {
        leave();
        return false;
    }
    void setRegenerate(bool on);
    void setRandomOrder(bool on);
    void setListOrder(bool on);
    void setBars(bool on);
    // The random-mix options changed: the styles and groups (the mixes are
    // made anew) or the length of each (every slot takes it). Play goes on;
    // the next groove boundary brings the new mix in.
    void optionsChanged(bool mixes, bool length);
    // The slot that comes after the current one at the end of its list.
    int16_t nextSlot() const;
    void refreshDurationText();
    void refreshTrackLights();
    void refreshSlots();

    // What the player shows.
    void common_setPlayDisplay(bool playing) override;
    void common_setSeqPlayLed(bool on) override;
    void common_setPlaybarLed(short led, short state) override;
    void common_setSyncingLed(bool on) override;
    void common_setPlaybarLabel(const char* text) override;
    using BLPlayCommon::common_setPlaybarLabel;
    void common_setMainVolLabel(short volume) override;
    void common_setSongLabel(const char* text) override;
    void common_eventGrooveStart() override;
    void common_eventGrooveSync() override;
    void common_eventSeqPlayStart() override;
    void common_eventSeqPlayStop() override;
    void common_setBpmLabel(const char* text) override;
    void common_setBpmScroll(short position) override;
    void common_setBpmRange(short low, short high) override;
    void common_setLabel(short label, const char* text) override;
    void common_doInterfaceReset() override;
    void common_setHelpModeDisplay(short mode) override;

    BLSequence slots[kSlots];
    // Each slot's length as the user chose it (0: as the style is written).
    int16_t slotDuration[kSlots] = {};
    char slotName[kSlots][kBLNameSize] = {};
    int16_t currentSlot = 0;
    bool generated = false;
    bool regenerate = false;
    bool randomOrder = false;
    bool listOrder = false;
    bool bars = false;
    // Mixes made so far while playing, the slot changes included (for tests
    // and the status line).
    long chains = 0;
    // The list entry heard now; -1 when none.
    int16_t playingEntry = -1;
    char durationText[32] = {};
    char positionText[34] = {};
    char stateText[32] = {};
    char bpmText[16] = {};
    char partText[48] = {};
    // The song the slots were made for; the last document when the panel showed.
    char songFolder[kKelPathMax + 1] = {};
    char documentPath[kKelPathMax + 1] = {};
    // Each track light's value: track + 1 when it sounds, -(track + 1) when not.
    int16_t lights[kTracks] = {};

private:
    BLPlayer& player() const;
    BLGroovePanel* groove() const;
    void setText(int16_t item, const char* text);
    void setImage(int16_t item, int16_t image);
    void generateAll();
    void startSequence();
    void showModes();
    void showProgress();
    void metersIdle();
    bool songChanged() const;

    BLPlayer* fixedPlayer;
    BLGroovePanel* fixedGroove;
    uint16_t shownSamples[kTracks] = {};
    int16_t meterShown[kTracks] = {};
    int16_t lastProgress = -1;
    long shownProgress = -1;
    uint32_t lastMeterTick = 0;
};

// The virtual mix panel once created; null before.
extern BLVMixPanel* blVMixPanel;
