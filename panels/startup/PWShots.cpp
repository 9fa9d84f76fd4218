#include "panels/startup/PWShots.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "control/BLGrooveController.h"
#include "control/BLPlayer.h"
#include "core/kelCore.h"
#include "panels/browser/BLLoadPanel.h"
#include "panels/browser/BLMakeSongPanel.h"
#include "panels/effects/BLEffectsPanel.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/help/BLHelps.h"
#include "panels/help/BLInfoPanel.h"
#include "panels/prefs/BLPrefsPanel.h"
#include "panels/progress/BLProgressPanel.h"
#include "panels/startup/PWDemo.h"
#include "panels/startup/PWmain.h"
#include "panels/synth/BLLoadSynthPanel.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "platform/PlatFiles.h"
#include "platform/PlatHeadless.h"
#include "platform/Platform.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"

namespace fs = std::filesystem;
namespace gi = grooveitem;

namespace {

// What is drawn at idle (meters, lamps, lists filled a few files a pass)
// gets this long after a panel shows before its picture is taken.
constexpr uint32_t kSettleTicks = 8;
// A panel that does not come up in this long fails the run.
constexpr uint32_t kMostTicks = 15 * 60;
// The groove plays this long first, so that its lamps have moved on.
constexpr uint32_t kPlayTicks = 90;

struct Step {
    const char* name;             // the picture: NAME.png
    std::function<bool()> show;   // false: the panel cannot be shown
    std::function<bool()> ready;  // the panel is as the picture should show it
    std::function<void()> leave;
};

struct Run {
    bool armed = false;
    std::string folder;   // where the pictures go
    std::string scratch;  // the run's own program folder
    std::string song;     // a song folder of the library, read for the new-song panel
    size_t step = 0;
    bool entered = false;
    uint32_t since = 0;
    bool taken = false;  // the step's picture is saved
    bool seen[kPanelSlots] = {};
    std::string failure;
    int16_t helpEntry = -1;
} gRun;
plat::ScratchFolder gScratch;

template <class T>
T* panelAs(int16_t index)
{
    return dynamic_cast<T*>(PWScreen.panel(index));
}

plat::HeadlessBackend* headless()
{
    return plat::hasBackend() ? dynamic_cast<plat::HeadlessBackend*>(&plat::backend()) : nullptr;
}

bool settled()
{
    return kelGlo.ticks - gRun.since >= kSettleTicks;
}

bool showPanel(int16_t index)
{
    PWScreen.show(index);
    return PWScreen.isVisible(index);
}

bool shownAndSettled(int16_t index)
{
    return PWScreen.isVisible(index) && settled();
}

void fail(const std::string& why)
{
    if (gRun.failure.empty()) gRun.failure = why;
}

// The picture of what the window shows now, at the stage's own size.
void take(const char* name)
{
    if (gRun.taken) return;
    gRun.taken = true;
    int width = 0, height = 0;
    if (!plat::backend().clientSize(width, height) || width != PWScreenClass::kStageWidth ||
        height != PWScreenClass::kStageHeight)
        return fail(std::string("the window is not the stage's size for ") + name);
    const std::string path = gRun.folder + "/" + name + ".png";
    if (!plat::backend().saveScreenPng(path)) return fail("could not write " + path);
    for (int16_t i = 0; i < kPanelSlots; ++i)
        if (PWScreen.isVisible(i)) gRun.seen[i] = true;
}

// The first song, two grooves of it stored and put in the sequence (so
// that the strips show them and the disk mix has something to mix), playing.
bool playGroove()
{
    if (!blGroovePanel || !blPlayer || !PW_OpenFirstSong()) return false;
    PWScreen.hide(kPWLoadPanel);
    blGroove->randomize(0);
    blGroove->store();
    blGroove->randomize(0);
    blGroove->store();
    blGroove->addAll();
    blPlayer->play();
    return blPlayer->playing;
}

bool metersMove()
{
    int moving = 0;
    for (int16_t meter : gi::meter)
        if (kelPanelControl* c = blGroovePanel->control(meter); c && c->get() > 0) ++moving;
    return moving >= 2;
}

// The loops of a song, read as loops of the user's own would be.
bool showNewSong()
{
    auto* browser = panelAs<BLLoadPanel>(kPWLoadPanel);
    if (!browser || gRun.song.empty() || !showPanel(kPWLoadPanel)) return false;
    browser->makeSongFrom({gRun.song});
    return true;
}

// The disk mix runs on the main thread behind its progress panel: the
// picture is taken from the event queue, which the panel keeps pumping.
void watchProgress()
{
    if (gRun.taken || !gRun.failure.empty()) return;
    if (PWScreen.isVisible(kPWProgressPanel)) {
        take("diskmix");
        return;
    }
    if (kelGlo.ticks - gRun.since < kMostTicks) headless()->pushAction(watchProgress, 5);
}

bool startDiskMix()
{
    plat::HeadlessBackend* backend = headless();
    if (!backend || !blGroovePanel) return false;
    backend->queueDialogAnswer(gRun.scratch + "/Mix.wav");
    backend->pushAction(watchProgress);
    blGroovePanel->onItem_diskMix();
    return true;
}

int16_t helpEntryOf(int16_t panel, int16_t item)
{
    for (int16_t i = 0; blHelpp && i < blHelpp->count; ++i)
        if (blHelpp->entries[i].rollover && blHelpp->entries[i].panel == panel &&
            blHelpp->entries[i].item == item)
            return i;
    return -1;
}

void moveMouse(int x, int y)
{
    if (plat::HeadlessBackend* backend = headless())
        backend->pushNow(plat::Event{.type = plat::Event::Type::MouseMove, .x = x, .y = y});
}

// A filter and a delay on the first track, as its FX button opens them.
bool showEffects()
{
    auto* fx = panelAs<BLEffectsPanel>(kPWEffectsPanel);
    if (!fx || !blGroove) return false;
    blGroove->setEffect(0, 0, "filter");
    blGroove->setEffectParam(0, 0, "cutoff", 1200.0f);
    blGroove->setEffectParam(0, 0, "resonance", 0.4f);
    blGroove->setEffect(0, 1, "delay");
    blGroove->setEffectParam(0, 1, "time", 0.375f);
    fx->openFor(0);
    return PWScreen.isVisible(kPWEffectsPanel);
}

// F1's help bubbles, the mouse at rest on Play.
bool startHelp()
{
    gRun.helpEntry = helpEntryOf(kPWGroovePanel, gi::play);
    kelPanelControl* play = blGroovePanel ? blGroovePanel->control(gi::play) : nullptr;
    if (!blHelpp || gRun.helpEntry < 0 || !play) return false;
    blHelpp->toggle(1);
    moveMouse((play->rect.left + play->rect.right) / 2, (play->rect.top + play->rect.bottom) / 2);
    return blHelpp->on;
}

const std::vector<Step>& steps()
{
    static const std::vector<Step> all = {
        {"groove", playGroove,
         [] { return blPlayer->playing && kelGlo.ticks - gRun.since >= kPlayTicks && metersMove(); }, [] {}},
        {"browser", [] { return showPanel(kPWLoadPanel); }, [] { return shownAndSettled(kPWLoadPanel); },
         [] {}},
        {"newsong", showNewSong, [] { return shownAndSettled(kPWMakeSongPanel); },
         [] {
             if (auto* p = panelAs<BLMakeSongPanel>(kPWMakeSongPanel)) p->close();
             PWScreen.hide(kPWLoadPanel);
         }},
        {"synth", [] { return showPanel(kPWSynthPanel); }, [] { return shownAndSettled(kPWSynthPanel); },
         [] {}},
        {"synthsounds", [] { return showPanel(kPWLoadSynthPanel); },
         [] { return shownAndSettled(kPWLoadSynthPanel); },
         [] {
             if (auto* p = panelAs<BLLoadSynthPanel>(kPWLoadSynthPanel)) p->close();
             PWScreen.hide(kPWSynthPanel);
         }},
        {"tuner", [] { return showPanel(kPWLoopTunerPanel); },
         [] { return shownAndSettled(kPWLoopTunerPanel); },
         [] {
             if (auto* p = panelAs<BLLoopTunerPanel>(kPWLoopTunerPanel)) p->close();
         }},
        {"effects", showEffects, [] { return shownAndSettled(kPWEffectsPanel); },
         [] { PWScreen.hide(kPWEffectsPanel); }},
        {"network", [] { return showPanel(kPWNetPanel); }, [] { return shownAndSettled(kPWNetPanel); },
         [] { PWScreen.hide(kPWNetPanel); }},
        {"prefs", [] { return showPanel(kPWPrefsPanel); }, [] { return shownAndSettled(kPWPrefsPanel); },
         [] {
             if (auto* p = panelAs<BLPrefsPanel>(kPWPrefsPanel)) p->cancel();
         }},
        {"help", startHelp, [] { return blHelpp->current == gRun.helpEntry && settled(); },
         [] {
             blHelpp->toggle(1);
             moveMouse(0, 0);
         }},
        {"about", [] { return showPanel(kPWInfoPanel); },
         [] {
             auto* info = panelAs<BLInfoPanel>(kPWInfoPanel);
             return info && info->figures.done() && shownAndSettled(kPWInfoPanel);
         },
         [] { PWScreen.hide(kPWInfoPanel); }},
        // Its picture is taken while it mixes; this waits for the mix to end.
        {"diskmix", startDiskMix, [] { return gRun.taken && !PWScreen.isVisible(kPWProgressPanel); }, [] {}},
        {"vmix", [] { return showPanel(kPWVMixPanel); }, [] { return shownAndSettled(kPWVMixPanel); }, [] {}},
        {"randmix", [] { return showPanel(kPWRandMixPanel); },
         [] { return shownAndSettled(kPWRandMixPanel); }, [] {}},
    };
    return all;
}

void end()
{
    gRun.armed = false;
    if (gRun.failure.empty())
        for (int16_t i = 0; i < kPanelSlots; ++i)
            if (!gRun.seen[i]) fail("no picture shows panel " + std::to_string(i));
    if (blPlayer) blPlayer->stop();
    KEL_RequestTerminate();
}

// A link in the run's folder to `target`, when there is one.
bool linkTo(const fs::path& target, const fs::path& link, std::string& error)
{
    std::error_code ec;
    if (!fs::exists(target, ec)) return true;
    if (fs::is_directory(target, ec))
        fs::create_directory_symlink(target, link, ec);
    else
        fs::create_symlink(target, link, ec);
    if (ec) error = "cannot link " + link.string() + ": " + ec.message();
    return !ec;
}

}  // namespace

