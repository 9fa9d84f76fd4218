// Loops as the engine plays them. The engine reads 16-bit PCM WAV files at
// 44100 Hz with one or two channels; a loop in any other form (8, 24 or
// 32-bit, float, more channels, another rate, AIFF, FLAC ...) is converted
// once, through the media service, into the loop cache beside the program's
// library, and the converted file plays in its place. A loop changed since
// it was converted is converted again.
#pragma once

#include <string>

constexpr char kBLLoopCacheFolder[] = ":Library:Cache:";

// The file (a kel path) the engine plays for the loop at `path`: the loop
// itself or its converted copy. Empty when the loop cannot be read, is no
// plain file, or its conversion cannot be written.
std::string BL_LoopForEngine(const std::string& path);
