#include "platform/Platform.h"

#include <dirent.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace plat {

namespace {
std::unique_ptr<Backend> gBackend;
std::mutex gBackendMutex;  // setting and clearing against interruptModal
}

Backend& backend() { return *gBackend; }
bool hasBackend() { return gBackend != nullptr; }

void setBackend(std::unique_ptr<Backend> b)
{
    std::lock_guard<std::mutex> hold(gBackendMutex);
    gBackend = std::move(b);
}

void clearBackend()
{
    std::unique_ptr<Backend> old;
    std::lock_guard<std::mutex> hold(gBackendMutex);
    old = std::move(gBackend);
}

void interruptModal()
{
    std::lock_guard<std::mutex> hold(gBackendMutex);
    if (gBackend) gBackend->interruptModal();
}

void endChildProcesses()
{
    // Every process whose parent is this one, found in /proc (the children
    // of all threads: dialogs run on threads of their own).
    const pid_t self = ::getpid();
    DIR* proc = ::opendir("/proc");
    if (!proc) return;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0' || pid == self) continue;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/%ld/stat", pid);
        std::FILE* f = std::fopen(path, "r");
        if (!f) continue;
        char line[512];
        const bool read = std::fgets(line, sizeof line, f) != nullptr;
        std::fclose(f);
        // "pid (name) state ppid ...": the name may hold anything, so the
        // fields are counted from its closing parenthesis.
        const char* close = read ? std::strrchr(line, ')') : nullptr;
        char state = 0;
        long parent = 0;
        if (close && std::sscanf(close + 1, " %c %ld", &state, &parent) == 2 && parent == self)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    ::closedir(proc);
}

uint32_t millis()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

void sleepMs(int ms)
{
    if (ms <= 0) return;
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}

void logLine(const std::string& text)
{
    std::fprintf(stderr, "beatloom: %s\n", text.c_str());
}

}  // namespace plat
