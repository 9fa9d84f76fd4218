// The whole program started in this process on the real skin, with the song
// browser over a library the test makes: songs written here, demo songs
// linked in (hard links, so deleting one never touches the build's files),
// and a groove panel stand-in that records what the browser asks of it.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/FileTestUtil.h"
#include "core/kelDisksList.h"
#include "library/BLBlsWriter.h"
#include "library/BLGroove.h"
#include "net/BLNet.h"
#include "panels/browser/BLLoadLinks.h"
#include "panels/browser/BLLoadPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"
#include "ui/PWScreen.h"

namespace browsertest {

namespace fs = std::filesystem;

// The link keeps every message it forms, in order.
class RecordingNet : public BLNet {
public:
    bool send(const char* text) override
    {
        sent.emplace_back(text);
        return false;
    }
    std::vector<std::string> sent;
};

class FakeHost : public BLLoadHost {
public:
    bool loadSong(const char* folder) override
    {
        loads.emplace_back(folder);
        return loadResult;
    }
    void randomize(int16_t set) override { randomized.push_back(set); }
    void lightGame_Start(int16_t period) override
    {
        chasePeriods.push_back(period);
        chasing = true;
    }
    void lightGame_End() override
    {
        ++chaseEnds;
        chasing = false;
    }
    const BLGroove& currentGroove() const override { return groove; }
    BLNet& net() override { return link; }

    bool loadResult = true;
    std::vector<std::string> loads;
    std::vector<int16_t> randomized;
    std::vector<int16_t> chasePeriods;
    int chaseEnds = 0;
    bool chasing = false;
    BLGroove groove;
    RecordingNet link;
};

// A canonical 16-bit stereo WAV of a sine.
inline std::string sineWave(int frames, double hz)
{
    std::string out;
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    auto u16 = [&](uint16_t v) {
        out += static_cast<char>(v & 0xFF);
        out += static_cast<char>(v >> 8);
    };
    const uint32_t data = static_cast<uint32_t>(frames) * 4;
    out += "RIFF";
    u32(36 + data);
    out += "WAVEfmt ";
    u32(16);
    u16(1);
    u16(2);
    u32(44100);
    u32(44100 * 4);
    u16(4);
    u16(16);
    out += "data";
    u32(data);
    for (int i = 0; i < frames; ++i) {
        const auto s = static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * hz * i / 44100.0)));
        u16(static_cast<uint16_t>(s));
        u16(static_cast<uint16_t>(s));
    }
    return out;
}

struct SongRecipe {
    std::string title = "Test Song";
    std::string library = "TestLib";
    std::string description = "A song made by a test.";
    int bpm = 120;
    bool preview = true;
};

// A song folder with a description (and a preview) in a Song folder.
inline void writeSong(const std::string& songFolder, const SongRecipe& recipe)
{
    fs::create_directories(songFolder);
    std::string bytes;
    ASSERT_TRUE(BLBlsWriter_Encode({"SONGFORMAT: BLS 1.2", "SONGLIBRARY: " + recipe.library,
                                    "SONGTITLE: " + recipe.title, "SONGDESCRIPTION: " + recipe.description,
                                    "SONGBPM: " + std::to_string(recipe.bpm), "SONGMIX: 0", "ARPNOTE: C"},
                                   &bytes));
    ASSERT_TRUE(testsupport::writeFile(songFolder + "/song.bls", bytes));
    ASSERT_TRUE(testsupport::writeFile(songFolder + "/Drums01.wav", sineWave(4410, 110)));
    if (recipe.preview) {
        ASSERT_TRUE(testsupport::writeFile(songFolder + "/preview.wav", sineWave(22050, 440)));
    }
}

class BrowserProgram : public ::testing::Test {
protected:
    // The library the program starts with; a test that wants another one
    // makes it before start().
    void SetUp() override
    {
        std::error_code ec;
        fs::remove(dir.file("Library"), ec);  // the build's library, linked
        for (const char* sub : {"Song", "Images", "Bls", "Synth"}) fs::create_directories(library(sub));
    }
    void TearDown() override
    {
        quit();
        kelDisksList::setVolumeRoots({});
    }
    // The program ends as it does when closed: the preferences are written.
    void quit()
    {
        if (!started_) return;
        started_ = false;
        blLoadHost = savedHost_;
        PW_ExitAll();
        plat::clearBackend();
    }
    std::string library(const std::string& sub = "") const
    {
        return dir.file("Library") + (sub.empty() ? "" : "/" + sub);
    }
    std::string song(const std::string& name) const { return library("Song") + "/" + name; }

