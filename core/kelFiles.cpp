#include "core/kelFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/PlatFiles.h"

namespace {

int fdOf(const kelFileRec* ref)
{
    return static_cast<int>(ref->handle) - 1;
}

// Only plain files are opened, and none is waited on: a pipe or a device in
// a file's place is refused at once instead of holding the program.
bool open(const char* path, int flags, kelFileRec* ref)
{
    char system[kKelSystemPathMax + 1];
    if (!ref || !KEL_KelPathToSystemPath(path, system)) return false;
    const int fd = plat::openPlainFile(system, flags);
    if (fd < 0) return false;
    ref->handle = fd + 1;
    return true;
}

// Files being created: the careful writer's temporaries, by descriptor,
// put in place when closed. A kelFileRec is copied freely, so the record
// lives here and not in it.
std::mutex gCreatingLock;
std::map<int, std::unique_ptr<plat::ReplaceFile>> gCreating;

std::unique_ptr<plat::ReplaceFile> takeCreating(int fd)
{
    std::lock_guard<std::mutex> hold(gCreatingLock);
    const auto it = gCreating.find(fd);
    if (it == gCreating.end()) return nullptr;
    std::unique_ptr<plat::ReplaceFile> writer = std::move(it->second);
    gCreating.erase(it);
    return writer;
}

bool systemPath(const char* kel, char* out)
{
    return KEL_KelPathToSystemPath(kel, out);
}

}  // namespace

bool KEL_KelPathToSystemPath(const char* kel, char* system, int systemSize)
{
    if (!kel || !system || systemSize <= 0) return false;
    int o = 0;
    const char* p = kel;
    // A bare name without any ':' names a file of the current folder, as
    // "Beatloom.xrs" does; only a path with a volume part is absolute.
    if (*p == ':') {
        ++p;
    } else if (*p != '\0' && std::strchr(p, ':')) {
        system[o++] = '/';
    }
    for (; *p; ++p) {
        if (o >= systemSize - 1) {
            system[0] = '\0';
            return false;
        }
        system[o++] = *p == ':' ? '/' : *p;
    }
    system[o] = '\0';
    return true;
}

bool KEL_SystemPathToKelPath(const char* system, char* kel, int kelSize)
{
    if (!system || !kel || kelSize <= 0) return false;
    kel[0] = '\0';
    if (std::strchr(system, ':')) return false;  // a ':' in a name would read as a separator
    int o = 0;
    auto put = [&](char c) {
        if (o >= kelSize - 1) return false;
        kel[o++] = c;
        return true;
    };
    const char* p = system;
    bool ok = true;
    if (*p == '/') {
        while (*p == '/') ++p;
        if (*p == '\0') ok = put(':') && put(':');  // the root itself
    } else if (*p != '\0') {
        ok = put(':');
    }
    for (; ok && *p; ++p) {
        if (*p == '/' && p[1] == '/') continue;  // "a//b" is "a/b"
        ok = put(*p == '/' ? ':' : *p);
    }
    if (!ok) {
        kel[0] = '\0';
        return false;
    }
    kel[o] = '\0';
    return true;
}

bool KEL_FileExists(const char* path)
{
    char system[kKelSystemPathMax + 1];
    struct stat st;
    return systemPath(path, system) && system[0] != '\0' && ::stat(system, &st) == 0;
}

