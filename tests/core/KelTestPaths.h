// Kel paths of the files tests make in their temporary folders.
#pragma once

#include <string>

#include "core/kelFiles.h"

inline std::string kelPathOf(const std::string& systemPath)
{
    char kel[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(systemPath.c_str(), kel) ? kel : "";
}
