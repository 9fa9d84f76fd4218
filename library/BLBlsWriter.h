// Writes a BLS description from plain lines, so that BLBlsParser::next gives
// back each line exactly.
//
// A line the reader could not give back is refused: one holding a NUL byte
// (the reader's line ends there) or one longer than the reader's line buffer.
// An empty line, or one starting with a line feed, is stored behind one extra
// line feed, which the reader drops; so such a line may be one byte shorter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The longest line the reader gives back whole.
constexpr int BLBLS_MAX_LINE = 2047;

enum class BLBlsLineProblem { none, hasNul, tooLong };

BLBlsLineProblem BLBlsWriter_CheckLine(std::string_view line);
// A readable sentence for a problem, naming the limit.
std::string BLBlsWriter_Describe(BLBlsLineProblem problem, std::string_view line);

// The bytes of a whole description; false (and *badLine set to the index of
// the first line refused) when a line cannot be held. Records are scrambled
// from seeds that follow from `seed`, so the same lines and seed always give
// the same bytes.
bool BLBlsWriter_Encode(const std::vector<std::string>& lines, std::string* out, size_t* badLine = nullptr,
                        uint32_t seed = 0x5EED1E55u);

// Writes the description to a kel path through a temporary file beside it,
// renamed into place, so a failure keeps the old file. On failure *error
// (when given) says why.
bool BLBlsWriter_Write(const char* path, const std::vector<std::string>& lines, std::string* error = nullptr,
                       uint32_t seed = 0x5EED1E55u);
