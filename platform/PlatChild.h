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
int runWatched(const std::string& program, const std::vector<std::string>& args,
               const std::function<void(const std::string&)>& line, const std::function<bool()>& stop);

}  // namespace plat
