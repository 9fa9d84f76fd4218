// Recovery files of work not saved yet, in the user's state folder
// ($XDG_STATE_HOME/beatloom, else ~/.local/state/beatloom).
//
// Each running instance holds a lock file of its own there for its whole
// life ("work-PID-RANDOM.lock") and writes its work beside it under the same
// name with ".bld". A recovery file whose lock nobody holds was left by an
// instance that ended before the work was saved (a crash, a power loss, a
// kill): the next start finds it and takes its lock, so that two instances
// never take the same one.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace plat {

class RecoveryStore {
public:
    struct Left {
        std::string path;      // the recovery file
        int64_t modified = 0;  // when it was last written (seconds since 1970)
    };

    RecoveryStore() = default;
    ~RecoveryStore();
    RecoveryStore(const RecoveryStore&) = delete;
    RecoveryStore& operator=(const RecoveryStore&) = delete;

    static std::string folder();

    // Takes this instance's place in the folder (made when missing).
    bool open();
    // This instance's recovery file, replaced whole; removed.
    bool write(const std::vector<uint8_t>& bytes);
    void remove();
    bool written() const { return written_; }
    const std::string& path() const { return file_; }
    // The program ends cleanly: its recovery file and its lock go.
    void close();

    // Recovery files left by instances no longer running, newest first,
    // each one's lock taken until it is recovered, put aside or let go.
    // Locks nobody holds and whose file is gone are removed on the way, as
    // are files put aside more than 30 days ago.
    std::vector<Left> leftBehind();
    bool read(const Left& left, std::vector<uint8_t>& bytes);
    // Its work is taken over: the file and its lock go.
    void recovered(const Left& left);
    // Kept aside as "….bld.discarded", never deleted at once.
    void discard(const Left& left);
    // Left for a later start.
    void letGo(const Left& left);

private:
    void forget(const Left& left, bool removeLock);

    int lockFd_ = -1;
    std::string stem_;  // folder + "/work-PID-RANDOM"
    std::string file_;
    bool written_ = false;
    std::map<std::string, int> taken_;  // recovery file -> its lock's descriptor
};

}  // namespace plat
