// Disk mixes from the groove panel and the preferences panel, the whole
// program run in this process on the real skin: the Disk mix button, the
// dialog answered by the script, the progress panel in view while the mix
// runs, the file that comes out; Stop pressed during stems; and the export
// format chosen in the preferences used by the next mix, after a restart too.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "audio/QualMix.h"
#include "control/BLPlayer.h"
#include "core/BLPath.h"
#include "core/FileTestUtil.h"
#include "core/kelFiles.h"
#include "e2e/GrooveSession.h"
#include "e2e/MixReference.h"
#include "library/BLDocument.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/prefs/BLPrefsPanel.h"
#include "panels/progress/BLProgressPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatHeadless.h"
#include "platform/PlatSound.h"
#include "support/TestSupport.h"
#include "ui/PWScreen.h"

namespace fs = std::filesystem;
using testsupport::join;

namespace {

// What the mix's progress hook saw; the test's hook wraps the panel's.
struct Seen {
    int calls = 0;
    bool shot = false;
    bool panelShown = false;
    bool modal = false;
    std::string picture;  // where the window is saved as the mix passes half-way
    std::function<void(int)> onCall;
};
Seen seen;

// The preferences as a fresh start has them.
void resetPrefs()
{
    blPrefs.exportFormat = kelQtFormatNative;
    kelQt_soundConvert_settingsDataDispose(&blPrefs.exportSettings);
    blPrefs.mixTarget = blPrefs.interfaceColor = blPrefs.normalize = blPrefs.resampleQuality = 0;
    const int16_t levels[kBLRandomLevels] = {4, 5, 6, 7};
    std::copy(levels, levels + kBLRandomLevels, blPrefs.randomLevels);
}

void seeProgress(float x)
{
    BLProgress_subAmount(x);
    ++seen.calls;
    if (!seen.shot && x > 0.4f) {
        seen.shot = true;
        seen.panelShown = PWScreen.isVisible(kPWProgressPanel);
        seen.modal = PWScreen.modalPanel == kPWProgressPanel;
        if (!seen.picture.empty()) plat::backend().saveScreenPng(seen.picture);
    }
    if (seen.onCall) seen.onCall(seen.calls);
}

class DiskMix : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::error_code ec;
        fs::remove(dir.file("Library"), ec);
        fs::create_directories(dir.file("Library/Song"));
        mixref::writeSong(song, dir.file("Library/Song"));
        char kel[kKelPathMax + 1];
        ASSERT_TRUE(KEL_SystemPathToKelPath(dir.file("song.bld").c_str(), kel));
        ASSERT_TRUE(BLDocument_Write(kel, ice, nullptr));
        docKel = kel;
        seen = Seen{};
        start();
    }
    void TearDown() override
    {
        stop();
        resetPrefs();
    }
    void start()
    {
        auto b = std::make_unique<plat::HeadlessBackend>(1024, 768);
        backend = b.get();
        backend->setLogFile(dir.file("log.txt"));
        plat::setBackend(std::move(b));
        kelGlo = kelGloRec{};
        windowsCommandLine[0] = '\0';
        std::snprintf(PWprogramFile, sizeof PWprogramFile, "%s", dir.program().c_str());
        ASSERT_TRUE(KEL_Platform_Init());
        ASSERT_EQ(PW_InitAll(), 1);
        QualMix_SetHooks(seeProgress, BLProgress_shouldStop);
        pump();
    }
    void stop()
    {
        if (PWfloatPanelPtr[0]) PW_ExitAll();
        plat::clearBackend();
    }
    void pump()
    {
        const KelAppHooks hooks = PW_AppHooks();
        while (KEL_HandleOneMessage(hooks)) {
        }
    }
    // The main loop until `done` holds (a minute at most).
    bool runUntil(const std::function<bool()>& done)
    {
        const KelAppHooks hooks = PW_AppHooks();
        const uint32_t until = plat::millis() + 60000;
        while (!done()) {
            if (static_cast<int32_t>(plat::millis() - until) > 0) return false;
            if (!KEL_HandleOneMessage(hooks)) KEL_IdlePass(hooks);
        }
        return true;
    }
    void script(const std::string& text)
    {
        std::string error;
        ASSERT_TRUE(backend->parseScript(text, error)) << error;
    }
    static std::string centre(const kelRect& r)
    {
        return join((r.left + r.right) / 2, " ", (r.top + r.bottom) / 2);
    }
    kelRect rectOf(int16_t panel, int16_t item) { return PWScreen.panel(panel)->control(item)->rect; }
    void openDocument()
    {
        blGroovePanel->controller().model.loadDocument(docKel.c_str());
        pump();
        ASSERT_STREQ(blGroovePanel->controller().model.library().folderName, song.name.c_str());
    }
    // Clicks Disk mix with the dialog answered `answer`; runs until the mix is over.
    void diskMix(const std::string& answer)
    {
        const size_t asked = backend->dialogs().size();
        script("dialog " + answer + "\nclick " + centre(rectOf(kPWGroovePanel, grooveitem::diskMix)) + "\n");
        // The answer has come back and been handled: the mix ran inside it.
        ASSERT_TRUE(runUntil([&] {
            return backend->dialogs().size() > asked && !BLPath::dialogPending() && backend->pending() == 0 &&
                   !PWScreen.isVisible(kPWProgressPanel);
        }));
    }
    std::vector<std::string> filesIn(const std::string& folder)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.file(folder)))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    testsupport::ProgramDir dir{"diskmix"};
    filetest::CurrentDir keepCwd{dir.path()};
    mixref::Song song = mixref::referenceSong();
    BLIceimage ice = mixref::referenceDocument(song, 100.7f);
    std::string docKel;
    plat::HeadlessBackend* backend = nullptr;
};

}  // namespace

