// The user's work and what may replace it: where the file dialogs start,
// that cancelling one changes nothing, the one question every path that
// would replace unsaved work asks, undo and redo.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "audio/BLEngine.h"
#include "audio/LaunchGrid.h"
#include "control/BLGrooveNetHost.h"
#include "control/BLPlayer.h"
#include "library/BLDocument.h"
#include "library/BLprefs.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/vmix/BLVMixPanel.h"

namespace {

using browsertest::BrowserProgram;
namespace fs = std::filesystem;

class DocumentsQuit : public BrowserProgram {
protected:
    void SetUp() override
    {
        BrowserProgram::SetUp();
        fakeHost = false;  // the real groove panel
        linkDemoSongs();
        fs::create_directories(documents.path() + "/Docs");
        setenv("XDG_DOCUMENTS_DIR", (documents.path() + "/Docs").c_str(), 1);
    }
    void TearDown() override
    {
        BrowserProgram::TearDown();
        unsetenv("XDG_DOCUMENTS_DIR");
    }
    // Runs the main loop until the condition holds (a dialog answers on a thread of its own).
    bool until(const std::function<bool()>& done)
    {
        for (int i = 0; i < 2000 && !done(); ++i) idleFor(5);
        return done();
    }
    // Plays the first demo song from the browser.
    void playASong()
    {
        script("press return\n");
        ASSERT_TRUE(until([] { return blPlayer && blPlayer->playing; }));
        ASSERT_FALSE(PWScreen.isVisible(kPWLoadPanel));
    }
    std::string question() const { return "is not saved. Save it before Beatloom quits?"; }
    BLGrooveModel& model() const { return blGroovePanel->controller().model; }
    // The first song played, a groove stored: work not saved.
    void unsavedWork()
    {
        playASong();
        script("press return\n");
        ASSERT_EQ(model().stored.count, 1);
        ASSERT_TRUE(blGroovePanel->controller().workUnsaved());
        work = model().stored;
        song = model().songFolder.path;
    }
    // The work is as unsavedWork left it.
    void expectWorkKept(const std::string& why)
    {
        EXPECT_TRUE(model().stored.sameAs(work)) << why;
        EXPECT_EQ(song, model().songFolder.path) << why;
        EXPECT_TRUE(blGroovePanel->controller().workUnsaved()) << why;
    }
    bool asked(const std::string& words) const { return log().find(words) != std::string::npos; }
    // A document of another demo song.
    std::string otherDocument()
    {
        auto ice = std::make_unique<BLIceimage>();
        ice->valid = 1;
        std::snprintf(ice->songName, sizeof ice->songName, "Riverbed");
        ice->bpm = 126.0f;
        const std::string path = documents.path() + "/Docs/river.bld";
        EXPECT_TRUE(BLDocument_WriteBytes(path.c_str(), BLDocument_Encode(*ice, nullptr)));
        return path;
    }

    BLSequence work;
    std::string song;

