// Image casts: the pictures of the skin, each available in up to three colour
// depths plus a mask, stored in a resource file under one id per cast.
//
// Payloads (big-endian numbers, all under the cast's id):
//   "MPIX" 104-byte header: int16 width, int16 height, 4 reserved, then per
//          variant d (0 8-bit, 1 16-bit, 2 32-bit, 3 mask) at 8 + 16 d:
//          int16 row stride, int16 reserved, int32 reserved, 8 reserved; 32 reserved.
//   "PX08" "PX16" "PX32" "PXMK": the pixel rows, top row first;
//   "CTP8" 256 colour entries of 4 bytes for the 8-bit variant.
#pragma once

#include <cstdint>
#include <vector>

#include "core/kelGeometry.h"
#include "core/kelOffmap.h"

class KelResFile;
class KelCasts;

constexpr int32_t kKelCastHeaderSize = 104;
constexpr int16_t kKelCastVariants = 4;
constexpr int16_t kKelCastMaskVariant = 3;
constexpr int16_t kKelCastPaletteIndex = 4;
// A cast whose pixels would need more memory than this is taken as damaged:
// the largest skin picture, a stage-sized one at 32 bits, needs 1.2 MB, and a
// hostile header must not make the program allocate and flip a gigabyte.
constexpr int32_t kKelCastMaxBytes = 8 * 1024 * 1024;

// PX08, PX16, PX32, PXMK, CTP8, indexed by variant (the palette at 4).
extern const int32_t kelCastTypes[5];
extern const int32_t kelCastHeaderType;  // "MPIX"

struct kelCastVariant {
    int16_t rowBytes = 0;
    int16_t reserved16 = 0;
    int32_t reserved32 = 0;
};

struct kelCastHeader {
    int16_t width = 0;
    int16_t height = 0;
    kelCastVariant variants[kKelCastVariants];
    uint8_t raw[kKelCastHeaderSize] = {};  // as stored; the reserved bytes live only here
};

class KelOneCast {
public:
    KelOneCast() = default;
    ~KelOneCast() { Unload(); }
    KelOneCast(const KelOneCast&) = delete;
    KelOneCast& operator=(const KelOneCast&) = delete;

    int32_t castID = 0;
    KelCasts* owner = nullptr;
    uint8_t available[kKelCastVariants] = {};
    kelCastHeader header;
    kelOffmap image;
    kelOffmap mask;
    uint8_t imageLoaded = 0;
    uint8_t maskLoaded = 0;
    kelRect bounds;
    kelPoint size;

    void Prepare();
    void LoadAvailable();
    bool LoadDepth(int16_t d);
    void Unload();
    void Draw(int16_t x, int16_t y);
    void DrawZone(const kelRect* zone, int16_t x, int16_t y);
    // Turns header.raw (big-endian) into the header's fields.
    void PlatformConvert();

private:
    KelResFile* resFile() const;
};

class KelCasts {
public:
    KelCasts() = default;
    explicit KelCasts(KelResFile* file) : resFile(file) {}
    ~KelCasts() { UnloadResources(); }
    KelCasts(const KelCasts&) = delete;
    KelCasts& operator=(const KelCasts&) = delete;

    int16_t count = 0;
    KelOneCast** casts = nullptr;
    KelResFile* resFile = nullptr;
    uint8_t ownsResFile = 0;

    void ParseResources();
    int16_t MPixIDtoIndex(long castID) const;
    bool OpenResFile(const char* name);
    void UnloadResources();

    // The cast of an index, null for an index out of range or an empty entry.
    KelOneCast* castAt(int16_t index) const;
};

// Writers for tools that build resource files: the header of a cast whose
// variants have the given row strides (0 for a variant that is not stored),
// and the stored rows of a 16-bit picture or an 8-bit mask given top-down.
void kelCastWriteHeader(int16_t width, int16_t height, const int16_t rowBytes[kKelCastVariants],
                        uint8_t out[kKelCastHeaderSize]);
std::vector<uint8_t> kelCastPack16(const uint16_t* pixels, int16_t width, int16_t height, int16_t rowBytes);
std::vector<uint8_t> kelCastPack8(const uint8_t* pixels, int16_t width, int16_t height, int16_t rowBytes);
// Row strides as the skin compiler stores them: whole pixels, 4-byte aligned.
int16_t kelCastStride(int16_t width, int16_t bytesPerPixel);
