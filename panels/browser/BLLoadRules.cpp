#include "panels/browser/BLLoadRules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/kelTextCodec.h"

namespace {

// The number after "Song"; saturates instead of overflowing on long digit runs.
long songNumber(const char* name)
{
    return std::strtol(name + 4, nullptr, 10);
}

void copyCut(char* out, int outSize, const char* text, size_t length)
{
    if (outSize <= 0) return;
    const size_t n = std::min(length, static_cast<size_t>(outSize - 1));
    std::memcpy(out, text, n);
    out[n] = '\0';
}

}  // namespace

bool songNameCompare(const char* a, const char* b)
{
    if (std::strncmp(a, "Song", 4) == 0 && std::strncmp(b, "Song", 4) == 0)
        return songNumber(a) < songNumber(b);
    return std::strcmp(a, b) < 0;
}

void BL_SortEntries(BLLoadEntry* entries, int16_t count)
{
    for (int16_t i = 1; i < count; ++i)
        for (int16_t j = i; j > 0 && songNameCompare(entries[j].folder, entries[j - 1].folder); --j)
            std::swap(entries[j], entries[j - 1]);
}

void BL_LoadDisplayName(const char* title, const char* folder, char* out, int outSize)
{
    if (outSize <= 0) return;
    // One byte a character from here on, so no cut falls inside one.
    const std::string text = KEL_NameToLatin1(title && title[0] ? title : folder ? folder : "");
    const char* shown = text.c_str();
    size_t length = std::strlen(shown);
    if (const char* dash = std::strstr(shown, " -")) length = static_cast<size_t>(dash - shown) + 1;
    if (length > static_cast<size_t>(kBLLoadNameWidth) && outSize > kBLLoadNameWidth + 1) {
        copyCut(out, outSize, shown, kBLLoadNameWidth);
        out[kBLLoadNameWidth] = kBLEllipsis;
        out[kBLLoadNameWidth + 1] = '\0';
        return;
    }
    copyCut(out, outSize, shown, length);
}

void BL_LoadErrorName(const char* folder, char* out, int outSize)
{
    if (outSize > 0)
        std::snprintf(out, static_cast<size_t>(outSize), "%s Load error",
                      KEL_NameToLatin1(folder ? folder : "").c_str());
}

std::string BL_FormatName(const char* message, const char* name)
{
    std::string text = message ? message : "";
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, name ? name : "");
    return text;
}

void getSongDescChunk(const char* text, int16_t n, char* out, int outSize)
{
    if (outSize <= 0) return;
    out[0] = '\0';
    if (!text || n < 0) return;
    const char* p = text;
    for (int16_t line = 0; line <= n; ++line) {
        const size_t rest = std::strlen(p);
        size_t length = rest;
        const char* next = p + rest;
        if (rest > static_cast<size_t>(kBLDescWidth)) {
            // The last blank before the wrap column ends the line; a word
            // longer than a line is cut at the column.
            int blank = kBLDescWidth - 1;
            while (blank >= 0 && p[blank] != ' ') --blank;
            if (blank >= 0) {
                length = static_cast<size_t>(blank);
                next = p + blank + 1;
            } else {
                length = kBLDescWidth;
                next = p + kBLDescWidth;
            }
        }
        if (line == n) {
            copyCut(out, outSize, p, length);
            return;
        }
        p = next;
    }
}

void BLLoadPage::moveSelection(int16_t delta)
{
    int selected = selection - delta;
    selected = std::clamp(selected, 0, std::max(0, count - 1));
    selection = static_cast<int16_t>(selected);
    if (selection < offset) offset = selection;
    if (selection > offset + kBLLoadListLines - 1)
        offset = static_cast<int16_t>(selection - (kBLLoadListLines - 1));
    if (offset < 0) offset = 0;
}

int16_t BLLoadPage::entryOnLine(int16_t line) const
{
    if (line < 0 || line >= kBLLoadListLines) return -1;
    const int entry = offset + line;
    return entry < count ? static_cast<int16_t>(entry) : -1;
}

std::string BL_TempoLine(const char* title, const char* library, int bpm)
{
    std::string line = BL_ShownTitle(title);
    if (library && library[0]) line += std::string(" (") + library + ")";
    return line + " " + std::to_string(bpm) + " BPM";
}
