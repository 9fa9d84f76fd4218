// Song folders for the library's tests: a program folder of the test's own
// (made the current folder, as at start-up), descriptions written with the
// project's BLS writer, and loop files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "library/BLBlsWriter.h"
#include "library/BLSongLibrary.h"
#include "support/TestSupport.h"

namespace songtest {

namespace fs = std::filesystem;

inline std::string kelOf(const std::string& system)
{
    char out[kKelPathMax + 1];
    EXPECT_TRUE(KEL_SystemPathToKelPath(system.c_str(), out)) << system;
    return out;
}

inline void writeDescription(const std::string& systemPath, const std::vector<std::string>& lines)
{
    fs::create_directories(fs::path(systemPath).parent_path());
    std::string error;
    ASSERT_TRUE(BLBlsWriter_Write(kelOf(systemPath).c_str(), lines, &error)) << error;
}

inline void touch(const std::string& systemPath, const std::string& bytes = "x")
{
    fs::create_directories(fs::path(systemPath).parent_path());
    ASSERT_TRUE(testsupport::writeFile(systemPath, bytes)) << systemPath;
}

// A loop the engine plays as it is: a canonical 16-bit stereo WAV at 44100 Hz.
inline void writeLoop(const std::string& systemPath, int frames = 16)
{
    std::string b = "RIFF";
    auto u32 = [&b](uint32_t v) {
        for (int i = 0; i < 4; ++i) b += static_cast<char>(v >> (8 * i));
    };
    auto u16 = [&b](uint16_t v) { b += static_cast<char>(v), b += static_cast<char>(v >> 8); };
    u32(36 + 4 * frames);
    b += "WAVEfmt ";
    u32(16), u16(1), u16(2), u32(44100), u32(44100 * 4), u16(4), u16(16);
    b += "data";
    u32(4 * frames);
    b.append(static_cast<size_t>(4 * frames), '\0');
    touch(systemPath, b);
}

// The loops fullDescription names, in a song folder.
inline void writeFullLoops(const std::string& songFolder)
{
    for (const char* name : {"bass01", "drums01", "drums02", "keys01", "bass02"})
        writeLoop(songFolder + "/" + name + ".wav");
}

// The lines of a 1.2 description with every block: groups drums, bass,
// keys; four samples; two random sets; one style.
inline std::vector<std::string> fullDescription()
{
    return {
        std::string(kBLSFormatKeyword) + " BLS 1.2",
        "SONGLIBRARY: Demo Library",
        "SONGTITLE: Night Drive",
        "SONGDESCRIPTION: A slow song",
        "for late hours",
        "SONGBPM: 105",
        "SONGMIX: 3",
        "ARPNOTE: C Ed G",
        "LONGCOMMAND: CATEGORYLIST: 3",
        "drums",
        "bass",
        "keys",
        "ENDCOMMAND:",
        "LONGCOMMAND: RANDOMSET: 2",
        "basic 3 drums bass keys",
        "Sparse 2 drums nothing",
        "ENDCOMMAND:",
        "LONGCOMMAND: SONGTRACKS: 5",
        "bass01 90 63 2 Deep",
        "drums01 100 70 4 Beat",
        "drums02 110 56 8",
        "keys01 70 20 1 Pad",
        "bass02 80 126 1 Walk",
        "ENDCOMMAND:",
        "LONGCOMMAND: SONGVMIX: 3 2 verse",
        "drums",
        "bass",
        "keys",
        "0 1 2 -1 -1 -1 -1 -1",
        "0 0 1 2 -1 -1 -1 -1",
        "ENDCOMMAND:",
    };
}

// A program folder of the test's own, made the current folder for the test.
class ProgramFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char here[4096];
        ASSERT_NE(getcwd(here, sizeof here), nullptr);
        before = here;
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        fs::create_directories(songs());
    }
    void TearDown() override { ASSERT_EQ(chdir(before.c_str()), 0); }

    std::string songs() const { return dir.file("Library/Song"); }
    std::string songFolder(const std::string& name) const { return songs() + "/" + name; }
    // The song folder's kel path, relative to the program folder.
    static std::string songKel(const std::string& name) { return ":Library:Song:" + name + ":"; }

    testsupport::TempDir dir{"songlib"};
    std::string before;
};

}  // namespace songtest
