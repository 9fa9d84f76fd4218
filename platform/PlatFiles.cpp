#include "platform/PlatFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

namespace plat {

namespace {

// Links followed before a chain counts as a circle (the system's own limit).
constexpr int kMaxLinks = 40;
// The part of a file's name its temporary file repeats: short enough that
// the mark, the pid and the random part still fit the system's name limit.
constexpr size_t kTempNameStem = 200;
// What only the writer's temporaries and journals are called.
constexpr char kTempMark[] = ".beatloom-";
constexpr char kJournalPrefix[] = ".beatloom-journal-";
constexpr int kRandomLetters = 6;
// A journal larger than this is no journal of ours.
constexpr off_t kMostJournalBytes = 4 << 20;
// A file of this very pid (a pid used again) counts as left over only when
// clearly older than this instance: file times lag the clock a little.
constexpr int64_t kOwnPidMarginNs = 2'000'000'000;

int64_t realtimeNs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
}

// When this instance started: what is older was left by another.
const int64_t gStartedNs = realtimeNs();

thread_local int gLastWriteError = 0;

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

std::string absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return {};
    return std::string(cwd) + "/" + path;
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

std::string randomLetters()
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[kRandomLetters];
    if (::getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned counter = 0;
        const uint64_t seed = static_cast<uint64_t>(realtimeNs()) ^ (uint64_t{++counter} << 40);
        for (int i = 0; i < kRandomLetters; ++i) bytes[i] = static_cast<unsigned char>(seed >> (7 * i));
    }
    std::string out;
    for (unsigned char b : bytes) out += kLetters[b % (sizeof kLetters - 1)];
    return out;
}

bool isRunning(long pid)
{
    if (pid <= 0 || pid > INT_MAX) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// A plain file of this user, made before this instance started, whose maker
// is gone.
bool leftOver(const std::string& path, long pid)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return false;
    const int64_t changed = int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
    if (pid == ::getpid()) return changed < gStartedNs - kOwnPidMarginNs;
    return changed < gStartedNs && !isRunning(pid);
}

// Digits, as a pid: false for anything else.
bool readPid(const std::string& text, long* pid)
{
    if (text.empty() || text.size() > 10) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (pid) *pid = value;
    return true;
}

// The list of this instance's temporaries: one path a line, appended before
// each is made, so that even a kill between the two leaves it listed. A path
// is absolute, so a line starts with '/'; one whose path holds a line break
// starts with a backslash instead and writes the break as backslash n and a
// backslash as two, so that any name a file can have is listed.
struct Journal {
    std::mutex lock;
    std::string path;
    int fd = -1;
    int live = 0;  // temporaries made and not yet committed or removed

    void closeFile()
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
        // With nothing of ours left out there, the list has nothing to tell.
        if (live == 0 && !path.empty()) ::unlink(path.c_str());
    }
};

// Never destroyed: a writer that outlives the program's end (a static one)
// still finds it.
Journal& journal()
{
    static Journal* j = new Journal;
    return *j;
}

// At the program's end the journal is closed, and removed when nothing it
// lists is left; a journal still listing something is the next start's.
struct JournalCloser {
    ~JournalCloser()
    {
        Journal& j = journal();
        std::lock_guard<std::mutex> hold(j.lock);
        j.closeFile();
        j.path.clear();
    }
} gJournalCloser;

std::string journalLine(const std::string& path)
{
    if (path.find('\n') == std::string::npos) return path + "\n";
    std::string line = "\\";
    for (char c : path) {
        if (c == '\n')
            line += "\\n";
        else if (c == '\\')
            line += "\\\\";
        else
            line += c;
    }
    return line + "\n";
}

// The path a journal line lists; empty for a line that is none.
std::string journalPath(const std::string& line)
{
    if (line.empty() || line[0] == '/') return line;
    if (line[0] != '\\') return {};
    std::string path;
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] != '\\') {
            path += line[i];
            continue;
        }
        if (++i >= line.size()) return {};
        if (line[i] == 'n')
            path += '\n';
        else if (line[i] == '\\')
            path += '\\';
        else
            return {};
    }
    return path;
}

void journalAdd(const std::string& temp)
{
    Journal& j = journal();
    std::lock_guard<std::mutex> hold(j.lock);
    ++j.live;
    if (j.path.empty()) return;
    const std::string full = absolute(temp);
    if (full.size() < 2) return;
    const std::string line = journalLine(full);
    if (j.fd < 0) j.fd = ::open(j.path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (j.fd >= 0) {
        const int saved = errno;
        (void)!::write(j.fd, line.data(), line.size());
        errno = saved;
    }
}

void journalDone()
{
    Journal& j = journal();
    std::lock_guard<std::mutex> hold(j.lock);
    if (j.live > 0) --j.live;
}

// Removes the leftovers a gone instance's journal lists, then the journal.
int sweepJournal(const std::string& path)
{
    int removed = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return 0;
    struct stat st;
    std::string text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMostJournalBytes) {
        text.resize(static_cast<size_t>(st.st_size));
        const ssize_t n = ::read(fd, text.data(), text.size());
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    }
    ::close(fd);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string listed = journalPath(text.substr(at, end - at));
        at = end + 1;
        long pid = 0;
        if (!listed.empty() && listed[0] == '/' && isTemporaryName(nameOf(listed), &pid) &&
            leftOver(listed, pid) && ::unlink(listed.c_str()) == 0)
            ++removed;
    }
    ::unlink(path.c_str());
    return removed;
}

}  // namespace

