// The open-types text and the one folder search of the program.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/kelFiles.h"

namespace {

// The patterns twice, each followed by a NUL, then a final NUL: the pair of
// description and pattern the system dialogs take. Dialog threads read it.
constexpr int kOpenTypesSize = 256;
constexpr int kOpenTypesMax = (kOpenTypesSize - 3) / 2;
std::mutex gOpenTypesMutex;
char gOpenTypes[kOpenTypesSize] = {};

using SearchEntry = KelFolderEntry;

struct FolderSearch {
    std::vector<SearchEntry> entries;
    size_t next = 0;
    bool open = false;
    uint32_t generation = 0;
};

FolderSearch gSearch;

// The open-types test: the name from its last '.' on against each pattern
// of the list, exactly, leading '*' of each pattern skipped.
bool matchesTypes(const char* name, const char* types)
{
    const char* dot = std::strrchr(name, '.');
    const char* tail = dot ? dot : name + std::strlen(name);
    const char* pattern = types + 1;
    for (;;) {
        const char* n = tail;
        const char* p = pattern;
        while (*n != '\0' && *n == *p) {
            ++n;
            ++p;
        }
        if (*n == '\0' && (*p == '\0' || *p == ';')) return true;
        const char* semicolon = std::strchr(p, ';');
        if (!semicolon) return false;
        pattern = semicolon + 1;
        if (*pattern == '*') ++pattern;
    }
}

bool isFolderEntry(DIR* dir, const dirent* entry)
{
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
    struct stat st;  // a link counts as what it points to
    return ::fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool KEL_FileDialogCanOpenTypes(const char* types)
{
    if (!types) types = "";
    int keep = static_cast<int>(std::strlen(types));
    bool whole = true;
    if (keep > kOpenTypesMax) {
        // Keep whole patterns only: a cut pattern would match other kinds.
        whole = false;
        keep = 0;
        for (int i = 0; i <= kOpenTypesMax; ++i)
            if (types[i] == ';') keep = i;
    }
    std::lock_guard<std::mutex> lock(gOpenTypesMutex);
    std::memset(gOpenTypes, 0, sizeof gOpenTypes);
    std::memcpy(gOpenTypes, types, static_cast<size_t>(keep));
    std::memcpy(gOpenTypes + keep + 1, types, static_cast<size_t>(keep));
    return whole;
}

std::string KEL_FileDialogOpenTypes()
{
    std::lock_guard<std::mutex> lock(gOpenTypesMutex);
    return std::string(gOpenTypes);
}

bool KEL_ListFolder(const char* folder, std::vector<KelFolderEntry>& entries,
                    std::vector<KelFolderEntry>* leftOut)
{
    entries.clear();
    if (leftOut) leftOut->clear();
    char system[kKelSystemPathMax + 1];
    if (!folder || !KEL_KelPathToSystemPath(folder, system)) return false;
    DIR* dir = ::opendir(system[0] ? system : ".");
    if (!dir) return false;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (std::strchr(name, ':') || std::strlen(name) > static_cast<size_t>(kKelNameMax)) {
            if (leftOut) leftOut->push_back(SearchEntry{name, isFolderEntry(dir, entry)});
            continue;
        }
        entries.push_back(SearchEntry{name, isFolderEntry(dir, entry)});
    }
    ::closedir(dir);
    // Byte order, so a listing is the same on every file system.
    std::sort(entries.begin(), entries.end(),
              [](const SearchEntry& a, const SearchEntry& b) { return a.name < b.name; });
    return true;
}

bool KEL_ScanFileInFolder(const char* folder)
{
    ++gSearch.generation;
    gSearch.next = 0;
    const bool ok = KEL_ListFolder(folder, gSearch.entries);
    gSearch.open = !gSearch.entries.empty();
    return ok;
}

bool KEL_NextFileInFolder(char* name, uint8_t* isFolder, uint8_t* matchesTypesFlag)
{
    if (!gSearch.open) return false;
    const SearchEntry& entry = gSearch.entries[gSearch.next];
    if (name) KEL_CopyCut(name, kKelNameMax + 1, entry.name.c_str());
    if (isFolder) *isFolder = entry.folder ? 1 : 0;
    if (matchesTypesFlag) {
        std::lock_guard<std::mutex> lock(gOpenTypesMutex);
        *matchesTypesFlag = matchesTypes(entry.name.c_str(), gOpenTypes) ? 1 : 0;
    }
    if (++gSearch.next >= gSearch.entries.size()) {
        gSearch.open = false;
        gSearch.entries.clear();
        gSearch.next = 0;
    }
    return true;
}

uint32_t KEL_FolderSearchGeneration()
{
    return gSearch.generation;
}
