// The name functions of kel paths: pure text work on ':'-separated paths.
#include <string.h>  // strnlen

#include <cstring>

#include "core/kelFiles.h"

namespace {

// The index of the last c in text[0, end), or -1.
int lastIndexOf(const char* text, int end, char c)
{
    for (int i = end - 1; i >= 0; --i)
        if (text[i] == c) return i;
    return -1;
}

bool copyRange(char* to, int size, const char* from, int count)
{
    if (!to || size <= 0) return false;
    int n = count < size - 1 ? count : size - 1;
    const bool cut = n < count;
    // Step back over UTF-8 continuation bytes so a cut never splits a character.
    if (cut)
        while (n > 0 && (static_cast<unsigned char>(from[n]) & 0xC0) == 0x80) --n;
    std::memmove(to, from, static_cast<size_t>(n));  // from may lie within to
    to[n] = '\0';
    return !cut;
}

}  // namespace

bool KEL_CopyCut(char* to, int size, const char* from)
{
    if (!from) from = "";
    return copyRange(to, size, from, static_cast<int>(std::strlen(from)));
}

bool KEL_FileNameFromPath(const char* path, char* name, int nameSize)
{
    if (!name || nameSize <= 0) return false;
    if (!path) path = "";
    const char* colon = std::strrchr(path, ':');
    return KEL_CopyCut(name, nameSize, colon ? colon + 1 : path);
}

bool KEL_File_IsKind(const char* path, const char* kind)
{
    if (!path || !kind) return false;
    const char* dot = std::strrchr(path, '.');
    if (!dot) return false;
    const char* f = dot + 1;
    const char* k = kind;
    for (; *f && *k; ++f, ++k) {
        const char c = *f;
        const bool upperMatches = c >= 'A' && c <= 'Z' && c + 32 == *k;
        if (c != *k && !upperMatches) return false;
    }
    return *f == '\0' && *k == '\0';
}

bool KEL_File_GetParentName(const char* path, char* name, int nameSize)
{
    if (!path || !name || nameSize <= 0) return false;
    const int length = static_cast<int>(std::strlen(path));
    const int last = lastIndexOf(path, length, ':');
    if (last < 0) return false;
    const int before = lastIndexOf(path, last, ':');
    return copyRange(name, nameSize, path + before + 1, last - before - 1);
}

bool KEL_File_GoParent(char* path)
{
    if (!path) return false;
    const int length = static_cast<int>(std::strlen(path));
    const int last = lastIndexOf(path, length, ':');
    if (last < 0) return false;
    const int before = lastIndexOf(path, last, ':');
    // Nothing above a top-level folder or the relative root; "::" (the root)
    // must not turn into ":" (the current folder).
    if (before < 0 || (before == 0 && path[1] == ':')) return false;
    path[before + 1] = '\0';
    return true;
}

void KEL_File_StripFileName(char* path)
{
    if (!path) return;
    if (char* colon = std::strrchr(path, ':'))
        colon[1] = '\0';
    else
        path[0] = '\0';
}

bool KEL_File_CopyPath(const char* from, char* to, int toSize)
{
    return KEL_CopyCut(to, toSize, from);
}

bool KEL_File_AddToPath(char* path, const char* add, int pathSize)
{
    if (!path || pathSize <= 0) return false;
    const int length = static_cast<int>(::strnlen(path, static_cast<size_t>(pathSize)));
    if (length >= pathSize) {  // not terminated within its buffer: end it there
        path[pathSize - 1] = '\0';
        return false;
    }
    return KEL_CopyCut(path + length, pathSize - length, add);
}
