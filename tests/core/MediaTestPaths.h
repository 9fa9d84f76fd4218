// Kel paths of test files: the media service takes nothing else.
#pragma once

#include <string>

#include "core/kelFiles.h"

namespace mediatest {

inline std::string kel(const std::string& system)
{
    char buffer[kKelPathMax + 1];
    return KEL_SystemPathToKelPath(system.c_str(), buffer) ? buffer : "";
}

}  // namespace mediatest
