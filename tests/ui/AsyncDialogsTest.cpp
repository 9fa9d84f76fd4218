// File dialogs run on their own thread and come back through the main loop
// to the panel that asked; a document on the command line arrives the same way.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "core/BLPath.h"
#include "core/BLTextEntry.h"
#include "core/kelCore.h"
#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"
#include "ui/PWPanel.h"
#include "ui/PWScreen.h"

namespace {

class DocumentPanel : public PWPanelClass {
public:
    void asyncDialogMessage(BLPath* p) override
    {
        ++arrived;
        last = p;
        ok = p->dialogOk;
        code = p->requestCode;
        sub = p->requestSub;
        text = p->path;
    }
    BLPath* documentPath() override { return &document; }
    void onKey() override { keys += kelGlo.keyChar; }

    BLPath document;
    std::string keys;
    int arrived = 0;
    BLPath* last = nullptr;
    int ok = -1, code = -1, sub = -1;
    std::string text;
};

class AsyncDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto b = std::make_unique<plat::HeadlessBackend>();
        backend = b.get();
        plat::setBackend(std::move(b));
        kelGlo = kelGloRec{};
        kelGlo.running = 1;
        PWScreen.reset();
        for (int16_t i = 0; i < PWScreenClass::kPanelCount; ++i) PWScreen.connect(&panels[i], i, 0);
        hooks.remoteEvents = PWScreen_remoteevents;
    }
    void TearDown() override
    {
        PWScreen.reset();
        windowsCommandLine[0] = '\0';
        plat::clearBackend();
    }
    // Runs the main loop's message handling until `panel` heard back `times`.
    bool loopUntilArrived(const DocumentPanel& panel, int times = 1)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < end) {
            if (!KEL_HandleOneMessage(hooks)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (panel.arrived >= times) return true;
        }
        return false;
    }

    plat::HeadlessBackend* backend = nullptr;
    DocumentPanel panels[PWScreenClass::kPanelCount];
    KelAppHooks hooks;
};

TEST_F(AsyncDialogs, AnAnswerArrivesAsAMessageAtThePanelThatAsked)
{
    backend->queueDialogAnswer(std::string("/tmp/some song.bld"), 200);
    BLPath path(":old.bld");
    KEL_FileDialogCanOpenTypes("*.bld");
    ASSERT_TRUE(path.asyncDialogGet(3, 7, 8));
    EXPECT_FALSE(BLPath().asyncDialogPut(4, 1, 1));  // one dialog at a time
    ASSERT_TRUE(loopUntilArrived(panels[3]));
    EXPECT_EQ(panels[3].last, &path);
    EXPECT_EQ(panels[3].ok, 1);
    EXPECT_EQ(panels[3].code, 7);
    EXPECT_EQ(panels[3].sub, 8);
    EXPECT_EQ(panels[3].text, "tmp:some song.bld");
    EXPECT_EQ(panels[4].arrived, 0);
    const auto asked = backend->dialogs();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_FALSE(asked[0].save);
    EXPECT_EQ(asked[0].patterns, "*.bld");
}

// While the dialog is open the letters typed are the dialog's: the panels
// get none of them, and they get keys again once it is answered.
TEST_F(AsyncDialogs, WhileADialogIsOpenThePanelsTakeNoKeys)
{
    backend->queueDialogAnswer(std::string("/tmp/typed.bld"), 300);
    BLPath path(":old.bld");
    ASSERT_TRUE(path.asyncDialogPut(0, 2, 0));
    for (char c : std::string("mn")) {
        plat::Event e;
        e.type = plat::Event::Type::KeyDown;
        e.key = plat::Key::Other;
        e.character = static_cast<uint8_t>(c);
        backend->push(e);
        e.type = plat::Event::Type::KeyUp;
        backend->push(e);
    }
    ASSERT_TRUE(loopUntilArrived(panels[0]));
    EXPECT_EQ(panels[0].keys, "");
    EXPECT_EQ(PWScreen.keyHeld['m'], 0) << "a key let go is not held";
    plat::Event e;
    e.type = plat::Event::Type::KeyDown;
    e.key = plat::Key::Other;
    e.character = 'a';
    backend->push(e);
    while (KEL_HandleOneMessage(hooks)) {
    }
    EXPECT_EQ(panels[0].keys, "a");
}