TEST_F(DiskMix, FromTheGroovePanelBehindTheProgressPanel)
{
    openDocument();
    // Played a while and stopped, the play bar shows where it stopped.
    blPlayer->play();
    ASSERT_TRUE(runUntil([&] { return std::string(blGroovePanel->positionText) >= "02:01"; }));
    blPlayer->stop();
    diskMix(dir.file("mixes/first mix.wav"));  // the folder is missing: nothing written, the person told
    EXPECT_FALSE(fs::exists(dir.file("mixes")));
    ASSERT_FALSE(backend->boxes().empty());
    EXPECT_NE(backend->boxes().back().text.find("could not be written"), std::string::npos);
    EXPECT_STREQ(blGroovePanel->positionText, "--:--")
        << "a mix made while stopped leaves no place in the groove";

    // Played while it mixes, the sequence goes on afterwards; the end is said,
    // and its button opens the folder.
    fs::create_directories(dir.file("mixes"));
    seen = Seen{};
    seen.picture = dir.file("progress.png");
    blPlayer->playSequence();
    script("box yes\n");
    diskMix(dir.file("mixes/first mix.wav"));
    EXPECT_TRUE(blPlayer->playing && blPlayer->sequenceMode);
    const auto frames = static_cast<int>(mixref::expectedMix(song, ice).size() / 2);
    const int seconds = (frames + MIXFREQ / 2) / MIXFREQ;
    EXPECT_EQ(backend->boxes().back().text,
              "Written: first mix.wav (" +
                  join(seconds / 60, ":", seconds % 60 < 10 ? "0" : "", seconds % 60) + ")");
    EXPECT_NE(testsupport::readFile(dir.file("log.txt")).find("address file://" + dir.file("mixes") + "\n"),
              std::string::npos);
    const auto dialogs = backend->dialogs();
    ASSERT_FALSE(dialogs.empty());
    EXPECT_TRUE(dialogs.back().save);
    EXPECT_NE(dialogs.back().patterns.find("*.wav"), std::string::npos);
    EXPECT_TRUE(seen.shot);
    EXPECT_TRUE(seen.panelShown);
    EXPECT_TRUE(seen.modal);
    groovee2e::GrooveSession::keepScreen(seen.picture, "diskmix-progress");
    EXPECT_EQ(PWScreen.modalPanel, -1);  // given back once hidden
    // What was written is what the sequence must sound like.
    EXPECT_EQ(mixref::readWav16(dir.file("mixes/first mix.wav")), mixref::expectedMix(song, ice));
    EXPECT_EQ(filesIn("mixes"), std::vector<std::string>{"first mix.wav"});
}