bool KEL_FileStamp(const char* path, int64_t* size, int64_t* changed)
{
    char system[kKelSystemPathMax + 1];
    struct stat st;
    if (!systemPath(path, system) || system[0] == '\0' || ::stat(system, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (size) *size = st.st_size;
    if (changed) *changed = int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool KEL_FileCreateAndOpen(const char* path, kelFileRec* ref)
{
    char system[kKelSystemPathMax + 1];
    if (!ref || !KEL_KelPathToSystemPath(path, system) || !system[0]) return false;
    auto writer = std::make_unique<plat::ReplaceFile>();
    if (!writer->open(system)) return false;
    const int fd = writer->descriptor();
    {
        std::lock_guard<std::mutex> hold(gCreatingLock);
        gCreating[fd] = std::move(writer);
    }
    ref->handle = fd + 1;
    return true;
}

bool KEL_FileOpen(const char* path, kelFileRec* ref)
{
    return open(path, O_RDWR, ref);
}

bool KEL_FileOpenReadOnly(const char* path, kelFileRec* ref)
{
    return open(path, O_RDONLY, ref);
}

long KEL_FileReadSome(kelFileRec* ref, long count, void* buffer)
{
    if (!ref || ref->handle == 0 || count < 0 || (!buffer && count > 0)) return -1;
    long done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < count) {
        const ssize_t n = ::read(fdOf(ref), out + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

bool KEL_FileRead(kelFileRec* ref, long count, void* buffer)
{
    return KEL_FileReadSome(ref, count, buffer) >= 0;
}

bool KEL_FileWrite(kelFileRec* ref, long count, const void* buffer)
{
    if (!ref || ref->handle == 0 || count < 0 || (!buffer && count > 0)) return false;
    return plat::writeFully(fdOf(ref), buffer, static_cast<size_t>(count));
}

bool KEL_FileSetPos(kelFileRec* ref, long position)
{
    if (!ref || ref->handle == 0 || position < 0 || position > INT32_MAX) return false;
    return ::lseek(fdOf(ref), position, SEEK_SET) >= 0;
}

bool KEL_FileSeekCurPos(kelFileRec* ref, long offset)
{
    if (!ref || ref->handle == 0) return false;
    return ::lseek(fdOf(ref), static_cast<int32_t>(offset), SEEK_CUR) >= 0;
}

bool KEL_FileGetLength(kelFileRec* ref, long* length)
{
    struct stat st;
    if (!ref || ref->handle == 0 || !length || ::fstat(fdOf(ref), &st) != 0) return false;
    if (st.st_size > INT32_MAX) return false;  // sizes are 32-bit throughout
    *length = static_cast<long>(st.st_size);
    return true;
}

bool KEL_FileClose(kelFileRec* ref)
{
    if (!ref || ref->handle == 0) return false;
    const int fd = fdOf(ref);
    ref->handle = 0;
    bool ok = true;
    if ((::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDONLY) {
        const off_t pos = ::lseek(fd, 0, SEEK_CUR);
        ok = pos >= 0 && ::ftruncate(fd, pos) == 0;
    }
    if (std::unique_ptr<plat::ReplaceFile> writer = takeCreating(fd)) {
        if (ok) return writer->commit();
        plat::noteWriteError(errno);
        return false;  // the writer removes its temporary
    }
    return ::close(fd) == 0 && ok;
}

void KEL_FileAbandon(kelFileRec* ref)
{
    if (!ref || ref->handle == 0) return;
    const int fd = fdOf(ref);
    ref->handle = 0;
    // A file being made goes with its writer: closed and removed.
    if (takeCreating(fd)) return;
    ::close(fd);
}

bool KEL_FileSetPosToEnd(kelFileRec* ref)
{
    return ref && ref->handle != 0 && ::lseek(fdOf(ref), 0, SEEK_END) >= 0;
}

namespace {

// The system path of a file or folder itself: a folder path's final
// separator would make the system look through a link at its end.
bool entryPath(const char* path, char* system)
{
    if (!systemPath(path, system) || system[0] == '\0') return false;
    for (size_t n = std::strlen(system); n > 1 && system[n - 1] == '/'; --n) system[n - 1] = '\0';
    return true;
}

}  // namespace

bool KEL_FileIsLink(const char* path)
{
    char system[kKelSystemPathMax + 1];
    struct stat st;
    return entryPath(path, system) && ::lstat(system, &st) == 0 && S_ISLNK(st.st_mode);
}

bool KEL_FileDelete(const char* path)
{
    char system[kKelSystemPathMax + 1];
    if (!entryPath(path, system)) return false;
    struct stat st;
    if (::lstat(system, &st) != 0) return false;
    // A link is removed itself, never what it points to.
    if (S_ISDIR(st.st_mode)) return ::rmdir(system) == 0;
    return ::unlink(system) == 0;
}

bool KEL_FileRename(const char* path, const char* newPath)
{
    char from[kKelSystemPathMax + 1], to[kKelSystemPathMax + 1];
    return systemPath(path, from) && systemPath(newPath, to) && from[0] && to[0] &&
           std::rename(from, to) == 0;
}

bool KEL_CreateDirectory(const char* path)
{
    char system[kKelSystemPathMax + 1];
    if (!systemPath(path, system) || system[0] == '\0') return false;
    if (::mkdir(system, 0755) == 0) return true;
    plat::noteWriteError(errno);  // why, for whoever tells the person
    return false;
}

namespace {

bool copyAll(int in, int out)
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        ssize_t off = 0;
        while (off < n) {
            const ssize_t w = ::write(out, buffer + off, static_cast<size_t>(n - off));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                plat::noteWriteError(w < 0 ? errno : ENOSPC);
                return false;
            }
            off += w;
        }
    }
}

}  // namespace

bool KEL_FileCopy(const char* from, const char* to)
{
    char src[kKelSystemPathMax + 1], dst[kKelSystemPathMax + 1];
    if (!systemPath(from, src) || !systemPath(to, dst) || !src[0] || !dst[0]) return false;
    const int in = plat::openPlainFile(src, O_RDONLY);  // never waits on a pipe
    if (in < 0) return false;
    // The copy is made whole beside the destination and renamed over it: a
    // read-only destination is replaced all the same, and a failed copy
    // leaves it untouched. A destination that is a link (a shared library's
    // file in a user's program folder) becomes a file of its own; what it
    // pointed to is left as it was.
    plat::ReplaceFile out;
    bool ok = out.open(dst, plat::ReplaceFile::Links::replace) && copyAll(in, out.descriptor());
    ::close(in);
    ok = ok && out.commit();
    if (!ok) return false;
    struct stat st;
    if (::stat(out.target().c_str(), &st) == 0) ::chmod(out.target().c_str(), (st.st_mode & 07777) | S_IWUSR);
    return true;
}

void KEL_FileSetDocTypeCreator(long, long) {}

void KEL_StartWriting()
{
    char here[PATH_MAX];
    if (!::getcwd(here, sizeof here)) return;
    plat::keepJournalIn(here);
    plat::sweepLeftovers(here);
    char kel[kKelPathMax + 1];
    std::vector<KelFolderEntry> entries;
    if (!KEL_SystemPathToKelPath(here, kel, sizeof kel - 1) ||
        !KEL_ListFolder((std::string(kel) + ":").c_str(), entries))
        return;
    constexpr char kScript[] = "MixScript-";
    for (const KelFolderEntry& e : entries) {
        if (e.folder || e.name.compare(0, sizeof kScript - 1, kScript) != 0) continue;
        const std::string digits = e.name.substr(sizeof kScript - 1);
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        plat::removeIfLeftOver(std::string(here) + "/" + e.name, std::stol(digits));
    }
}

bool KelSaveFile::begin(const char* kelPath)
{
    abort();
    std::string system(kKelPathMax + 1, '\0');
    if (!kelPath || !KEL_KelPathToSystemPath(kelPath, system.data(), static_cast<int>(system.size())) ||
        system[0] == '\0')
        return false;
    system.resize(std::strlen(system.c_str()));
    if (!replace_.open(system)) return false;
    // A plain descriptor: whoever takes it over closes it without putting
    // anything in place; only commit does.
    file.handle = replace_.release() + 1;
    return true;
}

bool KelSaveFile::commit()
{
    bool ok = file.handle == 0 || KEL_FileClose(&file);
    ok = ok && replace_.commit();
    abort();
    return ok;
}

void KelSaveFile::abort()
{
    if (file.handle != 0) KEL_FileClose(&file);
    replace_.abort();
}
