#include "platform/PlatFiles.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

namespace plat {

namespace {

// Links followed before a chain counts as a circle (the system's own limit).
constexpr int kMaxLinks = 40;
// The part of a file's name its temporary file repeats: short enough that
// the dot and the suffix still fit the system's name limit.
constexpr size_t kTempNameStem = 200;

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The mode bits a new file gets here.
mode_t newFileMode()
{
    mode_t mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            unsigned value = 0;
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = static_cast<mode_t>(value);
                break;
            }
        }
        std::fclose(status);
    }
    return 0666 & ~mask;
}

}  // namespace

std::string saveTarget(const std::string& path)
{
    std::string p = path;
    for (int i = 0; i < kMaxLinks; ++i) {
        struct stat st;
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t n = ::readlink(p.c_str(), buffer.data(), buffer.size() - 1);
        if (n <= 0) return {};
        std::string to(buffer.data(), static_cast<size_t>(n));
        if (to[0] != '/') to = folderOf(p) + "/" + to;
        p = to;
    }
    return {};
}

bool ReplaceFile::open(const std::string& path)
{
    abort();
    if (path.empty()) return false;
    target_ = saveTarget(path);
    if (target_.empty()) return false;
    struct stat st;
    if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
    const std::string name = nameOf(target_);
    size_t cut = std::min(name.size(), kTempNameStem);
    // A stem cut inside a character would make a name that is no text.
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    const std::string stem = name.substr(0, cut);
    const std::string pattern = folderOf(target_) + "/." + stem + ".XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;
    fd_ = fd;
    temp_ = temp.data();
    return true;
}

int ReplaceFile::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool ReplaceFile::commit()
{
    if (temp_.empty()) return false;
    const int fd = fd_ >= 0 ? fd_ : ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    bool ok = fd >= 0;
    if (ok) {
        struct stat old;
        if (::lstat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            // The owner only where the system lets us give it; the group
            // alone is often allowed when the owner is not.
            if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
            ::fchmod(fd, old.st_mode & 07777);
        } else {
            ::fchmod(fd, newFileMode());
        }
        ok = ::fsync(fd) == 0;
        ok = ::close(fd) == 0 && ok;
    }
    fd_ = -1;
    if (ok) ok = std::rename(temp_.c_str(), target_.c_str()) == 0;
    if (ok) {
        // The rename itself survives a power loss only once its folder is on disk.
        const int folder = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
    } else {
        ::unlink(temp_.c_str());
    }
    temp_.clear();
    return ok;
}

void ReplaceFile::abort()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
}

int openPlainFile(const std::string& path, int flags)
{
    // The kind is looked at before opening (opening some devices does
    // something) and again after (the name may have changed in between).
    if (!isPlainFile(path)) return -1;
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    const int status = ::fcntl(fd, F_GETFL);
    if (status != -1) ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK);
    return fd;
}

bool isPlainFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace plat