TEST_F(DiskMix, StopDuringStemsLeavesCompleteFilesOnly)
{
    openDocument();
    blPrefs.mixTarget = 1;
    // Half-way through the second group (four blocks of 32 beats a group),
    // the person clicks Stop, and the window must take it.
    seen.onCall = [this](int calls) {
        if (calls != 4 * 32 + 60) return;
        const std::string at = centre(BLProgress()->control(BLProgressPanel::kItemStop)->rect);
        const int x = std::stoi(at), y = std::stoi(at.substr(at.find(' ') + 1));
        plat::Event down;
        down.type = plat::Event::Type::MouseDown;
        down.x = x;
        down.y = y;
        plat::Event up = down;
        up.type = plat::Event::Type::MouseUp;
        backend->pushNow(down);
        backend->pushNow(up);
        // The window is serviced now, not when the next round falls due: a
        // quick render must not finish the group first.
        BLProgress()->pump(true);
    };
    fs::create_directories(dir.file("stems"));
    testsupport::writeFile(dir.file("stems/stale.wav"), "stale");
    diskMix(dir.file("stems"));
    EXPECT_LT(seen.calls, 2 * 4 * 32 + 40);  // stopped within a beat or two of the click
    // The group's file finished before the stop; the person's own file untouched.
    EXPECT_EQ(filesIn("stems"), (std::vector<std::string>{"Drums.wav", "stale.wav"}));
    EXPECT_EQ(testsupport::readFile(dir.file("stems/stale.wav")), "stale");
    EXPECT_EQ(mixref::readWav16(dir.file("stems/Drums.wav")), mixref::expectedMix(song, ice, 0));
    for (const auto& box : backend->boxes())
        EXPECT_EQ(box.text.find("Written"), std::string::npos);  // a stop is no end
}

TEST_F(DiskMix, StemsAskBeforeReplacingTheGroupsFiles)
{
    openDocument();
    blPrefs.mixTarget = 1;
    fs::create_directories(dir.file("stems"));
    testsupport::writeFile(dir.file("stems/Drums.wav"), "mine");
    // Cancel: nothing written.
    script("box cancel\n");
    diskMix(dir.file("stems"));
    ASSERT_FALSE(backend->boxes().empty());
    EXPECT_NE(backend->boxes().back().text.find("Drums.wav"), std::string::npos)
        << backend->boxes().back().text;
    EXPECT_EQ(filesIn("stems"), std::vector<std::string>{"Drums.wav"});
    EXPECT_EQ(testsupport::readFile(dir.file("stems/Drums.wav")), "mine");
    // Another folder: the dialog again, and the mix goes there.
    const size_t asked = backend->dialogs().size();
    script("dialog " + dir.file("stems") + "\ndialog " + dir.file("other") + "\nbox no\nclick " +
           centre(rectOf(kPWGroovePanel, grooveitem::diskMix)) + "\n");
    ASSERT_TRUE(runUntil([&] {
        return backend->dialogs().size() > asked + 1 && !BLPath::dialogPending() && backend->pending() == 0 &&
               !PWScreen.isVisible(kPWProgressPanel);
    }));
    EXPECT_EQ(testsupport::readFile(dir.file("stems/Drums.wav")), "mine");
    EXPECT_EQ(mixref::readWav16(dir.file("other/Drums.wav")), mixref::expectedMix(song, ice, 0));
    // Overwrite: the groups' files replaced, nothing else.
    testsupport::writeFile(dir.file("stems/notes.txt"), "notes");
    script("box yes\n");
    diskMix(dir.file("stems"));
    EXPECT_EQ(mixref::readWav16(dir.file("stems/Drums.wav")), mixref::expectedMix(song, ice, 0));
    EXPECT_EQ(filesIn("stems"),
              (std::vector<std::string>{"Bass.wav", "Drums.wav", "Pad.wav", "Perc.wav", "notes.txt"}));
    EXPECT_EQ(testsupport::readFile(dir.file("stems/notes.txt")), "notes");
    EXPECT_EQ(backend->boxes().back().text.rfind("Written: 4 files in stems (", 0), 0u)
        << backend->boxes().back().text;
}

