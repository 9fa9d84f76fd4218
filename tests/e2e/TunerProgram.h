// The program in this process with the demo songs, driven through its loop
// tuner: the panels, clicks on their controls, a knob turned by a drag, and
// the main loop run until something holds.
#pragma once

#include "panels/BrowserHarness.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "support/TestSupport.h"

namespace browsertest {

class TunerProgram : public BrowserProgram {
protected:
    using Tuner = BLLoopTunerPanel;
    void SetUp() override
    {
        BrowserProgram::SetUp();
        fakeHost = false;
        linkDemoSongs();
    }
    Tuner* tuner() const { return dynamic_cast<Tuner*>(PWfloatPanelPtr[kPWLoopTunerPanel]); }
    BLGroovePanel* groove() const { return dynamic_cast<BLGroovePanel*>(PWfloatPanelPtr[kPWGroovePanel]); }
    void clickAt(const kelRect& r)
    {
        script(testsupport::join("click ", (r.left + r.right) / 2, " ", (r.top + r.bottom) / 2, "\n"));
    }
    void turn(int16_t item, int dy)
    {
        const kelRect r = tuner()->control(item)->rect;
        const int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
        script(testsupport::join("down ", x, " ", y, "\nwait 30\nmove ", x, " ", y - dy, "\nwait 30\nup ", x,
                                 " ", y - dy, "\n"));
    }
    // The main loop runs until `done` holds (at most `seconds`).
    template <typename Done>
    bool idleUntil(Done done, int seconds = 40)
    {
        for (int i = 0; i < seconds * 50; ++i) {
            if (done()) return true;
            idleFor(20);
        }
        return done();
    }
};

}  // namespace browsertest
