#include "library/BLBlsParser.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char kLineFeed = '\n';

// The decimal conversion of the C library (leading white space and a sign
// accepted, stopping at the first non-digit, 0 without digits), except that
// values past 32 bits stop at the limit instead of being undefined.
int64_t decimalValue(const char* s)
{
    while (*s == ' ' || (*s >= '\t' && *s <= '\r')) ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') negative = *s++ == '-';
    int64_t value = 0;
    for (; *s >= '0' && *s <= '9'; ++s) {
        value = value * 10 + (*s - '0');
        if (value > int64_t{INT32_MAX} + 1) break;
    }
    return negative ? -value : value;
}

}  // namespace

BLBlsParser::BLBlsParser()
{
    line[0] = '\0';
}

BLBlsParser::~BLBlsParser()
{
    close();
}

bool BLBlsParser::open(const char* path)
{
    close();
    cursor = 0;
    line[0] = '\0';
    return path && KEL_FileOpenReadOnly(path, &file);
}

bool BLBlsParser::openInFolder(const char* folder)
{
    // Files only (a folder named like a description is none), the first in
    // name order so that the choice is the same on every machine.
    std::vector<KelFolderEntry> entries;
    if (!folder || !KEL_ListFolder(folder, entries)) return false;
    for (const KelFolderEntry& e : entries)
        if (!e.folder && KEL_File_IsKind(e.name.c_str(), "bls") && e.name != "info.bls")
            return open((std::string(folder) + e.name).c_str());
    return false;
}

void BLBlsParser::close()
{
    if (file.handle != 0) KEL_FileClose(&file);
    file.handle = 0;
}

bool BLBlsParser::next()
{
    cursor = 0;
    int32_t kept = 0;
    last = file.handle != 0 ? BLCrypt_ReadRecord(&file, line, kLineSize, &kept, &length) : BLCryptRecord::end;
    if (last != BLCryptRecord::line || kept == 0) {
        line[0] = '\0';
        length = 0;
        return false;
    }
    if (line[0] == kLineFeed) std::memmove(line, line + 1, static_cast<size_t>(kept));  // the terminator too
    cursor = 0;
    return true;
}

bool BLBlsParser::getStar()
{
    if (line[cursor] != '*') return false;
    ++cursor;
    return true;
}

bool BLBlsParser::getStr(char* dest, size_t size)
{
    size_t n = 0;
    for (char c; (c = line[cursor]) != '\0' && c != ' ' && c != ';'; ++cursor) {
        if (c != kLineFeed && dest && n + 1 < size) dest[n++] = c;
    }
    while (line[cursor] == ' ') ++cursor;
    if (dest && size > 0) dest[n] = '\0';
    return n > 0;
}

bool BLBlsParser::getText(char* dest, size_t size)
{
    size_t n = 0;
    for (char c; (c = line[cursor]) != '\0' && c != ';'; ++cursor) {
        if (c != kLineFeed && dest && n + 1 < size) dest[n++] = c;
    }
    if (dest && size > 0) dest[n] = '\0';
    return n > 0;
}

bool BLBlsParser::getShort(int16_t* value)
{
    char word[kNumberSize];
    if (!getStr(word)) return false;
    if (value) *value = static_cast<int16_t>(std::clamp<int64_t>(decimalValue(word), INT16_MIN, INT16_MAX));
    return true;
}

bool BLBlsParser::getLong(int32_t* value)
{
    char word[kNumberSize];
    if (!getStr(word)) return false;
    if (value) *value = static_cast<int32_t>(std::clamp<int64_t>(decimalValue(word), INT32_MIN, INT32_MAX));
    return true;
}
