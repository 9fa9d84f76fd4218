#include "library/BLSongText.h"

#include <cstring>
#include <vector>

#include "core/kelFiles.h"

namespace bltext {

void upperFirst(char* text)
{
    if (text && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
}

void append(char* text, size_t size, const char* add)
{
    const size_t used = std::strlen(text);
    if (used + 1 >= size || !add) return;
    KEL_CopyCut(text + used, static_cast<int>(size - used), add);
}

void folderNameOf(const char* folder, char* out, size_t size)
{
    char name[kKelNameMax + 1];
    if (!folder || !KEL_File_GetParentName(folder, name, sizeof name)) name[0] = '\0';
    KEL_CopyCut(out, static_cast<int>(size), name);
}

bool isPlainName(const char* name)
{
    return name && name[0] && !std::strchr(name, ':') && !std::strchr(name, '/') &&
           std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

std::string firstDescriptionIn(const char* folder)
{
    std::vector<KelFolderEntry> entries;
    if (!folder || !KEL_ListFolder(folder, entries)) return {};
    for (const KelFolderEntry& e : entries)
        if (!e.folder && KEL_File_IsKind(e.name.c_str(), "bls") && e.name != "info.bls") return e.name;
    return {};
}

}  // namespace bltext

std::string BL_ShownTitle(const char* title)
{
    std::string shown = title ? title : "";
    const std::string mark = " (embedded)";
    if (shown.size() >= mark.size() && shown.compare(shown.size() - mark.size(), mark.size(), mark) == 0)
        shown.erase(shown.size() - mark.size());
    return shown;
}
