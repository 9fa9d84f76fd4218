// The library in figures, as the information panel shows them: what counts
// as a song, a loop and a synth sound, and the space every file takes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/FileTestUtil.h"
#include "library/BLLibraryFigures.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// A canonical 16-bit stereo WAV of `frames` silent frames.
std::string wave(int frames)
{
    std::string out = "RIFF";
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto u16 = [&](uint16_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8);
    };
    u32(36 + static_cast<uint32_t>(frames) * 4);
    out += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out += "data";
    u32(static_cast<uint32_t>(frames) * 4);
    out += std::string(static_cast<size_t>(frames) * 4, '\0');
    return out;
}

TEST(LibraryFigures, SongsLoopsMinutesSynthSoundsAndBytes)
{
    testsupport::TempDir dir("figures");
    const std::string lib = dir.file("Library");
    int64_t bytes = 0;
    auto put = [&](const std::string& path, const std::string& content) {
        fs::create_directories(fs::path(lib + "/" + path).parent_path());
        ASSERT_TRUE(testsupport::writeFile(lib + "/" + path, content));
        bytes += static_cast<int64_t>(content.size());
    };
    put("Song/Alpha/song.bls", "description");
    put("Song/Alpha/Drums01.wav", wave(44100 * 30));
    put("Song/Alpha/Bass01.WAV", wave(44100 * 15));
    put("Song/Alpha/preview.wav", wave(44100 * 20));  // an audition, not a loop
    put("Song/Beta/Keys01.wav", wave(44100 * 15));
    put("Song/Beta/notes.txt", "not a loop");
    put("Song/Beta/Broken.wav", "RIFF but nothing more");
    put("Song/Gamma/song.bls", "a song without loops yet");
    put("Song/stray.wav", wave(100));  // beside the songs, in none
    put("Synth/Pad/c2.wav", wave(1000));
    put("Synth/Pad/d2.wav", wave(1000));
    put("Synth/Lead/c2.wav", wave(1000));
    put("Images/Beatloom.gif", "GIF89a");

    for (const int budget : {1, 1000}) {
        SCOPED_TRACE(budget);
        BLLibraryFigures figures;
        figures.start(filetest::kelFolderOf(lib).c_str());
        int passes = 0;
        while (!figures.step(budget)) ASSERT_LT(++passes, 1000);
        EXPECT_EQ(figures.songs, 2);
        EXPECT_EQ(figures.loops, 3);
        EXPECT_DOUBLE_EQ(figures.audioSeconds, 60.0);
        EXPECT_EQ(figures.synthSounds, 2);
        EXPECT_EQ(figures.bytes, bytes);
        if (budget == 1) {
            EXPECT_GT(passes, 15) << "a file or folder a pass";
        }
    }

    // A library that cannot be read counts nothing and is done at once.
    BLLibraryFigures none;
    none.start(filetest::kelFolderOf(dir.file("nowhere")).c_str());
    EXPECT_TRUE(none.step(1));
    EXPECT_EQ(none.songs + none.loops + none.synthSounds, 0);
    EXPECT_EQ(none.bytes, 0);
}

}  // namespace