    // The build's demo songs, with their pictures and program store.
    void linkDemoSongs()
    {
        const fs::path built = fs::path(testsupport::programDir()) / "Library";
        const auto options = fs::copy_options::recursive | fs::copy_options::create_hard_links;
        for (const char* sub : {"Song", "Images", "Bls"}) fs::copy(built / sub, library(sub), options);
    }

    void start(int monitorWidth = 1024, int monitorHeight = 768)
    {
        auto b = std::make_unique<plat::HeadlessBackend>(monitorWidth, monitorHeight);
        backend = b.get();
        backend->setLogFile(dir.file("log.txt"));
        plat::setBackend(std::move(b));
        kelGlo = kelGloRec{};
        windowsCommandLine[0] = '\0';
        std::snprintf(PWprogramFile, sizeof PWprogramFile, "%s", dir.program().c_str());
        ASSERT_TRUE(KEL_Platform_Init());
        ASSERT_EQ(PW_InitAll(), 1);
        started_ = true;
        // The browser talks to the stand-in in place of the groove panel,
        // unless the test wants the real one.
        savedHost_ = blLoadHost;
        if (fakeHost) blLoadHost = &host;
        pump();
        ASSERT_NE(panel(), nullptr);
    }
    BLLoadPanel* panel() const { return dynamic_cast<BLLoadPanel*>(PWfloatPanelPtr[kPWLoadPanel]); }
    void pump()
    {
        const KelAppHooks hooks = PW_AppHooks();
        while (KEL_HandleOneMessage(hooks)) {
        }
    }
    // The main loop for a while: events, and idle passes between them.
    void idleFor(int ms)
    {
        const KelAppHooks hooks = PW_AppHooks();
        const uint32_t end = plat::millis() + static_cast<uint32_t>(ms);
        while (static_cast<int32_t>(end - plat::millis()) > 0)
            if (!KEL_HandleOneMessage(hooks)) KEL_IdlePass(hooks);
    }
    // The main loop until `done` holds (true) or 30 s have passed (false).
    template <class Done>
    bool idleUntil(Done done)
    {
        const KelAppHooks hooks = PW_AppHooks();
        const uint32_t end = plat::millis() + 30000;
        while (!done()) {
            if (static_cast<int32_t>(end - plat::millis()) <= 0) return false;
            if (!KEL_HandleOneMessage(hooks)) KEL_IdlePass(hooks);
        }
        return true;
    }
    // Runs script lines now, then everything they cause.
    void script(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(backend->parseScript(text, error)) << error;
        for (int i = 0; i < 400 && backend->pending() > 0; ++i) {
            pump();
            plat::sleepMs(2);
        }
        pump();
    }
    // A click on the middle of one of the browser's controls, as a person makes it.
    void clickItem(int16_t item) { clickControl(kPWLoadPanel, item); }
    // The same on a control of any panel.
    void clickControl(int16_t panelIndex, int16_t item)
    {
        const kelRect r = PWfloatPanelPtr[panelIndex]->control(item)->rect;
        script(testsupport::join("click ", (r.left + r.right) / 2, " ", (r.top + r.bottom) / 2, "\n"));
    }
    void clickLine(int16_t line) { clickItem(static_cast<int16_t>(BLLoadPanel::kItemFirstLine + line)); }
    std::string lineText(int16_t line) const
    {
        return controlText(static_cast<int16_t>(BLLoadPanel::kItemFirstLine + line));
    }
    std::string infoText(int16_t line) const
    {
        return controlText(static_cast<int16_t>(BLLoadPanel::kItemFirstInfo + line));
    }
    std::string controlText(int16_t item) const
    {
        char text[256] = {};
        panel()->control(item)->getValue(text);
        return text;
    }
    std::vector<std::string> entryFolders() const
    {
        std::vector<std::string> out;
        for (int16_t i = 0; i < panel()->page.count; ++i) out.emplace_back(panel()->entries[i].folder);
        return out;
    }
    std::string log() const { return testsupport::readFile(dir.file("log.txt")); }

    testsupport::ProgramDir dir{"browser"};
    filetest::CurrentDir keepCwd{dir.path()};
    plat::HeadlessBackend* backend = nullptr;
    FakeHost host;
    bool fakeHost = true;

private:
    bool started_ = false;
    BLLoadHost* savedHost_ = nullptr;
};

}  // namespace browsertest
