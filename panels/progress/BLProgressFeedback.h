// The progress panel as the feedback of a disk mix or an arpeggio file; the
// messages a failure calls for wait until the panel is gone.
#pragma once

#include <string>
#include <vector>

#include "core/BLInternational.h"
#include "panels/player/BLDiskMix.h"
#include "panels/progress/BLProgressPanel.h"

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
    void notify(int16_t n) override { notify(n, {}); }
    void notify(int16_t n, const std::vector<std::string>& names) override
    {
        notes.push_back(n);
        noteNames.push_back(names);
    }
    // The messages, in order, once the panel is gone.
    void tell() const
    {
        for (size_t i = 0; i < notes.size(); ++i) BL_NotifyNames(notes[i], 0, noteNames[i]);
    }

    std::vector<int16_t> notes;
    std::vector<std::vector<std::string>> noteNames;
};
