#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir(const std::string& tag)
{
    std::string pattern = (fs::temp_directory_path() / ("beatloom-" + tag + "-XXXXXX")).string();
    if (char* made = mkdtemp(pattern.data())) path_ = made;
}

TempDir::~TempDir()
{
    if (path_.empty() || std::getenv("BEATLOOM_KEEP_TEMP")) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ProgramDir::~ProgramDir()
{
    if (stateBefore_.empty())
        unsetenv("XDG_STATE_HOME");
    else
        setenv("XDG_STATE_HOME", stateBefore_.c_str(), 1);
}

namespace {

// A test executable behaves the same run by ctest or by hand: no sound card,
// no display, and no JACK server of the developer's own.
struct QuietDevices {
    QuietDevices()
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("JACK_DEFAULT_SERVER", "beatloom-tests-none", 1);
    }
};
const QuietDevices quietDevices;

// Every program a test starts, in its own process or in the test's, keeps
// its recovery files in a folder of this test process's own, never in the
// user's state folder; it is emptied before each case, so that what a
// program a case ended left there (a killed one's recovery file) is never
// offered to the next case's.
struct StateFolder : ::testing::EmptyTestEventListener {
    TempDir folder{"state"};
    StateFolder() { setenv("XDG_STATE_HOME", folder.path().c_str(), 1); }
    void OnTestStart(const ::testing::TestInfo&) override
    {
        std::error_code ec;
        for (const fs::directory_entry& e : fs::directory_iterator(folder.path(), ec))
            fs::remove_all(e.path(), ec);
    }
};
StateFolder* const stateFolder = [] {
    auto* f = new StateFolder;
    ::testing::UnitTest::GetInstance()->listeners().Append(f);  // gtest owns it from here on
    return f;
}();

}  // namespace

ProgramDir::ProgramDir(const std::string& tag, bool copyLibrary) : TempDir(tag)
{
    const char* state = std::getenv("XDG_STATE_HOME");
    stateBefore_ = state ? state : "";
    setenv("XDG_STATE_HOME", state_.path().c_str(), 1);
    const fs::path built = programDir();
    for (const char* name : {"beatloom", "Beatloom.xrs", "Helps.txt", "UserGuide.html"}) {
        std::error_code ec;
        if (fs::exists(built / name)) fs::create_symlink(built / name, fs::path(path()) / name, ec);
    }
    std::error_code ec;
    if (!fs::exists(built / "Library")) return;
    if (copyLibrary)
        fs::copy(built / "Library", fs::path(path()) / "Library", fs::copy_options::recursive, ec);
    else
        fs::create_directory_symlink(built / "Library", fs::path(path()) / "Library", ec);
}

int spawn(const std::vector<std::string>& argv, const std::string& cwd, const std::vector<std::string>& env,
          int in, int out)
{
    if (argv.empty()) return -1;
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (in >= 0) dup2(in, STDIN_FILENO);
    if (out >= 0) {
        dup2(out, STDOUT_FILENO);
        dup2(out, STDERR_FILENO);
    }
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
}

int endSpawned(int& pid, int sig, double seconds)
{
    if (pid <= 0) return -1;
    if (sig != 0) kill(pid, sig);
    int status = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

RunResult run(const std::vector<std::string>& argv, const std::string& cwd, int timeoutSec,
              const std::vector<std::string>& env)
{
    return runWatched(argv, cwd, nullptr, timeoutSec, env);
}

RunResult runWatched(const std::vector<std::string>& argv, const std::string& cwd,
                     const std::function<void(int pid, double seconds)>& during, int timeoutSec,
                     const std::vector<std::string>& env)
{
    RunResult result;
    int pipefd[2];
    if (argv.empty() || pipe(pipefd) != 0) return result;
    fcntl(pipefd[0], F_SETFD, FD_CLOEXEC);
    fcntl(pipefd[1], F_SETFD, FD_CLOEXEC);
    const pid_t pid = spawn(argv, cwd, env, -1, pipefd[1]);
    if (pid <= 0) {
        close(pipefd[0]);
        close(pipefd[1]);
        return result;
    }
    close(pipefd[1]);
    fcntl(pipefd[0], F_SETFL, O_NONBLOCK);
    const auto started = std::chrono::steady_clock::now();
    const auto deadline = started + std::chrono::seconds(timeoutSec);
    int status = 0;
    bool done = false;
    char buffer[4096];
    while (!done) {
        ssize_t n;
        while ((n = read(pipefd[0], buffer, sizeof buffer)) > 0)
            result.out.append(buffer, static_cast<size_t>(n));
        const pid_t w = waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            done = true;
        } else if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.out += "\n[killed after timeout]\n";
            done = true;
        } else {
            if (during)
                during(pid,
                       std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
            std::this_thread::sleep_for(std::chrono::milliseconds(during ? 1 : 5));
        }
    }
    ssize_t n;
    while ((n = read(pipefd[0], buffer, sizeof buffer)) > 0)
        result.out.append(buffer, static_cast<size_t>(n));
    close(pipefd[0]);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::pair<uint32_t, uint32_t> pngSize(const std::string& bytes)
{
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
        bytes.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    auto be32 = [&](size_t at) {
        uint32_t v = 0;
        for (size_t i = 0; i < 4; ++i) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
        return v;
    };
    return {be32(16), be32(20)};
}

bool writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

std::string programDir()
{
    return BEATLOOM_PROGRAM_DIR;
}
std::string sourceDir()
{
    return BEATLOOM_SOURCE_DIR;
}
std::string toolsDir()
{
    return BEATLOOM_TOOLS_DIR;
}

std::vector<int16_t> readWav16(const std::string& path)
{
    const std::string bytes = readFile(path);
    std::vector<int16_t> s;
    if (bytes.size() < 44 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(36, 4, "data") != 0) return s;
    s.resize((bytes.size() - 44) / 2);
    if (!s.empty()) std::memcpy(s.data(), bytes.data() + 44, s.size() * 2);
    return s;
}

double pitchOfLeft(const std::vector<int16_t>& stereo, size_t from, size_t to)
{
    double first = -1, last = -1;
    int count = 0;
    for (size_t i = from + 1; i < to; ++i) {
        const double a = stereo[2 * (i - 1)], b = stereo[2 * i];
        if (a < 0 && b >= 0) {
            const double t = static_cast<double>(i - 1) + a / (a - b);
            if (first < 0) first = t;
            last = t;
            ++count;
        }
    }
    return count > 1 ? (count - 1) * 44100.0 / (last - first) : 0.0;
}

}  // namespace testsupport
