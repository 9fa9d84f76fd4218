// The records of a BLS description file. Each record holds one line:
//   seed (int32 LE) | masked length (int32 LE) | the line's bytes, scrambled
// where masked length = length x BLCRYPT_DIVISOR + BLCRYPT_BIAS and each byte
// has the low byte of one generator step added to it (modulo 256), the
// generator started from the record's seed.
#pragma once

#include <cstdint>

struct kelFileRec;

// The four constants of the format; reader and writer share them.
constexpr uint32_t BLCRYPT_MULTIPLIER = 871346917u;
constexpr uint32_t BLCRYPT_INCREMENT = 907633u;
constexpr int32_t BLCRYPT_BIAS = 52817;
constexpr int32_t BLCRYPT_DIVISOR = 37;

// One generator step: state x multiplier + increment, modulo 2^32.
constexpr uint32_t BLCrypt_Step(uint32_t state)
{
    return state * BLCRYPT_MULTIPLIER + BLCRYPT_INCREMENT;
}

// The reader's generator. Its state belongs to the calling thread, so two
// threads reading descriptions do not disturb each other.
void BLCrypt_MyRandomize(int32_t seed);
int32_t BLCrypt_MyRand();

// Converts a field read from a file (little-endian) to host order in place.
void BLCrypt_Swap4bytes(int32_t* field);

// How reading one record ended.
enum class BLCryptRecord {
    line,     // a line was read (possibly cut to the buffer)
    end,      // the file ended cleanly before the record
    damaged,  // a partial record, a negative length or a file error
    empty,    // a record of length 0, which ends the reading as the end does
};

// Reads one record into buffer (bufferSize bytes including the terminator)
// and zero-terminates it. A line longer than the buffer is cut to
// bufferSize - 1 bytes and the rest of the record skipped, so the next record
// is read in step. *kept gets the bytes placed in buffer, *length (when
// given) the record's own length.
BLCryptRecord BLCrypt_ReadRecord(kelFileRec* file, char* buffer, int32_t bufferSize, int32_t* kept,
                                 int32_t* length = nullptr);

// Reads one record; the length of the line placed in buffer, 0 when no line
// could be read (at the end of the file, on damage or a record of length 0).
int32_t BLCrypt_Gets(kelFileRec* file, char* buffer, int32_t bufferSize);

// The bytes of one record holding `length` bytes of line, scrambled from
// seed; out must hold 8 + length bytes. The exact inverse of the reader.
void BLCrypt_EncodeRecord(const char* line, int32_t length, int32_t seed, uint8_t* out);
