// Where the generated library goes: every file is written below the
// library folder through the program's own writers (WAV, description, GIF),
// each into a temporary file renamed into place.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace demolib {

// A picture of palette indices, rows top-down; the palette holds up to 256
// red, green, blue triples.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> palette;
};

class LibraryFiles {
public:
    // `root`: the system path of the library folder (":Library:").
    explicit LibraryFiles(const std::string& root);

    // Paths are relative to the library folder, with "/" between folders.
    bool wave(const std::string& path, const std::vector<int16_t>& samples, int channels);
    bool description(const std::string& path, const std::vector<std::string>& lines, uint32_t seed);
    bool picture(const std::string& path, const Picture& picture);

    // Removes the plain files of a folder that were not written in this run
    // (what an earlier generator left); sub-folders, such as a song's "User"
    // loops, stay.
    void prune(const std::string& folder);

    uint64_t bytes() const { return bytes_; }
    int files() const { return static_cast<int>(written_.size()); }
    bool ok() const { return ok_; }

private:
    std::string prepare(const std::string& path);
    void wrote(const std::string& full, bool success);

    std::string root_;
    std::set<std::string> written_;
    uint64_t bytes_ = 0;
    bool ok_ = true;
};

// The program's writers, one call each (ProjectWriters.cpp).
bool writeWaveFile(const std::string& systemPath, const std::vector<int16_t>& samples, int channels);
bool writeDescriptionFile(const std::string& systemPath, const std::vector<std::string>& lines,
                          uint32_t seed);
bool writeGifFile(const std::string& systemPath, const Picture& picture);

}  // namespace demolib
