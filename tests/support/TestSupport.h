// Shared helpers of the test suites: temporary folders, program folders of
// their own, running the built program and tools.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// "s" + 3 + ".wav" as one text (and clear of a false warning of g++ 12
// about "literal" + std::to_string(...)).
template <typename... Parts>
std::string join(const Parts&... parts)
{
    std::ostringstream out;
    (out << ... << parts);
    return out.str();
}

// A fresh empty folder under the system's temporary folder, removed when the
// object goes away (kept when BEATLOOM_KEEP_TEMP is set, for a look after a failure).
class TempDir {
public:
    explicit TempDir(const std::string& tag = "test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A program folder of a test's own: links to the built program, its resource
// file, help file and library, so the test never touches the build's own files.
class ProgramDir : public TempDir {
public:
    // The library is linked unless the test changes it (copyLibrary). While
    // it lives, the programs started keep their recovery files in a state
    // folder of its own: work one test left is never offered to the next.
    explicit ProgramDir(const std::string& tag = "prog", bool copyLibrary = false);
    ~ProgramDir();
    ProgramDir(const ProgramDir&) = delete;
    ProgramDir& operator=(const ProgramDir&) = delete;
    std::string program() const { return file("beatloom"); }

private:
    TempDir state_{"state"};
    std::string stateBefore_;
};

struct RunResult {
    int exitCode = -1;  // -1 when it could not run; 128 + n when killed by signal n
    std::string out;    // standard output and standard error together
};

// Runs a program with arguments, in `cwd` when given, killed after `timeoutSec`.
RunResult run(const std::vector<std::string>& argv, const std::string& cwd = "", int timeoutSec = 60,
              const std::vector<std::string>& env = {});
// The same, calling `during` about every millisecond while the program runs
// (with its pid and the seconds since it started; it may signal it).
RunResult runWatched(const std::vector<std::string>& argv, const std::string& cwd,
                     const std::function<void(int pid, double seconds)>& during, int timeoutSec = 60,
                     const std::vector<std::string>& env = {});

// Starts a program in the background, in `cwd` when given, with `env` added;
// its input from `in` and its output (both streams) to `out` when they are
// not -1. Its pid (<= 0 when it could not start).
int spawn(const std::vector<std::string>& argv, const std::string& cwd, const std::vector<std::string>& env,
          int in = -1, int out = -1);
// Sends `sig` (0: none, it is to end by itself), waits up to `seconds`, then
// kills it; its exit code as run() gives it, and `pid` becomes -1.
int endSpawned(int& pid, int sig, double seconds = 10);

std::string readFile(const std::string& path);
// Width and height from a PNG's header; 0 x 0 when it is no PNG.
std::pair<uint32_t, uint32_t> pngSize(const std::string& bytes);
bool writeFile(const std::string& path, const std::string& bytes);
std::string programDir();  // the build's program folder
std::string sourceDir();
std::string toolsDir();

// The interleaved samples of a 16-bit WAV file as this program writes it
// (44-byte header); empty when it is not one.
std::vector<int16_t> readWav16(const std::string& path);

// The pitch in Hz of a steady tone in the left channel of 16-bit stereo
// frames [from, to), from its rising zero crossings; 0 without two of them.
double pitchOfLeft(const std::vector<int16_t>& stereo, size_t from, size_t to);

}  // namespace testsupport
