// The song library loading any description, then opening the song for a
// stand-in engine. The first byte chooses how the rest is used:
//   bits 0-1: 0 plain lines written as the song folder's description,
//             1 plain lines written as its "info.bls" (1.2, else 1.0),
//             2 plain lines in the program's store, 3 the raw bytes as the
//             song folder's description file
//   bit 2:    header-only mode
// Whatever the input, every count stays within its array, every text within
// its field, and every index names something that exists.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "FuzzFiles.h"
#include "library/BLBlsWriter.h"
#include "library/BLSongLibrary.h"

namespace {

using fuzzfiles::check;

// The fuzz folder as a program folder with one song folder, "S".
const std::string& songFolder()
{
    static const std::string kel = [] {
        std::filesystem::create_directories(fuzzfiles::systemPath("Library/Song/S"));
        std::filesystem::create_directories(fuzzfiles::systemPath("Library/Bls"));
        if (chdir(fuzzfiles::folder().c_str()) != 0) std::abort();
        return std::string(":Library:Song:S:");
    }();
    return kel;
}

class CountingEngine : public BLEngineCalls {
public:
    void stop() override {}
    void setMixerFrequency(long) override {}
    void samplesListReset() override { added = 0; }
    void samplesBpm(float) override {}
    void samplesListAdd(const char* path, short repeats) override
    {
        check(path != nullptr && repeats >= 0 && repeats <= 32);
        ++added;
    }
    int added = 0;
};

template <size_t N>
void terminated(const char (&text)[N])
{
    check(std::memchr(text, '\0', N) != nullptr);
}

void checkLibrary(BLSongLibrary& lib)
{
    check(lib.groupCount >= 0 && lib.groupCount <= kBLMaxGroups);
    check(lib.randomSetCount >= 0 && lib.randomSetCount <= kBLMaxRandomSets);
    check(lib.styleCount >= 0 && lib.styleCount <= kBLMaxStyles);
    check(lib.sampleCount >= 0);
    for (const auto* text : {lib.arpNotes, lib.title, lib.folderName, lib.libraryName})
        check(std::strlen(text) < 64);
    terminated(lib.description);
    terminated(lib.parserVersion);
    for (int g = 0; g < lib.groupCount; ++g) {
        const BLSongGroup& group = lib.groups[g];
        terminated(group.name);
        check(group.count >= 0 && group.count <= kBLMaxSlots);
        for (int s = 0; s < group.count; ++s) {
            terminated(group.file[s]);
            terminated(group.label[s]);
            if (group.id[s] == kBLNoSample) continue;
            check(group.id[s] < lib.sampleCount);
            check(group.volume[s] >= 0 && group.volume[s] <= 127);
            check(group.pan[s] >= 0 && group.pan[s] <= 126);
            check(group.repeats[s] >= 1 && group.repeats[s] <= 32);
            int16_t gg = -1, ss = -1;
            check(lib.getGroupAndIndex(group.id[s], &gg, &ss) != nullptr);
            check(gg >= 0 && gg < lib.groupCount && ss >= 0 && ss < lib.groups[gg].count);
        }
    }
    for (int r = 0; r < lib.randomSetCount; ++r) {
        const BLRandomSet& set = lib.randomSets[r];
        terminated(set.name);
        check(set.count >= 0 && set.count <= kBLRandomSetSize);
        for (int k = 0; k < set.count; ++k) check(set.groups[k] >= -1 && set.groups[k] < lib.groupCount);
    }
    for (int s = 0; s < lib.styleCount; ++s) {
        const BLStyle& style = lib.styles[s];
        terminated(style.name);
        check(style.columnCount >= 0 && style.columnCount <= kBLStyleColumns);
        check(style.rowCount >= 0 && style.rowCount <= kBLStyleRows);
        for (int c = 0; c < style.columnCount; ++c)
            check(style.columns[c] >= -1 && style.columns[c] < lib.groupCount);
        for (int r = 0; r < style.rowCount; ++r)
            for (int t = 0; t < kBLStyleTracks; ++t)
                check(style.rows[r][t] >= -1 && style.rows[r][t] < style.columnCount);
    }
    for (int16_t g = -2; g <= lib.groupCount; ++g) {
        check(std::strlen(lib.getGroupStr(g)) < kBLNameSize);
        for (int16_t s = -1; s <= kBLMaxSlots; s += 13)
            check(std::strlen(lib.getIndexStr(g, s)) < kBLNameSize);
    }
}

std::vector<std::string> linesOf(const uint8_t* data, size_t size)
{
    std::vector<std::string> lines;
    const std::string all(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; start < all.size();) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        std::string line = all.substr(start, end - start);
        if (BLBlsWriter_CheckLine(line) == BLBlsLineProblem::none) lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

void writeLines(const std::string& name, const std::vector<std::string>& lines)
{
    std::string bytes;
    if (!BLBlsWriter_Encode(lines, &bytes)) std::abort();
    fuzzfiles::write(name.c_str(), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& folder = songFolder();
    if (size == 0) return 0;
    const int mode = data[0] & 3;
    const bool headerOnly = (data[0] & 4) != 0;
    ++data;
    --size;

    static const char* const places[] = {"Library/Song/S/s.bls", "Library/Song/S/info.bls",
                                         "Library/Bls/S.bls"};
    for (const char* place : places) std::remove(fuzzfiles::systemPath(place).c_str());
    if (mode == 3)
        fuzzfiles::write(places[0], data, size);
    else
        writeLines(places[mode], linesOf(data, size));

    auto lib = std::make_unique<BLSongLibrary>();
    lib->headerOnly = headerOnly;
    check(lib->load(folder.c_str()));
    checkLibrary(*lib);
    const int16_t described = lib->sampleCount;
    CountingEngine engine;
    lib->fillSamplesList(folder.c_str(), engine);
    check(engine.added == described && lib->sampleCount == described);  // no user loops here
    checkLibrary(*lib);
    return 0;
}
