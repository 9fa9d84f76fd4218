#include "panels/startup/PWDemo.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "control/BLGrooveController.h"
#include "control/BLPlayer.h"
#include "core/kelCore.h"
#include "core/kelFolderList.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatFiles.h"
#include "platform/Platform.h"
#include "ui/PWScreen.h"

namespace {

// The start screen shows this long first; then the groove plays until the
// device has played a little more than 8 seconds of it (counted in frames:
// on a loaded machine that takes longer), and the screen is saved and the
// sound written. A device that plays nothing is given up on after a while.
constexpr uint32_t kStartTicks = 90;
constexpr long kPlayFrames = 8 * 44100 + 44100 / 4;
constexpr uint32_t kMostPlayTicks = 120 * 60;

struct Demo {
    bool armed = false;
    bool started = false;
    bool playing = false;
    uint32_t startTicks = 0;
    std::string folder;
    std::string raw;  // what SDL's disk driver writes: the device's frames
} gDemo;
// The raw frames' file: a scratch file of the careful writer's beside
// played.wav, so that no file of the folder is ever truncated for it.
std::unique_ptr<plat::ScratchFile> gRawFile;

void putLE(std::FILE* f, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) std::fputc(static_cast<int>((v >> (8 * i)) & 0xFF), f);
}

// The device's frames (44100 Hz, 16-bit stereo) under a canonical WAV header,
// through a temporary file renamed into place.
bool rawToWave(const std::string& raw, const std::string& wave)
{
    std::FILE* in = std::fopen(raw.c_str(), "rb");
    if (!in) return false;
    std::vector<char> data;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) data.insert(data.end(), buffer, buffer + n);
    std::fclose(in);
    data.resize(data.size() / 4 * 4);
    plat::ReplaceFile file;
    if (!file.open(wave)) return false;
    const int fd = file.release();
    std::FILE* out = ::fdopen(fd, "wb");
    if (!out) {
        ::close(fd);
        return false;
    }
    const auto bytes = static_cast<uint32_t>(data.size());
    std::fwrite("RIFF", 1, 4, out);
    putLE(out, 36 + bytes, 4);
    std::fwrite("WAVEfmt ", 1, 8, out);
    putLE(out, 16, 4);
    putLE(out, 1, 2);          // PCM
    putLE(out, 2, 2);          // channels
    putLE(out, 44100, 4);      // frames a second
    putLE(out, 44100 * 4, 4);  // bytes a second
    putLE(out, 4, 2);          // bytes a frame
    putLE(out, 16, 2);         // bits a sample
    std::fwrite("data", 1, 4, out);
    putLE(out, bytes, 4);
    const bool written = std::fwrite(data.data(), 1, data.size(), out) == data.size();
    return std::fclose(out) == 0 && written && file.commit();
}

// Frames the device has played so far: what SDL's disk driver has written.
long playedFrames()
{
    struct stat st;
    return stat(gDemo.raw.c_str(), &st) == 0 ? static_cast<long>(st.st_size / 4) : 0;
}

}  // namespace

// The first song of the library (by folder name) that opens.
bool PW_OpenFirstSong()
{
    if (!blGroovePanel) return false;
    kelFolderList list(":Library:Song:");
    list.filterFolders(0);
    std::vector<std::string> names;
    if (list.start())
        while (list.next()) names.emplace_back(list.name);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        if (blGroovePanel->loadSong((":Library:Song:" + name + ":").c_str())) return true;
    return false;
}

bool PWDemo_Arm(const std::string& folder)
{
    if (folder.empty()) return false;
    mkdir(folder.c_str(), 0755);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    gRawFile = std::make_unique<plat::ScratchFile>();
    if (!gRawFile->open(folder + "/played.wav")) return false;
    gDemo = Demo{true, false, false, 0, folder, gRawFile->path()};
    // The sound goes through the real device path into SDL's disk driver,
    // which writes exactly what a sound card would have played.
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", gDemo.raw.c_str(), 1);
    return true;
}

bool PWDemo_Armed()
{
    return gDemo.armed;
}

void PWDemo_Idle()
{
    if (!gDemo.armed) return;
    if (!gDemo.started) {
        gDemo.started = true;
        gDemo.startTicks = kelGlo.ticks;
        return;
    }
    if (!gDemo.playing) {
        if (kelGlo.ticks - gDemo.startTicks < kStartTicks) return;
        gDemo.playing = true;
        gDemo.startTicks = kelGlo.ticks;
        if (PW_OpenFirstSong()) {
            PWScreen.hide(kPWLoadPanel);
            blGroove->randomize(0);
            if (blPlayer && !blPlayer->playing) blPlayer->play();
        } else {
            plat::logLine("the demonstration found no song to play");
        }
        return;
    }
    if (playedFrames() < kPlayFrames && kelGlo.ticks - gDemo.startTicks < kMostPlayTicks) return;
    gDemo.armed = false;
    if (playedFrames() < kPlayFrames)
        plat::logLine("the demonstration's sound device played less than 8 seconds");
    const std::string screen = gDemo.folder + "/screen.png";
    if (plat::backend().saveScreenPng(screen))
        std::printf("Saved what Beatloom showed: %s\n", screen.c_str());
    else
        plat::logLine("could not save " + screen);
    if (blPlayer) blPlayer->stop();
    const std::string wave = gDemo.folder + "/played.wav";
    if (rawToWave(gDemo.raw, wave))
        std::printf("Saved what Beatloom played: %s\n", wave.c_str());
    else
        plat::logLine("could not save " + wave);
    gRawFile.reset();
    std::fflush(stdout);
    KEL_RequestTerminate();
}