    testsupport::TempDir documents{"documents"};
};

TEST_F(DocumentsQuit, ACancelledOpenDialogChangesNothingAndStartsInTheDocumentsFolder)
{
    start();
    playASong();
    script("dialog cancel\nctrl o\n");
    ASSERT_TRUE(until([this] { return !backend->dialogs().empty() && !BLPath::dialogPending(); }));
    idleFor(50);
    EXPECT_TRUE(blPlayer->playing) << "the music goes on";
    EXPECT_TRUE(fs::equivalent(backend->dialogs()[0].initialFolder, documents.path() + "/Docs"));
    EXPECT_FALSE(backend->dialogs()[0].save);
}

TEST_F(DocumentsQuit, AfterARestartTheDialogsStartInTheLastDocumentsFolder)
{
    start();
    unsavedWork();
    fs::create_directories(documents.path() + "/Songs");
    script("dialog " + documents.path() + "/Songs/evening.bld\nctrl s\n");
    ASSERT_TRUE(until([this] { return fs::exists(documents.path() + "/Songs/evening.bld"); }));
    quit();
    blPrefs.documentFolder[0] = '\0';  // what the next start knows comes from the preferences file
    start();
    script("dialog cancel\nctrl o\n");
    ASSERT_TRUE(until([this] { return backend->dialogs().size() == 1 && !BLPath::dialogPending(); }));
    EXPECT_TRUE(fs::equivalent(backend->dialogs()[0].initialFolder, documents.path() + "/Songs"));
}

TEST_F(DocumentsQuit, QuittingWithoutChangesAsksTheUsualQuestion)
{
    start();
    playASong();
    script("box no\nclose\n");
    EXPECT_NE(log().find("Quit Beatloom?"), std::string::npos) << log();
    EXPECT_EQ(log().find(question()), std::string::npos);
    EXPECT_EQ(kelGlo.running, 1);
}

TEST_F(DocumentsQuit, UnsavedGroovesOfferSaveDiscardOrCancel)
{
    start();
    playASong();
    script("press return\n");  // stores the groove
    ASSERT_EQ(blGroovePanel->controller().model.stored.count, 1);
    script("box cancel\nclose\n");
    EXPECT_NE(log().find(question() + " -> Cancel"), std::string::npos) << log();
    EXPECT_EQ(kelGlo.running, 1);
    EXPECT_EQ(log().find("Quit Beatloom?"), std::string::npos);

    // Save: the save dialog starts in the documents folder; once saved, the program ends.
    const std::string target = documents.path() + "/Docs/Evening.bld";
    script("box yes\ndialog " + target + "\nclose\n");
    ASSERT_TRUE(until([] { return kelGlo.running == 0; })) << log();
    EXPECT_TRUE(fs::exists(target));
    EXPECT_TRUE(fs::equivalent(backend->dialogs().back().initialFolder, documents.path() + "/Docs"));
    EXPECT_TRUE(backend->dialogs().back().save);
    EXPECT_FALSE(blGroovePanel->controller().workUnsaved());

    // Saved: quitting asks the usual question again; a changed tempo is a change.
    kelGlo.running = 1;
    script("box no\nclose\n");
    EXPECT_EQ(kelGlo.running, 1);
    script("keydown b\npress +\nkeyup b\n");  // the tempo a step up
    script("box no\nclose\n");                // Discard
    EXPECT_NE(log().find(question() + " -> Discard"), std::string::npos) << log();
    EXPECT_EQ(kelGlo.running, 0);
}

TEST_F(DocumentsQuit, EveryPathThatWouldReplaceUnsavedWorkAsksFirstAndCancelKeepsIt)
{
    start();
    unsavedWork();
    const std::string other = otherDocument();
    const struct {
        const char* path;
        std::function<void()> act;
        std::string words;
    } paths[] = {
        {"open", [&] { script("box cancel\ndialog " + other + "\nctrl o\n"); },
         "Save it before opening \"river.bld\""},
        {"new", [&] { script("box cancel\nctrl n\n"); }, "Save it before starting a new document"},
        {"clear",
         [&] {
             script("box cancel\n");
             clickControl(kPWGroovePanel, grooveitem::removeAll);
         },
         "Save it before the stored grooves are cleared"},
        {"link",
         [&] {
             script("box cancel\n");
             BLGrooveNetHost(*blGroove, BLOrigin::link).loadSong("Riverbed");
         },
         "The other player loads the song \"Riverbed\""},
        {"browser",
         [&] {
             PWScreen.show(kPWLoadPanel);
             script("box cancel\n");
             clickLine(3);
             clickItem(BLLoadPanel::kItemLoad);
             PWScreen.hide(kPWLoadPanel);
         },
         "Save it before the song"},
        {"quit", [&] { script("box cancel\nclose\n"); }, question()},
    };
    for (const auto& p : paths) {
        p.act();
        ASSERT_TRUE(until([] { return !BLPath::dialogPending(); }));
        EXPECT_TRUE(asked(p.words)) << p.path << "\n" << log();
        expectWorkKept(p.path);
        EXPECT_EQ(kelGlo.running, 1) << p.path;
    }
}

TEST_F(DocumentsQuit, AFailedOpenKeepsTheWorkUnsaved)
{
    start();
    unsavedWork();
    const std::string notes = documents.path() + "/Docs/notes.bld";
    ASSERT_TRUE(testsupport::writeFile(notes, "my notes, not a document"));
    // Discard answered, and still the document cannot be read: nothing goes.
    script("box no\ndialog " + notes + "\nctrl o\n");
    ASSERT_TRUE(until([] { return !BLPath::dialogPending(); }));
    EXPECT_TRUE(asked("\"notes.bld\" cannot be opened")) << log();
    expectWorkKept("after the failed open");
    EXPECT_EQ(testsupport::readFile(notes), "my notes, not a document");
    script("box cancel\nclose\n");
    EXPECT_EQ(kelGlo.running, 1);
    EXPECT_NE(log().rfind(question()), std::string::npos) << "quitting still offers Save";
}

TEST_F(DocumentsQuit, TheVirtualMixAsksOnEscapeAsOnItsButtonAndASaveKeepsTheUsersSequence)
{
    start();
    unsavedWork();
    const auto mixShown = [] { return PWScreen.isVisible(kPWVMixPanel); };
    clickControl(kPWGroovePanel, grooveitem::vmix);
    ASSERT_TRUE(mixShown());
    ASSERT_FALSE(model().stored.sameAs(work)) << "the mix plays its own grooves";

    // Saved while the mix shows: the document holds the user's own grooves.
    const std::string saved = documents.path() + "/Docs/mine.bld";
    script("dialog " + saved + "\nctrl s\n");
    ASSERT_TRUE(until([] { return !BLPath::dialogPending(); }));
    auto ice = std::make_unique<BLIceimage>();
    ASSERT_EQ(BLDocument_Read(saved.c_str(), ice.get(), nullptr).status, BLDocumentRead::read);
    EXPECT_TRUE(ice->sequence.sameAs(work));

    // Escape asks whether the mix becomes the sequence; No brings the user's back.
    script("box no\npress esc\n");
    EXPECT_TRUE(asked("Keep this virtual mix as your sequence? -> no")) << log();
    EXPECT_FALSE(mixShown());
    EXPECT_TRUE(model().stored.sameAs(work));

    // Yes over grooves changed since the save: the one question; Cancel stays in the mix.
    script("keydown v\npress +\nkeyup v\npress return\n");  // another groove stored, not saved
    ASSERT_EQ(model().stored.count, 2);
    work = model().stored;
    clickControl(kPWGroovePanel, grooveitem::vmix);
    script("box yes\nbox cancel\npress esc\n");
    EXPECT_TRUE(asked("Save it before the mix takes the place of your grooves and sequence? -> Cancel"))
        << log();
    EXPECT_TRUE(mixShown());
    script("box no\npress esc\n");
    EXPECT_TRUE(model().stored.sameAs(work));
}

TEST_F(DocumentsQuit, UndoAndRedoStepThroughTheChangesAndSayWhichOnTheHintLine)
{
    start();
    playASong();
    const std::string first = model().songFolder.path;
    const uint16_t volume = model().current.tracks[0].volume;
    script("keydown v\npress +\npress +\nkeyup v\n");  // two steps of the volume
    script("press return\n");                          // a groove stored
    ASSERT_EQ(model().stored.count, 1);

    script("ctrl z\n");
    EXPECT_EQ(blGroovePanel->said, "Undone: storing a groove");
    EXPECT_EQ(model().stored.count, 0);
    script("ctrl z\n");
    EXPECT_EQ(blGroovePanel->said, "Undone: volume of track 1");
    EXPECT_EQ(model().current.tracks[0].volume, volume + 1);
    script("ctrl y\n");
    EXPECT_EQ(blGroovePanel->said, "Redone: volume of track 1");
    script("keydown shift\nctrl z\nkeyup shift\n");
    EXPECT_EQ(blGroovePanel->said, "Redone: storing a groove");
    EXPECT_EQ(model().stored.count, 1);
    EXPECT_EQ(model().current.tracks[0].volume, volume + 2);

    // A drag of the volume is one step.
    const kelRect r = PWfloatPanelPtr[kPWGroovePanel]->control(grooveitem::volume)->rect;
    const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    script(testsupport::join("drag ", x, " ", y, " ", x, " ", y - 40, " 8\n"));
    ASSERT_NE(model().current.tracks[0].volume, volume + 2);
    script("ctrl z\n");
    EXPECT_EQ(model().current.tracks[0].volume, volume + 2);

    // Loading another song, undone, brings the song back with its grooves.
    PWScreen.show(kPWLoadPanel);
    script("box no\n");  // Discard
    clickLine(3);
    clickItem(BLLoadPanel::kItemLoad);
    ASSERT_NE(model().songFolder.path, first);
    script("ctrl z\n");
    EXPECT_EQ(blGroovePanel->said, "Undone: loading a song");
    EXPECT_EQ(model().songFolder.path, first);
    EXPECT_EQ(model().stored.count, 1);
}

}  // namespace

