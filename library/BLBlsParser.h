// Reads a BLS description line by line and cuts each line into tokens.
// Usage: open (or openInFolder); then next, followed by token calls on that
// line (restart to read it again from its start); then close.
//
// Tokens: a word ends at a space, ";" or the end of the line; only the space
// separates words (a tab or carriage return belongs to the word). ";" starts
// a comment that runs to the end of the line. Line feeds inside a line are
// skipped by every token.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/kelFiles.h"
#include "library/BLCrypt.h"

class BLBlsParser {
public:
    // The line buffer; longer lines are cut to kLineSize - 1 bytes.
    static constexpr int kLineSize = 2048;
    // The word buffer of getShort and getLong.
    static constexpr int kNumberSize = 1024;

    BLBlsParser();
    ~BLBlsParser();
    BLBlsParser(const BLBlsParser&) = delete;
    BLBlsParser& operator=(const BLBlsParser&) = delete;

    bool open(const char* path);
    // Opens the first description file (kind "bls", any letter case) of a
    // folder path ending in ':', other than "info.bls".
    bool openInFolder(const char* folder);
    void close();

    // Reads the next line; false at the end of the file, on a damaged record
    // or on a record of length 0. The line is then empty.
    bool next();
    void restart() { cursor = 0; }

    bool getStar();
    // A word longer than the destination (size bytes with the terminator) is
    // cut; the cursor still moves past all of it.
    bool getStr(char* dest, size_t size);
    // The rest of the line up to a comment, cut like a word.
    bool getText(char* dest, size_t size);
    template <size_t N>
    bool getStr(char (&dest)[N])
    {
        return getStr(dest, N);
    }
    template <size_t N>
    bool getText(char (&dest)[N])
    {
        return getText(dest, N);
    }
    // Decimal values; beyond the destination's range they stop at its limit.
    bool getShort(int16_t* value);
    bool getLong(int32_t* value);

    // The current line, and how the last next() ended.
    const char* currentLine() const { return line; }
    BLCryptRecord lastRecord() const { return last; }
    // The record length of the current line before any cut.
    int32_t recordLength() const { return length; }

private:
    char line[kLineSize];
    int16_t cursor = 0;
    kelFileRec file;
    BLCryptRecord last = BLCryptRecord::end;
    int32_t length = 0;
};
