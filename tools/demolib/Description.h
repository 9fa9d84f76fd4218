// The plain lines of a song's description, in the two versions the song
// library reads.
#pragma once

#include <string>
#include <vector>

#include "tools/demolib/Song.h"

namespace demolib {

// The first word of a version 1.2 description.
extern const char* const kFormatKeyword;

// Version 1.2: keyword lines, then the category list, random sets, samples
// and styles as LONGCOMMAND blocks.
std::vector<std::string> describe12(const Song& song);

// Version 1.0: a header line, one line per sample, then the tempo line and
// six positional lines (scale, a number, title, description, a number, a text).
std::vector<std::string> describe10(const Song& song);

}  // namespace demolib
