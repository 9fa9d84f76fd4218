// Fuzz inputs as files: the readers under test take kel paths. The files
// live in a folder of the process's own, on a memory file system when there
// is one, removed at exit.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/kelFiles.h"

namespace fuzzfiles {

inline const std::string& folder()
{
    static const std::string path = [] {
        std::string base =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path().string();
        std::string pattern = base + "/beatloom-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern;
    }();
    // Registered after `path` exists, so it runs before `path` goes away.
    static const bool cleanup = std::atexit([] {
                                    std::error_code ec;
                                    std::filesystem::remove_all(folder(), ec);
                                }) == 0;
    (void)cleanup;
    return path;
}

inline std::string systemPath(const char* name)
{
    return folder() + "/" + name;
}

inline std::string kelPath(const char* name)
{
    char kel[kKelPathMax + 1];
    if (!KEL_SystemPathToKelPath(systemPath(name).c_str(), kel)) std::abort();
    return kel;
}

inline void write(const char* name, const uint8_t* data, size_t size)
{
    FILE* f = std::fopen(systemPath(name).c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) std::abort();
}

inline long sizeOf(const char* name)
{
    std::error_code ec;
    const auto n = std::filesystem::file_size(systemPath(name), ec);
    return ec ? -1 : static_cast<long>(n);
}

// Stops the run with the fuzzer's crash report when a property is broken.
inline void check(bool ok, const char* what = nullptr)
{
    if (ok) return;
    if (what) std::fprintf(stderr, "broken: %s\n", what);
    __builtin_trap();
}

}  // namespace fuzzfiles
