// Panel layouts: up to 100 items, each placed by anchors in the layout's
// bounds, with a frame size and up to ten alternative image casts.
//
// "LAYA" payload (big-endian): a 48-byte header (6 reserved, design rectangle
// left/top/right/bottom at 6, 32 reserved, int16 item count at 46) followed by
// 100 or 50 items of 116 bytes (see kelLayoutItem for the fields).
#pragma once

#include <cstdint>
#include <vector>

#include "core/kelGeometry.h"

class KelResFile;
class KelCasts;
class kelOffmap;

constexpr int16_t kKelLayoutMaxItems = 100;
constexpr int16_t kKelLayoutImages = 10;
constexpr int16_t kKelLayoutAuxValues = 20;
constexpr int32_t kKelLayoutHeaderSize = 48;
constexpr int32_t kKelLayoutItemSize = 116;
constexpr int32_t kKelLayoutSizeLarge = kKelLayoutHeaderSize + kKelLayoutItemSize * 100;  // 11648
constexpr int32_t kKelLayoutSizeSmall = kKelLayoutHeaderSize + kKelLayoutItemSize * 50;   // 5848

extern const int32_t kelLayoutType;  // "LAYA"

// Meanings of some auxiliary values shared by every control.
constexpr int16_t kKelAuxKind = 0;
constexpr int16_t kKelAuxHelp = 7;
constexpr int16_t kKelAuxSource = 9;

// Anchors number the points of a rectangle clockwise from the top left,
// the centre last.
enum : int16_t {
    kelAnchorTopLeft = 0,
    kelAnchorTop = 1,
    kelAnchorTopRight = 2,
    kelAnchorRight = 3,
    kelAnchorBottomRight = 4,
    kelAnchorBottom = 5,
    kelAnchorBottomLeft = 6,
    kelAnchorLeft = 7,
    kelAnchorCentre = 8,
};

struct kelLayoutItem {
    int16_t state = 0;  // 0 hidden, 1 shown, 2 shown and interactive
    kelPoint offset;    // at 2
    int16_t reserved6 = 0;
    int32_t sizeCastID = 0;                       // at 8
    int32_t imageCastIDs[kKelLayoutImages] = {};  // at 12
    int16_t reserved52 = 0;
    int16_t selfAnchor = 0;  // at 54
    int16_t anchors = 0;     // at 56: layout anchor + 16 x stretch anchor
    uint8_t reserved58[10] = {};
    int16_t aux[kKelLayoutAuxValues] = {};  // at 68; aux[0] is the control kind
    kelPoint frameSize;                     // at 108; width 0: the size cast's size
    uint8_t reserved112[4] = {};

    int16_t layoutAnchor() const { return static_cast<int16_t>(anchors % 16); }
    int16_t stretchAnchor() const { return static_cast<int16_t>(anchors / 16); }
};

struct kelLayoutHeader {
    uint8_t reserved0[6] = {};
    kelRect design;  // at 6
    uint8_t reserved14[32] = {};
    int16_t itemCount = 0;  // at 46
};

struct kelLayoutData {
    kelLayoutHeader header;
    kelLayoutItem items[kKelLayoutMaxItems];
};

// The payload into its fields; false (data untouched) for a length other
// than the two layout sizes. Only the items the payload holds are read, the
// others are cleared.
bool kelLayoutRead(const uint8_t* payload, int32_t length, kelLayoutData& data);
// The fields as a payload: 50 items when the count fits, else 100.
std::vector<uint8_t> kelLayoutWrite(const kelLayoutData& data);

// Where one item lies, recomputed from the layout's bounds.
struct kelLayoutWork {
    kelPoint pos;       // where the current image is drawn
    kelRect frame;      // the item's rectangle by its frame size
    kelRect imageRect;  // where the current image lies
    int16_t castIndex[kKelLayoutImages];
    int16_t usedIndex = 0;
    int16_t currentCast = -1;

    kelLayoutWork()
    {
        for (int16_t& c : castIndex) c = -1;
    }
};

class KelLayout {
public:
    KelLayout() = default;
    KelLayout(const KelLayout&) = delete;
    KelLayout& operator=(const KelLayout&) = delete;

    KelResFile* resFile = nullptr;
    KelCasts* casts = nullptr;
    kelRect bounds;
    kelLayoutData data;
    kelLayoutWork work[kKelLayoutMaxItems];
    int16_t itemsCount = 0;

    void Set(KelCasts* casts, long layoutID);
    void Load();
    void RecalcAll();
    void RecalcItem(int16_t item);
    void ItemUseIndex(int16_t item, int16_t index);
    void DrawItem(int16_t item);
    kelOffmap* GetItemImage(int16_t item, int16_t index) const;
    kelOffmap* GetItemMask(int16_t item, int16_t index) const;
    int16_t itemAuxVal(int16_t item, int16_t k) const;
    // Reads the stored payload into data.
    bool PlatformConvert(const uint8_t* payload, int32_t length);

    bool hasItem(int16_t item) const { return item >= 0 && item < itemsCount; }
};
