#include "audio/WinApi.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>

#include "core/kelFiles.h"

namespace {

// What a handle points to. The kel layer reports no position, so the handle
// keeps it; F_seek from the current position needs it.
struct FFile {
    kelFileRec ref;
    int64_t pos = 0;
    bool posKnown = true;
    int32_t dataStart = 44;
};

FFile* fileOf(void* handle)
{
    if (!handle || handle == F_NOFILE) return nullptr;
    return static_cast<FFile*>(handle);
}

// Handle records come from a fixed set first: the loader thread opens loops
// while it plays and must not allocate. The heap serves when all are taken.
constexpr int kPooledFiles = 32;
FFile pooledFiles[kPooledFiles];
std::atomic<bool> pooledInUse[kPooledFiles];

FFile* newFile()
{
    for (int i = 0; i < kPooledFiles; ++i) {
        bool expected = false;
        if (pooledInUse[i].compare_exchange_strong(expected, true, std::memory_order_acquire)) {
            pooledFiles[i] = FFile{};
            return &pooledFiles[i];
        }
    }
    return new (std::nothrow) FFile;
}

void deleteFile(FFile* f)
{
    if (f >= pooledFiles && f < pooledFiles + kPooledFiles) {
        pooledInUse[f - pooledFiles].store(false, std::memory_order_release);
    } else {
        delete f;
    }
}

void* openWith(bool (*opener)(const char*, kelFileRec*), const char* path)
{
    if (!path) return F_NOFILE;
    FFile* f = newFile();
    if (!f) return F_NOFILE;
    if (!opener(path, &f->ref)) {
        deleteFile(f);
        return F_NOFILE;
    }
    return f;
}

}  // namespace

void* F_open(const char* path)
{
    return openWith(KEL_FileOpenReadOnly, path);
}

void* F_creat(const char* path)
{
    return openWith(KEL_FileCreateAndOpen, path);
}

int F_close(void* file)
{
    FFile* f = fileOf(file);
    if (!f) return 0;
    // The kel layer cuts a file at its position when closing it; WriteWaveLen
    // leaves the position at 44, so go to the end first and keep the samples.
    KEL_FileSetPosToEnd(&f->ref);
    const bool ok = KEL_FileClose(&f->ref);
    deleteFile(f);
    return ok ? 1 : 0;
}

void F_abandon(void* file)
{
    FFile* f = fileOf(file);
    if (!f) return;
    KEL_FileAbandon(&f->ref);
    deleteFile(f);
}

std::atomic<F_ReadObserver> F_readObserver{nullptr};

int F_read(void* file, void* buffer, int count)
{
    if (F_ReadObserver observe = F_readObserver.load(std::memory_order_acquire)) observe(file);
    FFile* f = fileOf(file);
    if (!f || !buffer || count <= 0) return 0;
    const long n = KEL_FileReadSome(&f->ref, count, buffer);
    if (n < 0) f->posKnown = false;  // an error part-way leaves the position unknown
    if (n <= 0) return 0;
    if (f->posKnown) f->pos += n;
    return static_cast<int>(n);
}

int F_write(void* file, const void* buffer, int count)
{
    FFile* f = fileOf(file);
    if (!f || !buffer || count <= 0 || !f->posKnown) return 0;
    // A mix may grow past 2 GiB: the position is counted in 64 bits, and
    // only seeks stay within 32 (the header's fields lie at its start).
    if (!KEL_FileWrite(&f->ref, count, buffer)) {
        f->posKnown = false;  // part of it may have been written
        return 0;
    }
    f->pos += count;
    return count;
}

int F_seek(void* file, int offset, int origin)
{
    FFile* f = fileOf(file);
    if (!f) return -1;
    int64_t base = 0;
    if (origin == F_SEEK_CUR) {
        if (!f->posKnown) return -1;
        base = f->pos;
    } else if (origin == F_SEEK_END) {
        long length = 0;
        if (!KEL_FileGetLength(&f->ref, &length)) return -1;
        base = length;
    } else if (origin != F_SEEK_SET) {
        return -1;
    }
    const int64_t target = base + offset;
    if (target < 0 || target > INT32_MAX) return -1;
    if (!KEL_FileSetPos(&f->ref, static_cast<long>(target))) return -1;
    f->pos = target;
    f->posKnown = true;
    return static_cast<int>(target);
}

void* M_alloc(int bytes)
{
    if (bytes < 0) return nullptr;
    return std::calloc(bytes > 0 ? static_cast<size_t>(bytes) : 1, 1);
}

int M_free(void* block)
{
    if (!block) return 0;
    std::free(block);
    return 1;
}

int32_t F_dataStart(void* file)
{
    const FFile* f = fileOf(file);
    return f ? f->dataStart : -1;
}

void F_setDataStart(void* file, int32_t offset)
{
    if (FFile* f = fileOf(file)) f->dataStart = offset;
}
