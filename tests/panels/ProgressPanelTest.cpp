// The progress panel over the real skin: its bar arithmetic and the stop
// button that long operations poll.
#include "panels/BrowserHarness.h"
#include "panels/progress/BLProgressPanel.h"

namespace {

using browsertest::BrowserProgram;

class ProgressPanel : public BrowserProgram {
protected:
    int16_t bar() { return BLProgress()->control(BLProgressPanel::kItemBar)->get(); }
    void pressStop()
    {
        const kelRect r = BLProgress()->control(BLProgressPanel::kItemStop)->rect;
        const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
        ASSERT_TRUE(
            backend->parseScript(testsupport::join("down ", x, " ", y, "\nup ", x, " ", y, "\n"), error_));
    }
    // Polls as a running operation does until the stop is seen (ten seconds at most).
    bool stopSeen(BLProgressPanel* p)
    {
        const uint32_t until = plat::millis() + 10000;
        while (!p->shouldStop()) {
            if (static_cast<int32_t>(plat::millis() - until) > 0) return false;
            plat::sleepMs(1);
        }
        return true;
    }
    std::string error_;
};

TEST_F(ProgressPanel, SubRangesAddUpAndStopIsSeenOnlyWhileTheButtonShows)
{
    start();
    BLProgressPanel* p = BLProgress();
    ASSERT_NE(p, nullptr);
    const int16_t modalBefore = PWScreen.modalPanel;
    p->show();
    EXPECT_TRUE(PWScreen.isVisible(p->screenIndex));
    EXPECT_EQ(PWScreen.modalPanel, p->screenIndex);  // the panels below take no click meanwhile
    p->amount(0.5f);
    p->subAmountRange(0.5f);
    p->subAmount(1.0f);
    EXPECT_EQ(bar(), 100);
    p->subAmount(0.25f);
    EXPECT_EQ(bar(), 62);  // (0.25 x 0.5 + 0.5) x 100, truncated

    // The button is hidden after show: a click where it would be is no stop.
    pressStop();
    for (int i = 0; i < 50; ++i) EXPECT_FALSE(p->shouldStop());
    pump();

    p->setStopMode(true);
    EXPECT_FALSE(p->shouldStop());
    pressStop();
    EXPECT_TRUE(stopSeen(p));
    EXPECT_FALSE(p->control(BLProgressPanel::kItemStop)->visible);
    p->hide();
    EXPECT_FALSE(PWScreen.isVisible(p->screenIndex));
    EXPECT_EQ(PWScreen.modalPanel, modalBefore);

    // Escape is the stop button's key, while the button shows.
    p->show();
    ASSERT_TRUE(backend->parseScript("press esc\n", error_));
    for (int i = 0; i < 100; ++i) {
        EXPECT_FALSE(p->shouldStop());
        plat::sleepMs(1);
    }
    p->setStopMode(true);
    ASSERT_TRUE(backend->parseScript("press esc\n", error_));
    EXPECT_TRUE(stopSeen(p));
    p->hide();

    // Reaching the screen itself, Escape stops the work and never hides it.
    p->show();
    p->setStopMode(true);
    ASSERT_TRUE(backend->parseScript("press esc\n", error_));
    pump();
    EXPECT_TRUE(PWScreen.isVisible(p->screenIndex));
    EXPECT_TRUE(p->stopped);
    p->hide();
}

}  // namespace
