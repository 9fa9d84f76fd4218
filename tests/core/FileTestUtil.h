// Helpers of the file-layer tests.
#pragma once

#include <filesystem>
#include <string>

#include "core/kelFiles.h"

namespace filetest {

// Makes a folder the current one for the life of the object.
class CurrentDir {
public:
    explicit CurrentDir(const std::string& folder) : saved_(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~CurrentDir()
    {
        std::error_code ec;
        std::filesystem::current_path(saved_, ec);
    }
    CurrentDir(const CurrentDir&) = delete;
    CurrentDir& operator=(const CurrentDir&) = delete;

private:
    std::filesystem::path saved_;
};

// The absolute kel path of a system path ("" when it has none).
inline std::string kelOf(const std::string& system)
{
    char kel[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(system.c_str(), kel) ? std::string(kel) : std::string();
}

// A system folder as a kel folder path, ending with ':'.
inline std::string kelFolderOf(const std::string& system)
{
    return kelOf(system) + ":";
}

}  // namespace filetest
