// The progress panel as the feedback of a disk mix or an arpeggio file; the
// messages a failure calls for wait until the panel is gone.
#pragma once

#include <vector>

#include "panels/BLDiskMix.h"
#include "panels/BLProgressPanel.h"

class BLProgressFeedback : public BLDiskMixFeedback {
public:
    void show() override
    {
        if (BLProgressPanel* p = BLProgress()) p->show();
    }
    void hide() override
    {
        if (BLProgressPanel* p = BLProgress()) p->hide();
    }
    void message(int16_t n) override
    {
        if (BLProgressPanel* p = BLProgress()) p->message(n);
    }
    void amount(float a) override
    {
        if (BLProgressPanel* p = BLProgress()) p->amount(a);
    }
    void subAmountRange(float r) override
    {
        if (BLProgressPanel* p = BLProgress()) p->subAmountRange(r);
    }
    void setStopMode(bool on) override
    {
        if (BLProgressPanel* p = BLProgress()) p->setStopMode(on);
    }
    bool shouldStop() override { return BLProgress_shouldStop(); }
    void notify(int16_t n) override { notes.push_back(n); }

    std::vector<int16_t> notes;
};
