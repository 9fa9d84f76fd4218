// The synth panel's saved state as a groove document carries it (atom
// 'syic', 3308 bytes): the current arpeggio setting, 28 preset slots and the
// preset count. Numbers are little-endian.
#pragma once

#include <cstdint>

#include "library/BLGrooveLinks.h"

constexpr int kBLSynthKeys = 36;
constexpr int kBLSynthPresets = 28;
constexpr int kBLSynthNameSize = 32;
constexpr int32_t kBLSynthSettingSize = 114;
constexpr int32_t kBLSynthIceSize = 3308;

struct BLSynthSetting {
    int16_t keys[kBLSynthKeys] = {};  // key k on when not 0; key 0 is the lowest C
    int16_t volume = 100;
    int16_t pan = 63;
    int16_t mode = 0;     // 0 up, 1 down, 2 random, 3 up and down
    int16_t program = 7;  // rhythm program 0 .. 32
    int16_t speed = 2;    // 0 .. 3: 1, 2, 4 or 8 notes per beat
    char synthName[kBLSynthNameSize] = {};

    bool operator==(const BLSynthSetting&) const = default;
};

struct BLSynthIce {
    BLSynthSetting current;
    BLSynthSetting presets[kBLSynthPresets];  // slots past the count included
    int16_t presetCount = 0;

    // out and in hold kBLSynthIceSize bytes.
    void encode(uint8_t* out) const;
    // Values outside their ranges are brought back into them, the names
    // terminated.
    void decode(const uint8_t* in);

    bool operator==(const BLSynthIce&) const = default;
};

// The synth panel's part of a document until the panel itself takes it
// over: its default state, kept as read so a document loaded and saved
// again keeps its synth state.
class BLSynthDefaultDocument : public BLSynthDocument {
public:
    void iced_save(kelAtomsFile* file) override;
    bool iced_load(kelAtomsFile* file) override;

    BLSynthIce state;
};