TEST_F(AsyncDialogs, ACancelledSaveKeepsThePath)
{
    BLPath path(":keep.bld");
    ASSERT_TRUE(path.asyncDialogPut(0, 2, 0));
    ASSERT_TRUE(loopUntilArrived(panels[0]));
    EXPECT_EQ(panels[0].ok, 0);
    EXPECT_EQ(panels[0].text, ":keep.bld");
    EXPECT_TRUE(backend->dialogs().at(0).save);
}

TEST_F(AsyncDialogs, AnUnusableAnswerIsExplainedOnTheMainThread)
{
    backend->queueDialogAnswer(std::string("/tmp/a:b.bld"));  // ':' cannot live in a kel path
    BLPath path(":x.bld");
    ASSERT_TRUE(path.asyncDialogGet(5, 0, 0));
    ASSERT_TRUE(loopUntilArrived(panels[5]));
    EXPECT_EQ(panels[5].ok, 0);
    const auto boxes = backend->boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(boxes[0].text.empty());
}

TEST_F(AsyncDialogs, ACommandLineDocumentOpensWithOrWithoutQuotes)
{
    testsupport::TempDir dir("doc");
    const std::string file = dir.file("my groove.bld");
    ASSERT_TRUE(testsupport::writeFile(file, "x"));

    std::snprintf(windowsCommandLine, sizeof windowsCommandLine, "%s", file.c_str());
    PWScreen.processOpenDocuments();
    EXPECT_EQ(panels[0].arrived, 1);
    EXPECT_EQ(panels[0].ok, 1);
    EXPECT_EQ(panels[0].code, 0);
    char kel[2048];
    ASSERT_TRUE(KEL_SystemPathToKelPath(file.c_str(), kel));
    EXPECT_EQ(panels[0].text, kel);

    std::snprintf(windowsCommandLine, sizeof windowsCommandLine, "\"%s\"", file.c_str());
    PWScreen.processOpenDocuments();
    EXPECT_EQ(panels[0].arrived, 2);
    EXPECT_EQ(panels[0].text, kel);

    std::string quotedMissing = "\"";
    quotedMissing.append(dir.file("none.bld")).append("\"");
    for (const std::string& missing : {std::string(), dir.file("none.bld"), quotedMissing}) {
        std::snprintf(windowsCommandLine, sizeof windowsCommandLine, "%s", missing.c_str());
        PWScreen.processOpenDocuments();
    }
    EXPECT_EQ(panels[0].arrived, 2);  // nothing else opened, nothing said
    EXPECT_TRUE(backend->boxes().empty());
}

// A text entry takes the same route: asked without waiting for the person,
// one dialog at a time, its answer at the panel that asked.
TEST_F(AsyncDialogs, ATextEntryAnswersThePanelThatAskedWithoutHoldingTheLoop)
{
    backend->queueEntryAnswer(std::string("Night jam"), 500);
    BLTextEntry entry;
    const plat::TextEntryRequest request{"Rename the take", "The new name of Take 1:", "Take 1"};
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(entry.asyncEntry(2, 9, 4, request));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(400));
    EXPECT_TRUE(BLPath::dialogPending());
    EXPECT_FALSE(BLPath().asyncDialogGet(3, 1, 1));
    ASSERT_TRUE(loopUntilArrived(panels[2]));
    EXPECT_EQ(panels[2].last, &entry);
    EXPECT_EQ(panels[2].ok, 1);
    EXPECT_EQ(panels[2].code, 9);
    EXPECT_EQ(panels[2].sub, 4);
    EXPECT_EQ(entry.text, "Night jam");
    EXPECT_FALSE(entry.unavailable);
    EXPECT_EQ(backend->entries().at(0).initial, "Take 1");

    // Unanswered: cancelled, the last answer not kept.
    ASSERT_TRUE(entry.asyncEntry(2, 9, 4, request));
    ASSERT_TRUE(loopUntilArrived(panels[2], 2));
    EXPECT_EQ(panels[2].ok, 0);
    EXPECT_TRUE(entry.text.empty());
}

}  // namespace
