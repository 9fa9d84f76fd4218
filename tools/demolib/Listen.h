// Listening by numbers: renders random grooves of every song the way the
// random buttons build them, writes them as WAV files and prints what each
// loop and groove measures.
#pragma once

#include <string>

namespace demolib {

int listen(const std::string& outFolder, int grooves);

}  // namespace demolib
