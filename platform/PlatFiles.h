// The one careful writer: every file the program writes goes through here.
//
// A save writes a temporary file beside the file it replaces, created
// exclusively under a name only the program makes: "." + the file's own
// name + ".beatloom-" + the instance's pid + "-" + six random letters. Once
// complete it is flushed to the disk, takes the old file's mode and owner and
// is renamed over it. A symbolic link is written through: the new file
// replaces the link's target, and the link stays. A failure at any point
// removes the temporary and leaves the old file as it was; no other name is
// ever created, truncated, renamed or removed.
//
// What a kill leaves (a temporary that no commit or abort removed) is swept
// at the next start: each instance lists the temporaries it makes in a
// journal of its own, and a sweep removes those of instances that are gone,
// never a file of another name, a link, or a temporary of a live instance.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plat {

// The file a save of `path` replaces: the end of its chain of links, or the
// path itself. Empty when the links go round in a circle.
std::string saveTarget(const std::string& path);

// The system's error number of the last write step that failed on this
// thread (creating, writing, flushing, renaming); 0 when none failed since
// clearWriteError.
int lastWriteError();
void noteWriteError(int error);
void clearWriteError();

// Writes all of `bytes` (interrupted writes resumed); false, with the error
// noted, when the system takes less.
bool writeFully(int fd, const void* data, size_t bytes);

class ReplaceFile {
public:
    ReplaceFile() = default;
    ~ReplaceFile() { abort(); }
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // Creates the temporary file, open for reading and writing. False when
    // something other than a plain file stands at the target (a folder, a
    // pipe, a device), the name is longer than the system takes, or the
    // folder takes no new file; error() tells which. A link at `path` is
    // followed to the file it names, unless `links` is `replace`: then the
    // link itself gives way to the new file (a copy that is to be the
    // user's own, not a write into a shared file the link points to).
    enum class Links { follow, replace };
    bool open(const std::string& path, Links links = Links::follow);
    // The open temporary file; -1 once `release` handed it over.
    int descriptor() const { return fd_; }
    // The caller closes the descriptor itself from now on.
    int release();
    const std::string& tempPath() const { return temp_; }
    const std::string& target() const { return target_; }
    // Flushes the temporary file, gives it the old file's mode and owner
    // (a new file: what the umask allows) and renames it over the target.
    // False, with the temporary file removed and the old file kept, when it
    // cannot be put in place.
    bool commit();
    // Removes the temporary file; the old file stays. A temporary that is
    // never committed serves as a scratch file (a conversion's source).
    void abort();
    // The system's error number of the step that failed; 0 when none did.
    int error() const { return error_; }

private:
    bool fail(int error);
    int fd_ = -1;
    int error_ = 0;
    std::string target_;
    std::string temp_;
};

// A temporary of the writer's own beside `path` (a file's path) that is
// never put in place: a conversion's source, a mix script. Removed when the
// object goes away.
class ScratchFile {
public:
    bool open(const std::string& besidePath);
    const std::string& path() const { return file_.tempPath(); }
    int error() const { return file_.error(); }
    void remove() { file_.abort(); }

private:
    ReplaceFile file_;
};

// True when `name` (a file name without folder) is one of the writer's
// temporaries; *pid (when given) is the instance that made it.
bool isTemporaryName(const std::string& name, long* pid = nullptr);

// From now on the temporaries of this instance are listed in a journal in
// `folder` (the program folder), so that a later start finds them wherever
// they were made. Without it the writer works all the same.
void keepJournalIn(const std::string& folder);

// Removes what instances that are gone left: the writer's temporaries in
// `folder`, and those the journals in it list (then the journals). Only
// plain files of this user, made before this instance started, by an
// instance no longer running. The number of files removed.
int sweepLeftovers(const std::string& folder);

// Removes `path` when it is a plain file of this user made before this
// instance started by instance `pid`, which no longer runs (the program's
// own leftovers under names of its own from before the writer: the mix
// script of a render). True when it was removed.
bool removeIfLeftOver(const std::string& path, long pid);

// Takes back a folder this instance made and filled, as a making that
// failed or was stopped must: the `files` it put there (plain files only)
// go, then the folder if nothing else is in it. True when the folder is gone.
bool removeFolderMade(const std::string& folder, const std::vector<std::string>& files);

// A folder of this instance's own in the system's temporary folder, under a
// name no other has, for a run that must not touch the user's files; gone,
// with all that was put in it (links removed, never followed), on remove()
// or when the object goes away.
class ScratchFolder {
public:
    ScratchFolder() = default;
    ~ScratchFolder() { remove(); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    // `prefix` begins the folder's name. False when it cannot be made.
    bool make(const std::string& prefix);
    const std::string& path() const { return path_; }
    void remove();

private:
    std::string path_;
};

// Opens an existing plain file without waiting on it: a pipe, a device or a
// socket in its place is refused at once. flags: O_RDONLY or O_RDWR. The
// descriptor (close-on-exec, blocking reads), or -1.
int openPlainFile(const std::string& path, int flags);

// True when `path` names a plain file (links followed).
bool isPlainFile(const std::string& path);

}  // namespace plat
