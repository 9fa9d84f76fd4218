// The engine's file and memory layer: one function per platform call, over
// the kel file layer. Every path is a kel path.
//
// Threads: the functions keep no state of their own beyond the handle they
// are given, so different threads may use different handles at once (the
// loader thread reads loops while the main thread writes a render). One
// handle belongs to one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>

// The handle value that stands for no file everywhere in the engine.
#define F_NOFILE (reinterpret_cast<void*>(static_cast<intptr_t>(-1)))

// Origins of F_seek.
constexpr int F_SEEK_SET = 0;
constexpr int F_SEEK_CUR = 1;
constexpr int F_SEEK_END = 2;

// Opens an existing file for reading; F_NOFILE when it cannot be opened.
void* F_open(const char* path);
// Creates the file for writing through the careful writer: an older file of
// that name stays until F_close puts the new one in its place. F_NOFILE on
// failure (plat::lastWriteError tells why).
void* F_creat(const char* path);
// Closes the handle; nonzero on success. The file keeps everything written,
// wherever the position was left; a file from F_creat is put in place (zero
// when that failed, and the old file stays).
int F_close(void* file);
// Closes a file from F_creat without putting it in place: it is removed,
// and an older file of its name stays as it was. Other handles just close.
void F_abandon(void* file);
// Bytes actually read; 0 at the end of the file or on an error.
int F_read(void* file, void* buffer, int count);
// Called on the reading thread before every read; null = none. Lets a test
// stand in for a disk that is slow or does not answer.
using F_ReadObserver = void (*)(void* file);
extern std::atomic<F_ReadObserver> F_readObserver;
// Bytes actually written.
int F_write(void* file, const void* buffer, int count);
// Moves the position (origin F_SEEK_SET, F_SEEK_CUR or F_SEEK_END); the new
// position, or -1 when it cannot be set.
int F_seek(void* file, int offset, int origin);

// A zero-filled block of `bytes` bytes, or null when the heap is exhausted.
void* M_alloc(int bytes);
// Returns a block from M_alloc to the heap; nonzero on success.
int M_free(void* block);

// Where the sample data of a file opened by OpenWave starts (44 for every
// other handle); -1 for no file. Used by SeekWave.
int32_t F_dataStart(void* file);
void F_setDataStart(void* file, int32_t offset);