TEST_F(DocumentsQuit, TheLaunchGridGoesWithItsDocumentAndAnOlderOneKeepsTheChosenGrid)
{
    start();
    playASong();
    auto gridShown = [] {
        char text[256] = "";
        blGroovePanel->control(grooveitem::launchGridLabel)->getValue(text);
        return std::string(text);
    };
    // The button steps on from the cycle, and back with Shift.
    clickControl(kPWGroovePanel, grooveitem::launchGrid);
    clickControl(kPWGroovePanel, grooveitem::launchGrid);
    EXPECT_EQ(blPrefs.launchGrid, static_cast<int16_t>(LaunchGrid::bar));
    EXPECT_EQ(gep->launchGrid(), 4);
    EXPECT_EQ(gridShown(), "Bar");
    const std::string path = documents.path() + "/Docs/grid.bld";
    script("dialog " + path + "\nctrl s\n");
    ASSERT_TRUE(until([&] { return !BLPath::dialogPending() && fs::exists(path); }));
    script("keydown shift\n");
    clickControl(kPWGroovePanel, grooveitem::launchGrid);
    script("keyup shift\n");
    EXPECT_EQ(blPrefs.launchGrid, static_cast<int16_t>(LaunchGrid::beat));
    EXPECT_EQ(gridShown(), "Beat");

    // Opened again: its grid, for the engine too.
    script("box no\ndialog " + path + "\nctrl o\n");
    ASSERT_TRUE(until([] { return !BLPath::dialogPending(); }));
    EXPECT_EQ(blPrefs.launchGrid, static_cast<int16_t>(LaunchGrid::bar));
    EXPECT_EQ(gep->launchGrid(), 4);
    EXPECT_EQ(gridShown(), "Bar");
    // A document from before the grid plays at the grid chosen here.
    script("box no\ndialog " + otherDocument() + "\nctrl o\n");
    ASSERT_TRUE(until([] { return !BLPath::dialogPending(); }));
    EXPECT_NE(std::string(model().songFolder.path).find("Riverbed"), std::string::npos) << log();
    EXPECT_EQ(blPrefs.launchGrid, static_cast<int16_t>(LaunchGrid::bar));
    blGroovePanel->controller().setLaunchGrid(LaunchGrid::cycle);
}