std::string PWShots_Arm(const std::string& folder, const std::string& programFile, std::string& error)
{
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        error = "cannot make the folder " + folder;
        return "";
    }
    gRun = Run{};
    if (!gScratch.make("beatloom-shots")) {
        error = "cannot make a folder for the run in " + fs::temp_directory_path(ec).string();
        return "";
    }
    gRun.folder = folder;
    gRun.scratch = gScratch.path();
    // The library's songs and sounds are only read; what the program makes
    // there (a cache, new folders) stays in the run's own Library.
    const fs::path built = fs::path(programFile).parent_path();
    const fs::path scratch = gRun.scratch;
    bool linked = linkTo(programFile, scratch / "beatloom", error);
    for (const char* name : {"Beatloom.xrs", "Helps.txt"})
        linked = linked && linkTo(built / name, scratch / name, error);
    fs::create_directory(scratch / "Library", ec);
    for (const fs::directory_entry& entry : fs::directory_iterator(built / "Library", ec))
        linked = linked && linkTo(entry.path(), scratch / "Library" / entry.path().filename(), error);
    std::vector<std::string> songs;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch / "Library" / "Song", ec))
        if (entry.is_directory()) songs.push_back(entry.path().string());
    if (!songs.empty())
        gRun.song = *std::min_element(songs.begin(), songs.end());
    else if (linked)
        error = "there is no song in " + (built / "Library" / "Song").string() + " to show";
    if (!linked || songs.empty()) {
        gScratch.remove();
        return "";
    }
    gRun.armed = true;
    // Recovery files go with the run; the sound goes nowhere; the texts are
    // the guide's language.
    setenv("XDG_STATE_HOME", (scratch / "state").c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("LC_ALL", "C", 1);
    return (scratch / "beatloom").string();
}

