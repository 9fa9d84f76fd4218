// Plain-text views of a song folder and of a groove document, for people and
// scripts: one item per line, its kind first, fields separated by tabs. Texts
// are printed with backslash, tab, line breaks and other control characters
// escaped (\\, \t, \n, \r, \xNN), so a line is always one item.
//
// Both return the exit code of the program: 0, or 1 after a message on `err`
// when the input cannot be read or is damaged. They need no display and no
// resource file. `programFolder` (a system path) becomes the current folder,
// as at start-up, so that the program's own library folders are looked at.
#pragma once

#include <cstdio>

// beatloom --song-info FOLDER
//   parser, source, folder, title, library, bpm, arpnote, description,
//   songmix, categories, samples, groups; per group "group <g> <name>
//   <count>" and per sample "slot <g> <slot> <id> <file> <label> <volume>
//   <pan> <repeats>"; randomsets, "randomset <r> <name> <count> <groups..>";
//   styles, "style <s> <name> <columns> <rows>", "column <s> <c> <group>",
//   "row <s> <r> <8 columns>". User loops of the song's "User:" folder are
//   listed in their "User" group as the program files them.
int BLInspect_SongInfo(const char* folder, const char* programFolder, FILE* out, FILE* err);

// beatloom --doc-info FILE.bld
//   version, song, songfolder (present or missing), tempo, selected,
//   grooves; per stored groove "groove <i> <id>" and 16 lines "track <i>
//   <t> <volume> <pan> <group> <slot>"; the current groove as "groove
//   current <id>" with its tracks; sequence, "entry <i> <id>", userlength,
//   synth (read or missing).
int BLInspect_DocInfo(const char* document, const char* programFolder, FILE* out, FILE* err);