TEST_F(DiskMix, ThePreferencesChooseTheFormatOfTheNextMix)
{
    auto* prefs = static_cast<BLPrefsPanel*>(PWScreen.panel(kPWPrefsPanel));
    openDocument();
    const std::string prefsButton = centre(rectOf(kPWGroovePanel, grooveitem::prefs));
    // Escape closes it and keeps nothing.
    script("click " + prefsButton + "\nwait 50\n");
    pump();
    ASSERT_TRUE(runUntil([] { return PWScreen.isVisible(kPWPrefsPanel); }));
    EXPECT_EQ(PWScreen.modalPanel, kPWPrefsPanel);
    script("click " + centre(rectOf(kPWPrefsPanel, BLPrefsPanel::kItemFormat + 3)) + "\npress esc\n");
    ASSERT_TRUE(runUntil([] { return !PWScreen.isVisible(kPWPrefsPanel); }));
    EXPECT_EQ(blPrefs.exportFormat, kelQtFormatNative);

    // While it shows, the groove panel below takes no click.
    script("click " + prefsButton + "\n");
    ASSERT_TRUE(runUntil([] { return PWScreen.isVisible(kPWPrefsPanel); }));
    script("click " + centre(rectOf(kPWGroovePanel, grooveitem::play)) + "\nwait 100\n");
    ASSERT_TRUE(runUntil([this] { return backend->pending() == 0; }));
    EXPECT_FALSE(blPlayer->playing);
    // The song's two random sets have lights below their entry counts less
    // two: three for the first, one for the second, none for the others.
    EXPECT_EQ(std::vector<int16_t>(prefs->lightsAvailable, prefs->lightsAvailable + 4),
              (std::vector<int16_t>{3, 1, 0, 0}));
    EXPECT_FALSE(PWScreen.panel(kPWPrefsPanel)->control(BLPrefsPanel::kItemSetLights + 2)->visible);
    const kelRect lights = rectOf(kPWPrefsPanel, BLPrefsPanel::kItemSetLights);
    // Light 3 of the first set (level 5), FLAC, its 24-bit option, tooltips off, OK.
    script(join("click ", lights.left + 2 * BLPrefsPanel::kLightPitch + 6, " ", lights.top + 6,
                "\nwait 50\nclick ") +
           centre(rectOf(kPWPrefsPanel, BLPrefsPanel::kItemFormat + 3)) + "\nwait 50\nclick " +
           centre(rectOf(kPWPrefsPanel, BLPrefsPanel::kItemOption + 1)) + "\nwait 50\nclick " +
           centre(rectOf(kPWPrefsPanel, BLPrefsPanel::kItemTooltips)) + "\nwait 50\nclick " +
           centre(rectOf(kPWPrefsPanel, BLPrefsPanel::kItemOk)) + "\n");
    ASSERT_TRUE(runUntil([] { return !PWScreen.isVisible(kPWPrefsPanel); }));
    EXPECT_EQ(prefs->format, kelQtFormatFlac);
    EXPECT_EQ(blPrefs.exportFormat, kelQtFormatFlac);
    EXPECT_EQ(blPrefs.randomLevels[0], 5);

    // The choice survives a restart ...
    stop();
    resetPrefs();
    start();
    EXPECT_EQ(blPrefs.exportFormat, kelQtFormatFlac);
    EXPECT_EQ(blPrefs.randomLevels[0], 5);
    EXPECT_EQ(blPrefs.tooltips, 0);
    EXPECT_EQ(kelQt_soundConvert_optionIndex(kelQtFormatFlac, &blPrefs.exportSettings), 1);
    // ... and the next mix is a 24-bit FLAC file under the name given.
    openDocument();
    diskMix(dir.file("next"));
    plat::SoundReader reader;
    ASSERT_TRUE(reader.open(dir.file("next.flac")));
    EXPECT_EQ(reader.frames(), 4 * 32 * 26460);
    std::vector<int32_t> samples(static_cast<size_t>(2 * reader.frames()));
    ASSERT_EQ(reader.read(samples.data(), reader.frames()), reader.frames());
    const std::vector<int16_t> expected = mixref::expectedMix(song, ice);
    size_t same = 0;
    for (size_t i = 0; i < samples.size(); ++i) same += samples[i] == int32_t{expected[i]} * 65536;
    EXPECT_EQ(same, samples.size());
    EXPECT_FALSE(fs::exists(dir.file("next.wav")));
}
