// The file layer: kel paths (colon-separated, relative to the program folder
// or starting with a top-level folder) and the file functions over them.
//
// How kel paths map here:
//   ":Library:Song:"   <-> "Library/Song/"   (relative to the current folder)
//   "home:me:x.wav"    <-> "/home/me/x.wav"  (first component: a top-level folder)
//   "::"               <-> "/"               (the file-system root itself)
//   "Beatloom.xrs"      -> "Beatloom.xrs"    (a bare name: a file of the current folder)
// A system name that holds ':' cannot be written as a kel path; such names
// are refused by the conversion and left out of folder listings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/PlatFiles.h"

// One open file; 0 means closed.
struct kelFileRec {
    intptr_t handle = 0;
};

// Longest kel path a kelPath holds.
constexpr int kKelPathMax = 2047;
// Longest system path the layer hands to the system: any kel path the
// program can hold converts (the system itself allows longer ones).
constexpr int kKelSystemPathMax = kKelPathMax;
// Longest file or folder name (the system's own limit).
constexpr int kKelNameMax = 255;

// Path conversion: `system` must hold kKelSystemPathMax + 1 bytes (or more for
// longer paths, see the size forms). False when the result does not fit.
bool KEL_KelPathToSystemPath(const char* kel, char* system, int systemSize = kKelSystemPathMax + 1);
bool KEL_SystemPathToKelPath(const char* system, char* kel, int kelSize = kKelPathMax + 1);

// Names within kel paths. Outputs are cut (never overrun) at their size; the
// default sizes are the capacities callers provide: kKelNameMax + 1 for a
// name, kKelPathMax + 1 for a path. The bool results are false when a text
// had to be cut (besides the failures each function names).
//
// The text after the last ':' (the whole text without one).
bool KEL_FileNameFromPath(const char* path, char* name, int nameSize = kKelNameMax + 1);
// True when the text after the path's last '.' is `kind` (lower case, no
// dot); an upper-case letter of the file matches the lower-case kind.
bool KEL_File_IsKind(const char* path, const char* kind);
// The text between the last two ':' (the folder holding the last component):
// "Song" for ":Library:Song:take.wav" and for ":Library:Song:". False when
// the path has no ':' or name is null.
bool KEL_File_GetParentName(const char* path, char* name, int nameSize = kKelNameMax + 1);
// Cuts after the second-to-last ':': ":Library:Song:" -> ":Library:" -> ":".
// False, path unchanged, when there is no parent to go to: no ':', the
// relative root ":", the root "::" or a top-level folder ("home:").
bool KEL_File_GoParent(char* path);
// Cuts everything after the last ':'; a path without ':' becomes empty.
void KEL_File_StripFileName(char* path);
bool KEL_File_CopyPath(const char* from, char* to, int toSize = kKelPathMax + 1);
bool KEL_File_AddToPath(char* path, const char* add, int pathSize = kKelPathMax + 1);
// Copies at most size - 1 bytes and terminates; never splits a UTF-8
// sequence. False when the text was cut.
bool KEL_CopyCut(char* to, int size, const char* from);

// The open-types text: the filter of the file dialogs and of the folder scan.
// "*.bld" or "*.wav;*.aif". The text holds 256 bytes (the patterns twice),
// so at most 126 characters of patterns are kept, cut before the first
// pattern that does not fit (false then). Null clears it.
bool KEL_FileDialogCanOpenTypes(const char* types);
// The patterns as last set ("" when none). Safe from any thread.
std::string KEL_FileDialogOpenTypes();

// The folder search, one for the whole program: starting one abandons the
// one before. Entries come in byte order of their names, without "." and
// "..". False when the folder cannot be read (no search is open then).
bool KEL_ScanFileInFolder(const char* folder);
// A listing of its own, in byte order, that leaves the shared search alone
// (readers that look into a folder while a lister walks its parent).
struct KelFolderEntry {
    std::string name;
    bool folder;
};
// `leftOut`, when given, gets the entries a kel path cannot name.
bool KEL_ListFolder(const char* folder, std::vector<KelFolderEntry>& entries,
                    std::vector<KelFolderEntry>* leftOut = nullptr);
