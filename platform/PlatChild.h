// Another program run beside this one while the main thread waits on it:
// its standard error read line by line as it comes, and stopped on request.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace plat {

// Runs `program` (a path, no shell) with `args`, handing each line of its
// standard error to `line` as it comes. `stop` is asked between lines and
// at least every tenth of a second; once it says so the program is sent
// SIGTERM and waited for. Its exit status; -1 when it could not be started
// or a signal ended it.
// Starts `program` (looked up on PATH when `search`) with `args`; with
// `intoFd` 1 or 2, that output goes into a pipe whose reading end is put in
// *readEnd. Its process id; -1 when it could not be started.
int spawnPiped(const std::string& program, const std::vector<std::string>& args, bool search, int intoFd,
               int* readEnd);
// Waits for it to end: its exit status; -1 when a signal ended it or there
// is no status to wait for (SIGCHLD ignored).
int waitExit(int pid);

int runWatched(const std::string& program, const std::vector<std::string>& args,
               const std::function<void(const std::string&)>& line, const std::function<bool()>& stop);

}  // namespace plat
