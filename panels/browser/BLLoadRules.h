// The song browser's rules that need no screen: the entry table, the order of
// song names, the names the list shows, the description's lines and the
// visible page of the list.
#pragma once

#include <cstdint>
#include <string>

#include "core/kelFiles.h"
#include "library/BLSongText.h"

constexpr int16_t kBLLoadMaxEntries = 64;
constexpr int16_t kBLLoadListLines = 9;
// Titles longer than this are cut and end in the ellipsis.
constexpr int kBLLoadNameWidth = 25;
constexpr char kBLEllipsis = static_cast<char>(0xC9);
// The description wraps at this column into this many lines.
constexpr int kBLDescWidth = 76;
constexpr int16_t kBLDescLines = 4;

struct BLLoadEntry {
    char folder[kKelNameMax + 1] = {};
    // Room for a folder name and " Load error".
    char name[kKelNameMax + 16] = {};
    uint8_t loadable = 0;
};

// True when a sorts before b: "SongN" names by their numbers, others by bytes.
bool songNameCompare(const char* a, const char* b);

// Insertion sort of the table by folder name.
void BL_SortEntries(BLLoadEntry* entries, int16_t count);

// The list's name of a song: its title cut at the first " -" (the blank
// stays), then cut to 25 characters and the ellipsis when longer. An empty
// title shows the folder name instead.
void BL_LoadDisplayName(const char* title, const char* folder, char* out, int outSize);
// The name of a song whose description does not load.
void BL_LoadErrorName(const char* folder, char* out, int outSize);

// The line under the title: "title (library) N BPM", without "()" for a
// song that names no library.
std::string BL_TempoLine(const char* title, const char* library, int bpm);

// A message text with its first "%s" replaced by a name; every other
// character stays as it is (the text comes from a file: it is no format).
std::string BL_FormatName(const char* message, const char* name);

// Line n (from 0) of the text wrapped at 76 characters at blanks; empty past
// the end. `out` holds at least kBLDescWidth + 1 bytes; a word longer than a
// line is cut there.
void getSongDescChunk(const char* text, int16_t n, char* out, int outSize);

// Which entries the nine list lines show and which one is selected.
struct BLLoadPage {
    int16_t offset = 0;
    int16_t selection = 0;
    int16_t count = 0;

    // delta is subtracted (the up key moves toward the first entry); the
    // selection stays within the table and the page follows it.
    void moveSelection(int16_t delta);
    bool upEnabled() const { return offset >= 1; }
    bool downEnabled() const { return count > kBLLoadListLines - 1 && offset < count - kBLLoadListLines; }
    // The entry on a list line, -1 for a line past the end.
    int16_t entryOnLine(int16_t line) const;
};
