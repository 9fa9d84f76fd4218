// The program's own boxes, driven headless as a person answers them: drawn
// in the window over the stage, answered by Return, Escape, Tab and clicks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/FileTestUtil.h"
#include "core/kelCore.h"
#include "e2e/ScreenPictures.h"
#include "panels/startup/BLBoxPanel.h"
#include "panels/startup/PWmain.h"
#include "platform/PlatHeadless.h"
#include "support/TestSupport.h"
#include "ui/PWScreen.h"
#include "ui/kelFont.h"

namespace {

using e2e::Shot;
using testsupport::ProgramDir;
using testsupport::readFile;
using testsupport::run;
using testsupport::writeFile;

// A 1024 x 768 window shows the stage at (192, 144).
constexpr int kStageLeft = 192, kStageTop = 144, kStageRight = 832, kStageBottom = 624;

struct Area {
    int left = 1 << 20, top = 1 << 20, right = -1, bottom = -1;
    bool empty() const { return right < 0; }
};

// Where two screenshots differ: the box that came between them.
Area changed(const Shot& before, const Shot& after)
{
    Area a;
    for (int y = 0; y < std::min(before.height(), after.height()); ++y)
        for (int x = 0; x < std::min(before.width(), after.width()); ++x)
            if (before.at(x, y) != after.at(x, y)) {
                a.left = std::min(a.left, x);
                a.top = std::min(a.top, y);
                a.right = std::max(a.right, x + 1);
                a.bottom = std::max(a.bottom, y + 1);
            }
    return a;
}

class Boxes : public ::testing::Test {
protected:
    std::string runScript(const std::string& script, const std::string& language)
    {
        writeFile(dir.file("script.txt"), script);
        const auto r = run({dir.program(), "--script", dir.file("script.txt"), "--log", dir.file("log.txt")},
                           dir.path(), 60, {"LC_ALL=" + language});
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return readFile(dir.file("log.txt"));
    }
    std::string shot(const std::string& name) { return "screenshot " + dir.file(name) + "\n"; }
    // The box drawn between two screenshots lies on the stage, and is a box.
    void expectOnStage(const std::string& before, const std::string& with, const std::string& log)
    {
        const Shot a(dir.file(before)), b(dir.file(with));
        ASSERT_TRUE(a.ok() && b.ok()) << log;
        const Area box = changed(a, b);
        ASSERT_FALSE(box.empty()) << with << ": no box drawn";
        EXPECT_GE(box.left, kStageLeft) << with;
        EXPECT_GE(box.top, kStageTop) << with;
        EXPECT_LE(box.right, kStageRight) << with;
        EXPECT_LE(box.bottom, kStageBottom) << with;
        EXPECT_GT(box.right - box.left, 200) << with;
        EXPECT_GT(box.bottom - box.top, 80) << with;
    }

    ProgramDir dir{"boxes"};
};

TEST_F(Boxes, AnsweredByReturnEscapeAndTabInsideTheStage)
{
    writeFile(dir.file("bad.bld"), "no document");
    const std::string saved = dir.file("saved.bld");
    // A notice (OK), then work not saved (the first song, a groove stored)
    // and the window closed three times: Escape cancels, Tab twice and
    // Return is Cancel again, Return alone saves and the program ends.
    const std::string log = runScript(
        "wait 600\n" + shot("start.png") + "dialog " + dir.file("bad.bld") +
            "\nbox hold\nctrl o\nwait 400\n" + shot("notice.png") + "press return\n" +
            "press return\npress return\nwait 400\n" + shot("work.png") + "box hold\nclose\nwait 400\n" +
            shot("choice.png") + "press esc\nwait 200\nbox hold\nclose\nwait 200\npress tab\npress tab\n" +
            "press return\nwait 200\ndialog " + saved + "\nbox hold\nclose\nwait 200\npress return\n" +
            "wait 5000\nquit\n",
        "C");
    expectOnStage("start.png", "notice.png", log);
    expectOnStage("work.png", "choice.png", log);
    EXPECT_NE(
        log.find(
            "\"bad.bld\" cannot be opened: it is missing, unreadable or not a Beatloom document. -> yes/ok"),
        std::string::npos)
        << log;
    const auto first = log.find("is not saved. Save it before Beatloom quits? -> Cancel");
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("-> Cancel", first + 1), std::string::npos) << "Tab twice from Save: " << log;
    EXPECT_NE(log.find("-> Save"), std::string::npos) << log;
    EXPECT_FALSE(readFile(saved).empty()) << "saved, then the program ended";
}

TEST_F(Boxes, InFrenchEscapeAnswersNo)
{
    const std::string log = runScript("wait 600\n" + shot("start.png") + "box hold\nclose\nwait 400\n" +
                                          shot("question.png") + "press esc\nwait 200\nquit\n",
                                      "fr_FR.UTF-8");
    expectOnStage("start.png", "question.png", log);
    EXPECT_NE(log.find("Quitter Beatloom ? -> no"), std::string::npos) << log;
}

// The whole program in this process, so that a test can look at a box while it waits.
class BoxInProcess : public ::testing::Test {
protected:
    void SetUp() override
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
        const KelAppHooks hooks = PW_AppHooks();
        while (KEL_HandleOneMessage(hooks)) {
        }
    }
    void TearDown() override
    {
        if (PWfloatPanelPtr[0]) PW_ExitAll();
        plat::clearBackend();
    }
    void clickAt(const kelRect& r)
    {
        // At 1024 x 768 window pixels are the program's own.
        plat::Event e;
        e.x = (r.left + r.right) / 2;
        e.y = (r.top + r.bottom) / 2;
        e.type = plat::Event::Type::MouseDown;
        backend->push(e);
        e.type = plat::Event::Type::MouseUp;
        backend->push(e, 50);
    }

    ProgramDir dir{"boxes"};
    filetest::CurrentDir keepCwd{dir.path()};  // start-up moves into the program folder
    plat::HeadlessBackend* backend = nullptr;
};

TEST_F(BoxInProcess, ATextFarTooLongIsCutOnTheStageAndAClickAnswers)
{
    std::string text;
    for (int i = 0; i < 600; ++i) text += "word" + std::to_string(i) + " ";
    text += std::string(400, 'x');  // one word wider than any line
    kelRect area, second;
    std::vector<std::string> lines;
    backend->queueBoxAnswer(plat::HeadlessBackend::kBoxHold);
    backend->pushAction([&] {
        const auto* box = dynamic_cast<const BLBoxPanel*>(PWScreen.front);
        ASSERT_NE(box, nullptr);
        area = box->area();
        lines = box->lines();
        second = box->buttonRect(1);
        clickAt(second);
    });
    EXPECT_EQ(KEL_UserNotify(text.c_str(), plat::kBoxYesNo), plat::kBoxResultNo)
        << "the second button clicked";
    EXPECT_EQ(PWScreen.front, nullptr);
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(PWScreen.stage.contains(area))
        << area.left << "," << area.top << " " << area.right << "," << area.bottom;
    EXPECT_EQ(static_cast<uint8_t>(lines.back().back()), kelFontEllipsis) << "cut where the room ends";
    for (const std::string& line : lines) EXPECT_LE(PWFont.stringWidth(line.c_str()), area.width()) << line;
    EXPECT_TRUE(area.contains(second));
    // Nobody answers: a choice takes its Escape answer, as it always has.
    EXPECT_EQ(KEL_UserChoose("Keep it?", "Keep", "Drop", "Later"), 3);
}

}  // namespace
