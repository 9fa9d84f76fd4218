#include "tools/demolib/Song.h"

#include <cstdio>

namespace demolib {

std::string Sample::fileWord() const
{
    char number[8];
    std::snprintf(number, sizeof number, "%02d", this->number);
    return group + number;
}

const Sample* Song::find(const std::string& fileWord) const
{
    for (const Sample& s : samples)
        if (s.fileWord() == fileWord) return &s;
    return nullptr;
}

}  // namespace demolib