int lastWriteError()
{
    return gLastWriteError;
}

void noteWriteError(int error)
{
    gLastWriteError = error;
}

void clearWriteError()
{
    gLastWriteError = 0;
}

bool writeFully(int fd, const void* data, size_t bytes)
{
    const auto* p = static_cast<const char*>(data);
    while (bytes > 0) {
        const ssize_t n = ::write(fd, p, bytes);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            noteWriteError(n < 0 ? errno : ENOSPC);
            return false;
        }
        p += n;
        bytes -= static_cast<size_t>(n);
    }
    return true;
}

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

bool ReplaceFile::fail(int error)
{
    error_ = error ? error : EIO;
    noteWriteError(error_);
    return false;
}

bool ReplaceFile::open(const std::string& path, Links links)
{
    abort();
    error_ = 0;
    if (path.empty()) return fail(ENOENT);
    target_ = links == Links::follow ? saveTarget(path) : path;
    if (target_.empty()) return fail(ELOOP);
    const std::string name = nameOf(target_);
    if (name.empty() || name == "." || name == "..") return fail(EISDIR);
    struct stat st;
    if (::lstat(target_.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
        !(links == Links::replace && S_ISLNK(st.st_mode)))
        return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    // Found out now, not by the rename at the end of a long write.
    if (name.size() > NAME_MAX) return fail(ENAMETOOLONG);
    size_t cut = std::min(name.size(), kTempNameStem);
    // A stem cut inside a character would make a name that is no text.
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    const std::string stem =
        folderOf(target_) + "/." + name.substr(0, cut) + kTempMark + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = stem + randomLetters();
        journalAdd(temp);
        const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = temp;
            return true;
        }
        const int error = errno;
        journalDone();
        if (error != EEXIST) return fail(error);
    }
    return fail(EEXIST);
}

int ReplaceFile::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool ReplaceFile::commit()
{
    if (temp_.empty()) return fail(EBADF);
    const int fd = fd_ >= 0 ? fd_ : ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    int error = fd >= 0 ? 0 : errno;
    if (fd >= 0) {
        struct stat old;
        if (::lstat(target_.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            // The owner only where the system lets us give it; the group
            // alone is often allowed when the owner is not.
            if (::fchown(fd, old.st_uid, old.st_gid) != 0)
                (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
            ::fchmod(fd, old.st_mode & 07777);
        } else {
            ::fchmod(fd, newFileMode());
        }
        if (::fsync(fd) != 0) error = errno;
        if (::close(fd) != 0 && !error) error = errno;
    }
    fd_ = -1;
    if (!error && std::rename(temp_.c_str(), target_.c_str()) != 0) error = errno;
    if (!error) {
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
    journalDone();
    return error ? fail(error) : true;
}

void ReplaceFile::abort()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (temp_.empty()) return;
    ::unlink(temp_.c_str());
    temp_.clear();
    journalDone();
}

bool ScratchFile::open(const std::string& besidePath)
{
    if (!file_.open(besidePath)) return false;
    ::close(file_.release());  // the name is what is used; it stays the writer's to remove
    return true;
}

bool isTemporaryName(const std::string& name, long* pid)
{
    if (name.size() < 2 || name[0] != '.') return false;
    const size_t mark = name.rfind(kTempMark);
    if (mark == std::string::npos || mark == 0) return false;
    const std::string rest = name.substr(mark + sizeof kTempMark - 1);
    const size_t dash = rest.find('-');
    if (dash == std::string::npos || rest.size() - dash - 1 != kRandomLetters) return false;
    for (size_t i = dash + 1; i < rest.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(rest[i]))) return false;
    return readPid(rest.substr(0, dash), pid);
}

void keepJournalIn(const std::string& folder)
{
    Journal& j = journal();
    std::lock_guard<std::mutex> hold(j.lock);
    const std::string path =
        folder.empty() ? std::string() : absolute(folder) + "/" + kJournalPrefix + std::to_string(::getpid());
    if (path == j.path) return;
    j.closeFile();
    j.path = path;
}

int sweepLeftovers(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return 0;
    std::vector<std::string> journals, temporaries;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        long pid = 0;
        if (name.compare(0, sizeof kJournalPrefix - 1, kJournalPrefix) == 0) {
            if (readPid(name.substr(sizeof kJournalPrefix - 1), &pid) && leftOver(folder + "/" + name, pid))
                journals.push_back(name);
        } else if (isTemporaryName(name, &pid) && leftOver(folder + "/" + name, pid)) {
            temporaries.push_back(name);
        }
    }
    ::closedir(dir);
    int removed = 0;
    for (const std::string& name : journals) removed += sweepJournal(folder + "/" + name);
    for (const std::string& name : temporaries)
        if (::unlink((folder + "/" + name).c_str()) == 0) ++removed;
    return removed;
}

bool removeIfLeftOver(const std::string& path, long pid)
{
    return leftOver(path, pid) && ::unlink(path.c_str()) == 0;
}

bool removeFolderMade(const std::string& folder, const std::vector<std::string>& files)
{
    for (const std::string& f : files) {
        struct stat st;
        if (::lstat(f.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(f.c_str());
    }
    return ::rmdir(folder.c_str()) == 0;
}

bool ScratchFolder::make(const std::string& prefix)
{
    remove();
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / (prefix + "-XXXXXX")).string();
    if (ec || !::mkdtemp(pattern.data())) return false;
    path_ = pattern;
    return true;
}

void ScratchFolder::remove()
{
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    path_.clear();
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
