#include "core/kelFolderList.h"

bool kelFolderList::start()
{
    entryIndex = -1;
    current.reset();
    name[0] = '\0';
    const bool ok = KEL_ScanFileInFolder(path);
    searchGeneration_ = KEL_FolderSearchGeneration();
    started_ = true;
    return ok;
}

bool kelFolderList::next()
{
    // A listing started since ours has taken the one folder search.
    if (!started_ || searchGeneration_ != KEL_FolderSearchGeneration()) return false;
    for (;;) {
        uint8_t folder = 0;
        if (!KEL_NextFileInFolder(name, &folder, nullptr)) return false;
        if (filterFoldersOn && folder) continue;
        if (filterDocumentsOn && !folder) continue;
        current.set(path);
        if (!current.add(name)) continue;  // beyond what a kel path holds
        if (filterHiddenOn && current.isHidden()) continue;
        ++entryIndex;
        return true;
    }
}

int16_t kelFolderList::count()
{
    start();
    int16_t n = 0;
    while (n < INT16_MAX && next()) ++n;
    start();
    return n;
}

kelFolderList& kelFolderList::filterFolders(uint8_t on)
{
    filterFoldersOn = on;
    start();
    return *this;
}

kelFolderList& kelFolderList::filterDocuments(uint8_t on)
{
    filterDocumentsOn = on;
    start();
    return *this;
}

kelFolderList& kelFolderList::filterHidden(uint8_t on)
{
    filterHiddenOn = on;
    start();
    return *this;
}

kelFolderList& kelFolderList::passKind(const char* text)
{
    KEL_CopyCut(kindText, sizeof kindText, text ? text : "");
    start();
    return *this;
}

kelFolderList& kelFolderList::passKind(uint32_t code)
{
    kindCode = code;
    start();
    return *this;
}
