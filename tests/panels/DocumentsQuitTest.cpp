// The user's work at the edges of a session: where the file dialogs start,
// that cancelling one changes nothing, and what quitting asks.
#include <gtest/gtest.h>

#include <cstdlib>

#include "panels/BLGroovePanel.h"
#include "panels/BLPlayer.h"
#include "panels/BrowserHarness.h"

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
    ASSERT_EQ(blGroovePanel->model.stored.count, 1);
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
    EXPECT_FALSE(blGroovePanel->workUnsaved());

    // Saved: quitting asks the usual question again; a changed tempo is a change.
    kelGlo.running = 1;
    script("box no\nclose\n");
    EXPECT_EQ(kelGlo.running, 1);
    script("keydown b\npress +\nkeyup b\n");  // the tempo a step up
    script("box no\nclose\n");  // Discard
    EXPECT_NE(log().find(question() + " -> Discard"), std::string::npos) << log();
    EXPECT_EQ(kelGlo.running, 0);
}

}  // namespace
