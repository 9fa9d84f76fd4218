#include "platform/PlatChild.h"

#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

extern char** environ;

namespace plat {

int spawnPiped(const std::string& program, const std::vector<std::string>& args, bool search, int intoFd,
               int* readEnd)
{
    int pipefd[2] = {-1, -1};
    const bool piped = intoFd >= 0 && readEnd;
    if (piped && pipe(pipefd) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (piped) {
        posix_spawn_file_actions_adddup2(&actions, pipefd[1], intoFd);
        posix_spawn_file_actions_addclose(&actions, pipefd[0]);
        posix_spawn_file_actions_addclose(&actions, pipefd[1]);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = search ? posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ)
                          : posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (piped) close(pipefd[1]);
    if (rc != 0) {
        if (piped) close(pipefd[0]);
        return -1;
    }
    if (piped) *readEnd = pipefd[0];
    return pid;
}

int waitExit(int pid)
{
    int st = 0;
    while (waitpid(pid, &st, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

int runWatched(const std::string& program, const std::vector<std::string>& args,
               const std::function<void(const std::string&)>& line, const std::function<bool()>& stop)
{
    int fd = -1;
    const int pid = spawnPiped(program, args, false, STDERR_FILENO, &fd);
    if (pid < 0) return -1;
    std::string pending;
    bool stopped = false;
    for (;;) {
        if (!stopped && stop && stop()) {
            kill(pid, SIGTERM);
            stopped = true;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
            if (line) line(pending.substr(0, end));
    }
    close(fd);
    if (!pending.empty() && line) line(pending);
    return waitExit(pid);
}

}  // namespace plat
