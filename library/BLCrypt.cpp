#include "library/BLCrypt.h"

#include <algorithm>
#include <bit>

#include "core/kelFiles.h"

namespace {

thread_local uint32_t generatorState = 0;

bool readField(kelFileRec* file, int32_t* field, bool* nothing = nullptr)
{
    int32_t raw = 0;
    const long n = KEL_FileReadSome(file, 4, &raw);
    if (nothing) *nothing = n == 0;
    if (n != 4) return false;
    BLCrypt_Swap4bytes(&raw);
    *field = raw;
    return true;
}

void put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// Reads and drops `count` bytes; false when the file holds fewer.
bool skip(kelFileRec* file, int64_t count)
{
    char scratch[512];
    while (count > 0) {
        const long want = static_cast<long>(std::min<int64_t>(count, sizeof scratch));
        if (KEL_FileReadSome(file, want, scratch) != want) return false;
        count -= want;
    }
    return true;
}

}  // namespace

void BLCrypt_MyRandomize(int32_t seed)
{
    generatorState = static_cast<uint32_t>(seed);
}

int32_t BLCrypt_MyRand()
{
    generatorState = BLCrypt_Step(generatorState);
    return static_cast<int32_t>(generatorState);
}

void BLCrypt_Swap4bytes(int32_t* field)
{
    if constexpr (std::endian::native == std::endian::big) {
        if (!field) return;
        const auto v = static_cast<uint32_t>(*field);
        *field = static_cast<int32_t>(v >> 24 | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | v << 24);
    }
}

BLCryptRecord BLCrypt_ReadRecord(kelFileRec* file, char* buffer, int32_t bufferSize, int32_t* kept,
                                 int32_t* length)
{
    if (kept) *kept = 0;
    if (length) *length = 0;
    if (!buffer || bufferSize < 1) return BLCryptRecord::damaged;
    buffer[0] = '\0';

    int32_t seed = 0, masked = 0;
    bool nothing = false;
    if (!readField(file, &seed, &nothing)) return nothing ? BLCryptRecord::end : BLCryptRecord::damaged;
    BLCrypt_MyRandomize(seed);
    if (!readField(file, &masked)) return BLCryptRecord::damaged;

    // 64-bit so that no masked value can overflow; the division truncates toward zero.
    const int64_t lineLength = (int64_t{masked} - BLCRYPT_BIAS) / BLCRYPT_DIVISOR;
    if (lineLength < 0) return BLCryptRecord::damaged;
    if (lineLength == 0) return BLCryptRecord::empty;

    const int32_t keep = static_cast<int32_t>(std::min<int64_t>(lineLength, bufferSize - 1));
    if (KEL_FileReadSome(file, keep, buffer) != keep || !skip(file, lineLength - keep)) {
        buffer[0] = '\0';
        return BLCryptRecord::damaged;
    }
    for (int32_t i = 0; i < keep; ++i) {
        const uint8_t key = static_cast<uint8_t>(BLCrypt_MyRand());
        buffer[i] = static_cast<char>(static_cast<uint8_t>(buffer[i]) - key);
    }
    buffer[keep] = '\0';
    if (kept) *kept = keep;
    if (length) *length = static_cast<int32_t>(lineLength);
    return BLCryptRecord::line;
}

int32_t BLCrypt_Gets(kelFileRec* file, char* buffer, int32_t bufferSize)
{
    int32_t kept = 0;
    return BLCrypt_ReadRecord(file, buffer, bufferSize, &kept) == BLCryptRecord::line ? kept : 0;
}

void BLCrypt_EncodeRecord(const char* line, int32_t length, int32_t seed, uint8_t* out)
{
    put32(out, static_cast<uint32_t>(seed));
    put32(out + 4, static_cast<uint32_t>(int64_t{length} * BLCRYPT_DIVISOR + BLCRYPT_BIAS));
    uint32_t state = static_cast<uint32_t>(seed);
    for (int32_t i = 0; i < length; ++i) {
        state = BLCrypt_Step(state);
        out[8 + i] = static_cast<uint8_t>(static_cast<uint8_t>(line[i]) + static_cast<uint8_t>(state));
    }
}
