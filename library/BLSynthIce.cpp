#include "library/BLSynthIce.h"

#include <algorithm>
#include <cstring>

#include "core/kelAtomsFiles.h"
#include "core/kelBytes.h"

namespace {

constexpr uint32_t kAtomSynth = kelFourCC("syic");

void encodeSetting(const BLSynthSetting& s, uint8_t* p)
{
    for (int k = 0; k < kBLSynthKeys; ++k) kelPutLE16(p + 2 * k, static_cast<uint16_t>(s.keys[k]));
    uint8_t* q = p + 2 * kBLSynthKeys;
    for (const int16_t v : {s.volume, s.pan, s.mode, s.program, s.speed}) {
        kelPutLE16(q, static_cast<uint16_t>(v));
        q += 2;
    }
    std::memcpy(q, s.synthName, kBLSynthNameSize);
}

int16_t field(const uint8_t* p, int16_t low, int16_t high)
{
    return std::clamp(static_cast<int16_t>(kelGetLE16(p)), low, high);
}

void decodeSetting(const uint8_t* p, BLSynthSetting& s)
{
    for (int k = 0; k < kBLSynthKeys; ++k) s.keys[k] = static_cast<int16_t>(kelGetLE16(p + 2 * k));
    const uint8_t* q = p + 2 * kBLSynthKeys;
    s.volume = field(q, 0, 127);
    s.pan = field(q + 2, 0, 127);
    s.mode = field(q + 4, 0, 3);
    s.program = field(q + 6, 0, 32);
    s.speed = field(q + 8, 0, 3);
    std::memcpy(s.synthName, q + 10, kBLSynthNameSize);
    s.synthName[kBLSynthNameSize - 1] = '\0';
}

}  // namespace

static_assert(2 * kBLSynthKeys + 5 * 2 + kBLSynthNameSize == kBLSynthSettingSize);
static_assert(kBLSynthSettingSize * (1 + kBLSynthPresets) + 2 == kBLSynthIceSize);

void BLSynthIce::encode(uint8_t* out) const
{
    encodeSetting(current, out);
    for (int i = 0; i < kBLSynthPresets; ++i) encodeSetting(presets[i], out + kBLSynthSettingSize * (1 + i));
    kelPutLE16(out + kBLSynthIceSize - 2, static_cast<uint16_t>(presetCount));
}

void BLSynthIce::decode(const uint8_t* in)
{
    decodeSetting(in, current);
    for (int i = 0; i < kBLSynthPresets; ++i) decodeSetting(in + kBLSynthSettingSize * (1 + i), presets[i]);
    presetCount = field(in + kBLSynthIceSize - 2, 0, kBLSynthPresets);
}

void BLSynthDefaultDocument::iced_save(kelAtomsFile* file)
{
    uint8_t bytes[kBLSynthIceSize];
    state.encode(bytes);
    if (file) file->write(kAtomSynth, kBLSynthIceSize, bytes);
}

bool BLSynthDefaultDocument::iced_load(kelAtomsFile* file)
{
    uint8_t bytes[kBLSynthIceSize];
    // Shorter than its size is cut short: none of it is taken.
    if (!file || !file->read(kAtomSynth, kBLSynthIceSize, bytes) || file->lastLength() < kBLSynthIceSize)
        return false;
    state.decode(bytes);
    return true;
}
