// Saving a file whole, and opening files that may be anything.
//
// A save writes a temporary file of a name no other file has (the file's own
// name, hidden, with a unique suffix) beside the file it replaces; once it is
// complete it takes the old file's mode and owner and is renamed over it. A
// symbolic link is written through: the new file replaces the link's target,
// and the link stays. A failure at any point leaves the old file as it was.
#pragma once

#include <string>

namespace plat {

// The file a save of `path` replaces: the end of its chain of links, or the
// path itself. Empty when the links go round in a circle.
std::string saveTarget(const std::string& path);

class ReplaceFile {
public:
    ReplaceFile() = default;
    ~ReplaceFile() { abort(); }
    ReplaceFile(const ReplaceFile&) = delete;
    ReplaceFile& operator=(const ReplaceFile&) = delete;

    // Creates the temporary file, open for reading and writing. False when
    // something other than a plain file stands at the target (a folder, a
    // pipe, a device) or the folder takes no new file.
    bool open(const std::string& path);
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
    // Removes the temporary file; the old file stays.
    void abort();

private:
    int fd_ = -1;
    std::string target_;
    std::string temp_;
};

// Opens an existing plain file without waiting on it: a pipe, a device or a
// socket in its place is refused at once. flags: O_RDONLY or O_RDWR. The
// descriptor (close-on-exec, blocking reads), or -1.
int openPlainFile(const std::string& path, int flags);

// True when `path` names a plain file (links followed).
bool isPlainFile(const std::string& path);

}  // namespace plat
