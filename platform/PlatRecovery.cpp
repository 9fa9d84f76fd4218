#include "platform/PlatRecovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "platform/PlatFiles.h"

namespace plat {

namespace {

constexpr const char* kPrefix = "work-";
constexpr const char* kLock = ".lock";
constexpr const char* kWork = ".bld";
constexpr const char* kDiscarded = ".bld.discarded";
constexpr int64_t kDiscardedKeptSeconds = 30 * 24 * 3600;

bool endsWith(const std::string& s, const std::string& end)
{
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

bool makeFolders(const std::string& path)
{
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != '/') continue;
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t modifiedTime(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int64_t>(st.st_mtime) : 0;
}

// The lock of a recovery file, opened (made when missing) and locked
// without waiting; -1 when another instance holds it.
int takeLock(const std::string& lock)
{
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string stemOf(const std::string& path, const char* end)
{
    return path.substr(0, path.size() - std::char_traits<char>::length(end));
}

}  // namespace

std::string RecoveryStore::folder()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/') return std::string(state) + "/beatloom";
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : "/tmp") + "/.local/state/beatloom";
}

RecoveryStore::~RecoveryStore()
{
    for (auto& [path, fd] : taken_) ::close(fd);
    if (lockFd_ >= 0) ::close(lockFd_);
}

bool RecoveryStore::open()
{
    if (lockFd_ >= 0) return true;
    const std::string where = folder();
    if (!makeFolders(where)) return false;
    std::random_device random;
    for (int attempt = 0; attempt < 8 && lockFd_ < 0; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "%s%ld-%08x", kPrefix, static_cast<long>(::getpid()),
                      static_cast<unsigned>(random()));
        const std::string stem = where + "/" + name;
        // A name no other instance has: the lock is made here, never taken over.
        const int fd =
            ::open((stem + kLock).c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            continue;
        }
        lockFd_ = fd;
        stem_ = stem;
        file_ = stem + kWork;
    }
    return lockFd_ >= 0;
}

bool RecoveryStore::write(const std::vector<uint8_t>& bytes)
{
    if (lockFd_ < 0 && !open()) return false;
    ReplaceFile out;
    if (!out.open(file_)) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(out.descriptor(), bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    written_ = out.commit();
    return written_;
}

void RecoveryStore::remove()
{
    if (!file_.empty()) ::unlink(file_.c_str());
    written_ = false;
}

void RecoveryStore::close()
{
    remove();
    if (lockFd_ < 0) return;
    ::unlink((stem_ + kLock).c_str());
    ::close(lockFd_);
    lockFd_ = -1;
}

std::vector<RecoveryStore::Left> RecoveryStore::leftBehind()
{
    std::vector<Left> found;
    const std::string where = folder();
    DIR* dir = ::opendir(where.c_str());
    if (!dir) return found;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir)) names.emplace_back(e->d_name);
    ::closedir(dir);
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    for (const std::string& name : names) {
        if (name.rfind(kPrefix, 0) != 0) continue;
        const std::string path = where + "/" + name;
        if (endsWith(name, kDiscarded)) {
            if (now - modifiedTime(path) > kDiscardedKeptSeconds) ::unlink(path.c_str());
            continue;
        }
        const bool isLock = endsWith(name, kLock);
        if (!isLock && !endsWith(name, kWork)) continue;
        const std::string stem = stemOf(path, isLock ? kLock : kWork);
        if (stem == stem_) continue;
        const std::string work = stem + kWork;
        if (taken_.count(work)) continue;
        struct stat st;
        const bool hasWork = ::lstat(work.c_str(), &st) == 0 && S_ISREG(st.st_mode);
        if (isLock && hasWork) continue;  // met again under its work's name
        const int fd = takeLock(stem + kLock);
        if (fd < 0) continue;  // its instance runs
        if (!hasWork) {
            // An instance that ended with nothing unsaved left its lock only.
            ::unlink((stem + kLock).c_str());
            ::close(fd);
            continue;
        }
        taken_[work] = fd;
        found.push_back({work, modifiedTime(work)});
    }
    std::sort(found.begin(), found.end(),
              [](const Left& a, const Left& b) { return a.modified > b.modified; });
    return found;
}

bool RecoveryStore::read(const Left& left, std::vector<uint8_t>& bytes)
{
    const int fd = openPlainFile(left.path, O_RDONLY);
    if (fd < 0) return false;
    bytes.clear();
    uint8_t buffer[16384];
    ssize_t n;
    // A recovery file is a document of some kilobytes; anything far larger is no such file.
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0 && bytes.size() < (4u << 20))
        bytes.insert(bytes.end(), buffer, buffer + n);
    ::close(fd);
    return n == 0;
}

void RecoveryStore::forget(const Left& left, bool removeLock)
{
    const auto it = taken_.find(left.path);
    if (it == taken_.end()) return;
    if (removeLock) ::unlink((stemOf(left.path, kWork) + kLock).c_str());
    ::close(it->second);
    taken_.erase(it);
}

void RecoveryStore::recovered(const Left& left)
{
    if (!taken_.count(left.path)) return;
    ::unlink(left.path.c_str());
    forget(left, true);
}

void RecoveryStore::discard(const Left& left)
{
    if (!taken_.count(left.path)) return;
    const std::string aside = stemOf(left.path, kWork) + kDiscarded;
    // The time it was put aside counts for its 30 days.
    if (std::rename(left.path.c_str(), aside.c_str()) == 0) ::utimensat(AT_FDCWD, aside.c_str(), nullptr, 0);
    forget(left, true);
}

void RecoveryStore::letGo(const Left& left)
{
    forget(left, false);
}

}  // namespace plat
