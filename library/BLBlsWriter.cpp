#include "library/BLBlsWriter.h"

#include "core/kelFiles.h"
#include "library/BLCrypt.h"

namespace {

constexpr char kLineFeed = '\n';

// The reader drops a line feed at the start of a line, so an empty line or
// one that starts with a line feed is stored behind one more.
bool needsLeadingLineFeed(std::string_view line)
{
    return line.empty() || line.front() == kLineFeed;
}

// Spreads the record index over all 32 bits, so neighbouring records do not
// start their key streams from neighbouring seeds.
uint32_t recordSeed(uint32_t seed, size_t index)
{
    uint32_t x = seed + static_cast<uint32_t>(index) * 0x9E3779B9u;
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

}  // namespace

BLBlsLineProblem BLBlsWriter_CheckLine(std::string_view line)
{
    if (line.find('\0') != std::string_view::npos) return BLBlsLineProblem::hasNul;
    const size_t stored = line.size() + (needsLeadingLineFeed(line) ? 1 : 0);
    if (stored > BLBLS_MAX_LINE) return BLBlsLineProblem::tooLong;
    return BLBlsLineProblem::none;
}

std::string BLBlsWriter_Describe(BLBlsLineProblem problem, std::string_view line)
{
    switch (problem) {
        case BLBlsLineProblem::none: return "the line can be written";
        case BLBlsLineProblem::hasNul: return "the line holds a NUL byte, which ends a description line";
        case BLBlsLineProblem::tooLong: {
            const size_t most = needsLeadingLineFeed(line) ? BLBLS_MAX_LINE - 1 : BLBLS_MAX_LINE;
            return "the line is " + std::to_string(line.size()) +
                   " bytes long; a description line holds at most " + std::to_string(most) + " bytes";
        }
    }
    return "unknown problem";
}

bool BLBlsWriter_Encode(const std::vector<std::string>& lines, std::string* out, size_t* badLine,
                        uint32_t seed)
{
    std::string bytes;
    uint8_t record[8 + BLBLS_MAX_LINE];
    std::string stored;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (BLBlsWriter_CheckLine(line) != BLBlsLineProblem::none) {
            if (badLine) *badLine = i;
            return false;
        }
        stored.assign(needsLeadingLineFeed(line) ? 1 : 0, kLineFeed);
        stored += line;
        const auto length = static_cast<int32_t>(stored.size());
        BLCrypt_EncodeRecord(stored.data(), length, static_cast<int32_t>(recordSeed(seed, i)), record);
        bytes.append(reinterpret_cast<const char*>(record), 8 + static_cast<size_t>(length));
    }
    if (out) *out = std::move(bytes);
    return true;
}

bool BLBlsWriter_Write(const char* path, const std::vector<std::string>& lines, std::string* error,
                       uint32_t seed)
{
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    if (!path || !*path) return fail("no file name");
    std::string bytes;
    size_t bad = 0;
    if (!BLBlsWriter_Encode(lines, &bytes, &bad, seed))
        return fail("line " + std::to_string(bad + 1) + ": " +
                    BLBlsWriter_Describe(BLBlsWriter_CheckLine(lines[bad]), lines[bad]));

    KelSaveFile save;
    if (!save.begin(path)) return fail("cannot create the file");
    if (!KEL_FileWrite(&save.file, static_cast<long>(bytes.size()), bytes.data()))
        return fail("cannot write the file");
    if (!save.commit()) return fail("cannot put the file in place");
    return true;
}
