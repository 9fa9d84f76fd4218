// The file layer: kel paths (colon-separated, relative to the program folder
// or starting with a top-level folder) and the file functions over them.
#pragma once

#include <cstdint>

// One open file; 0 means closed.
struct kelFileRec {
    intptr_t handle = 0;
};

// Longest system path the layer hands to the system (its conversion buffer
// holds 256 bytes with the terminating NUL).
constexpr int kKelSystemPathMax = 255;
// Longest kel path a kelPath holds.
constexpr int kKelPathMax = 2047;

// Path conversion: `system` must hold kKelSystemPathMax + 1 bytes (or more for
// longer paths, see the size forms). False when the result does not fit.
bool KEL_KelPathToSystemPath(const char* kel, char* system, int systemSize = kKelSystemPathMax + 1);
bool KEL_SystemPathToKelPath(const char* system, char* kel, int kelSize = kKelPathMax + 1);

// Files; every path is a kel path.
bool KEL_FileExists(const char* path);
bool KEL_FileCreateAndOpen(const char* path, kelFileRec* ref);
bool KEL_FileOpen(const char* path, kelFileRec* ref);
bool KEL_FileOpenReadOnly(const char* path, kelFileRec* ref);
bool KEL_FileRead(kelFileRec* ref, long count, void* buffer);
bool KEL_FileWrite(kelFileRec* ref, long count, const void* buffer);
bool KEL_FileSetPos(kelFileRec* ref, long position);
bool KEL_FileSeekCurPos(kelFileRec* ref, long offset);
bool KEL_FileGetLength(kelFileRec* ref, long* length);
// Sets the end of the file at the current position, then closes it.
bool KEL_FileClose(kelFileRec* ref);
bool KEL_FileDelete(const char* path);
bool KEL_FileRename(const char* path, const char* newPath);
bool KEL_CreateDirectory(const char* path);
bool KEL_FileCopy(const char* from, const char* to);
void KEL_FileSetDocTypeCreator(long type, long creator);

// Reads up to `count` bytes at the current position; the number read, -1 on
// an error. (KEL_FileRead reports success only, as callers of the layer expect.)
long KEL_FileReadSome(kelFileRec* ref, long count, void* buffer);
