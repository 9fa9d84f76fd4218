// The whole program run headless for a benchmark, as a person would use it:
// its folder (links to a build's program, skin and library), a groove
// document of the demo song, and runs of a script with the sound captured
// by SDL's disk driver, each run starting afresh.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "core/kelFiles.h"
#include "library/BLDocument.h"

namespace benchprogram {

namespace fs = std::filesystem;

// A scratch folder holding prog/, the program of the build folder `built`.
inline fs::path makeWorkFolder(const char* built, const char* tag)
{
    std::string pattern = std::string("/tmp/beatloom-") + tag + "-XXXXXX";
    if (!mkdtemp(pattern.data())) std::exit(1);
    const fs::path work = pattern;
    fs::create_directories(work / "prog");
    for (const char* name : {"beatloom", "Beatloom.xrs", "Helps.txt", "Library"})
        fs::create_symlink(fs::absolute(built) / name, work / "prog" / name);
    return work;
}

// Three tracks of the demo song at 126 BPM, loud enough that every touch is
// heard; empty when it cannot be written.
inline fs::path writeGroove(const fs::path& work)
{
    BLIceimage ice;
    ice.valid = 1;
    std::snprintf(ice.songName, sizeof ice.songName, "NightShift");
    ice.groove.tracks[0] = BLTrack{110, 0, 0, 0};
    ice.groove.tracks[1] = BLTrack{110, 0, 1, 0};
    ice.groove.tracks[2] = BLTrack{110, 0, 2, 0};
    ice.bpm = 126.0f;
    const fs::path doc = work / "groove.bld";
    char kel[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(doc.c_str(), kel) || !BLDocument_Write(kel, ice, nullptr)) {
        std::fprintf(stderr, "cannot write %s\n", doc.c_str());
        return {};
    }
    return doc;
}

inline std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the program on `script`, its sound captured into NAME.raw and its
// standard error kept in NAME.err.
inline bool play(const fs::path& work, const std::string& name, const std::string& script,
                 const fs::path& doc)
{
    const fs::path scriptFile = work / (name + ".txt");
    std::ofstream(scriptFile) << script;
    const fs::path capture = work / (name + ".raw");
    // Every run as the first: no preferences or work kept from the last.
    std::error_code ec;
    fs::remove(work / "prog" / "Beatloom.prf", ec);
    fs::remove_all(work / "state", ec);
    std::fflush(nullptr);  // or the child would write out what the parent holds
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        setenv("HOME", (work / "home").c_str(), 1);
        setenv("XDG_STATE_HOME", (work / "state").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (work / "home").c_str(), 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen((work / (name + ".err")).c_str(), "w", stderr))
            _exit(126);
        const std::string program = (work / "prog" / "beatloom").string();
        execl(program.c_str(), program.c_str(), "--script", scriptFile.c_str(), "--log",
              (work / (name + ".log")).c_str(), doc.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace benchprogram