// The next entry: its name (`name` holds kKelNameMax + 1 bytes), whether it
// is a folder, whether it matches the open-types text. False at the end.
bool KEL_NextFileInFolder(char* name, uint8_t* isFolder, uint8_t* matchesTypes);
// Changes with every KEL_ScanFileInFolder: a lister that started the search
// can tell whether it still owns it.
uint32_t KEL_FolderSearchGeneration();

// Files; every path is a kel path.
bool KEL_FileExists(const char* path);
// Creates the file through the careful writer (platform/PlatFiles.h): what
// is written goes to a temporary beside it, and KEL_FileClose puts it in
// place over any old file of that name. Until then, and after
// KEL_FileAbandon, the old file stays as it was.
bool KEL_FileCreateAndOpen(const char* path, kelFileRec* ref);
bool KEL_FileOpen(const char* path, kelFileRec* ref);
bool KEL_FileOpenReadOnly(const char* path, kelFileRec* ref);
bool KEL_FileRead(kelFileRec* ref, long count, void* buffer);
bool KEL_FileWrite(kelFileRec* ref, long count, const void* buffer);
bool KEL_FileSetPos(kelFileRec* ref, long position);
bool KEL_FileSeekCurPos(kelFileRec* ref, long offset);
bool KEL_FileGetLength(kelFileRec* ref, long* length);
// Sets the end of the file at the current position, then closes it; a file
// from KEL_FileCreateAndOpen is then put in place (false when it could not be).
bool KEL_FileClose(kelFileRec* ref);
// Closes without putting anything in place: a file being created is
// removed, and the old file of its name stays.
void KEL_FileAbandon(kelFileRec* ref);
// The position at the end of the file, however large.
bool KEL_FileSetPosToEnd(kelFileRec* ref);
// Deletes a file, or a folder that is empty; a link (also one given as a
// folder path) is removed itself, never what it points to.
bool KEL_FileDelete(const char* path);
// True when the path (a file or folder path) is a symbolic link.
bool KEL_FileIsLink(const char* path);
// Moves the file to newPath, replacing a file there (atomically when both
// are on one file system).
bool KEL_FileRename(const char* path, const char* newPath);
bool KEL_CreateDirectory(const char* path);
// Replaces `to` with a copy of `from`, also when `to` is read-only; the new
// copy is writable. A failed copy leaves `to` as it was.
bool KEL_FileCopy(const char* from, const char* to);
void KEL_FileSetDocTypeCreator(long type, long creator);

// A file's size and the time it last changed (nanoseconds), links followed:
// enough to tell whether it changed since. False for anything but a plain file.
bool KEL_FileStamp(const char* path, int64_t* size, int64_t* changed);

// At start, in the program folder (the current folder): this instance's
// list of temporaries is kept here from now on, and what instances that are
// gone left is removed: the careful writer's temporaries wherever their
// lists say they were made, and the mix scripts of earlier renders
// ("MixScript-" and a pid). Nothing else is touched.
void KEL_StartWriting();

// Reads up to `count` bytes at the current position; the number read, -1 on
// an error. (KEL_FileRead reports success only, as callers of the layer expect.)
long KEL_FileReadSome(kelFileRec* ref, long count, void* buffer);

// Saving a user's file whole through the careful writer, for writers that
// take the descriptor over and close it themselves: closing puts nothing in
// place, commit does, with the old file's mode and owner. Until then, and
// after any failure, the old file stays as it was. A pipe, a device or a
// folder at the path is never written: begin refuses.
class KelSaveFile {
public:
    KelSaveFile() = default;
    ~KelSaveFile() { abort(); }
    KelSaveFile(const KelSaveFile&) = delete;
    KelSaveFile& operator=(const KelSaveFile&) = delete;

    bool begin(const char* kelPath);
    // Closes `file` when the writer has not, and puts the new file in place.
    bool commit();
    void abort();

    // Open for reading and writing from begin to commit; a writer may close
    // it itself (KEL_FileClose) before commit.
    kelFileRec file;

private:
    plat::ReplaceFile replace_;
};
