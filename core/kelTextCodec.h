// The program's 8-bit character set and the one place where text crosses
// between it and UTF-8 (message boxes, text-table sources, tools).
//
// The set is Latin-1, except that code 0xC9 is the ellipsis: the skin font
// draws it there, and titles cut short end with it.
#pragma once

#include <string>
#include <string_view>

constexpr unsigned char kKelEllipsisCode = 0xC9;

std::string KEL_Latin1ToUtf8(std::string_view text);

// False, with `error` telling where, for text that is not UTF-8 or holds a
// character the 8-bit set has no code for.
bool KEL_Utf8ToLatin1(std::string_view utf8, std::string& out, std::string* error = nullptr);

// A text table's source file (UTF-8, lines ending in LF or CR LF, an optional
// byte-order mark) as the table is stored: 8-bit, lines ending in CR.
bool KEL_TextSourceToTable(std::string_view source, std::string& table, std::string* error = nullptr);
// The reverse: CR becomes LF, 8-bit becomes UTF-8.
std::string KEL_TableToTextSource(std::string_view table);

// Names that come from outside (folder and file names, song descriptions)
// are UTF-8 when they read as such, and 8-bit text otherwise.
bool KEL_IsUtf8(std::string_view text);
// Such a name for the window system's boxes: always UTF-8.
std::string KEL_NameToUtf8(std::string_view name);
// Such a name for the skin font: one byte a character, '?' for a character
// the 8-bit set has no code for.
std::string KEL_NameToLatin1(std::string_view name);
