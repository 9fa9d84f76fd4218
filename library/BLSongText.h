// Small text helpers of the song library: fields filled without overrun.
#pragma once

#include <cstddef>
#include <string>

namespace bltext {

constexpr char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The first letter made upper case when it is a .. z.
void upperFirst(char* text);
// Appends as much of `add` as fits (never splitting a UTF-8 sequence).
void append(char* text, size_t size, const char* add);
// The song folder's own name (its last component), cut to the field.
void folderNameOf(const char* folder, char* out, size_t size);
// A name that stands for one entry of a folder: not empty, no ':' or '/',
// not "." or "..", so it cannot lead out of that folder.
bool isPlainName(const char* name);
// The name of the description file that BLBlsParser::openInFolder opens in
// `folder`; empty when there is none.
std::string firstDescriptionIn(const char* folder);

}  // namespace bltext

// A song's title as a musician reads it: without the " (embedded)" that
// marks a description kept in the program's own store.
std::string BL_ShownTitle(const char* title);