bool PWShots_Armed()
{
    return gRun.armed;
}

void PWShots_Idle()
{
    if (!gRun.armed) return;
    const std::vector<Step>& all = steps();
    if (!gRun.failure.empty() || gRun.step >= all.size()) return end();
    const Step& step = all[gRun.step];
    if (!gRun.entered) {
        gRun.entered = true;
        gRun.taken = false;
        gRun.since = kelGlo.ticks;
        if (!step.show()) fail(std::string(step.name) + ".png: the panel could not be shown");
        return;
    }
    if (!step.ready()) {
        if (kelGlo.ticks - gRun.since > kMostTicks)
            fail(std::string(step.name) + ".png: the panel was not ready after " +
                 std::to_string(kMostTicks / 60) + " s");
        return;
    }
    take(step.name);
    step.leave();
    ++gRun.step;
    gRun.entered = false;
}

int PWShots_Finish(int programExitCode)
{
    std::error_code ec;
    gScratch.remove();
    if (!gRun.failure.empty()) {
        std::fprintf(stderr, "beatloom: %s\n", gRun.failure.c_str());
        return 1;
    }
    if (programExitCode != 0) return programExitCode;
    if (gRun.step < steps().size()) {
        std::fprintf(stderr, "beatloom: the program ended before its pictures were made\n");
        return 1;
    }
    std::printf("Saved %zu pictures in %s\n", steps().size(), gRun.folder.c_str());
    return 0;
}
