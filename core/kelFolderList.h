// The entries of one folder, one at a time, through the program's folder search.
#pragma once

#include <cstdint>

#include "core/kelPath.h"

// Its own path is the folder being listed, ending with ':'. By default the
// list gives files only (no folders), and no hidden entries.
class kelFolderList : public kelPath {
public:
    kelFolderList() = default;
    explicit kelFolderList(const char* folder) : kelPath(folder) {}

    // Starts the listing again; false when the folder cannot be read.
    virtual bool start();
    // The next entry that passes the filters: `name` and `current` describe it.
    // False at the end, and when another listing has taken the folder search.
    virtual bool next();
    // The number of entries; the listing is started again afterwards.
    virtual int16_t count();
    // Each stores its value and starts the listing again.
    virtual kelFolderList& filterFolders(uint8_t on);
    virtual kelFolderList& filterDocuments(uint8_t on);
    virtual kelFolderList& filterHidden(uint8_t on);
    // Recorded only: callers filter by extension themselves. Null clears.
    virtual kelFolderList& passKind(const char* text);
    virtual kelFolderList& passKind(uint32_t code);

    kelPath current;  // folder + name of the entry given last
    char name[kKelNameMax + 1] = {};
    uint8_t filterFoldersOn = 1;  // skip folders
    uint8_t filterDocumentsOn = 0;
    uint8_t filterHiddenOn = 1;
    char kindText[kKelNameMax + 1] = {};
    uint32_t kindCode = 0x2A2A2A2A;  // '****'
    int16_t entryIndex = -1;

private:
    uint32_t searchGeneration_ = 0;
    bool started_ = false;
};
