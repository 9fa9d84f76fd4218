// The virtual mix on a demo song, worked as a person works it, in this
// process so that the test can wait for what it waits for: the mixes chain
// like a radio (heard through SDL's disk audio driver, no gap between
// them), then one is handed over to the groove panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "control/BLPlayer.h"
#include "e2e/GrooveSession.h"
#include "library/BLprefs.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/vmix/BLRandMixPanel.h"
#include "panels/vmix/BLVMixPanel.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"
#include "ui/BLScrolls.h"

namespace {

namespace fs = std::filesystem;
using testsupport::join;

// SDL's disk audio driver writes what the devices of this process play.
class DiskAudio {
public:
    explicit DiskAudio(const std::string& file)
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
    }
    ~DiskAudio()
    {
        unsetenv("SDL_DISKAUDIOFILE");
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
};

class VMixSession : public browsertest::BrowserProgram {
protected:
    void SetUp() override
    {
        BrowserProgram::SetUp();
        fakeHost = false;
        linkDemoSongs();
    }
    BLVMixPanel* vmix() const { return dynamic_cast<BLVMixPanel*>(PWfloatPanelPtr[kPWVMixPanel]); }
    BLGroovePanel* grooves() const { return dynamic_cast<BLGroovePanel*>(PWfloatPanelPtr[kPWGroovePanel]); }
    std::string centre(int16_t panel, int16_t item) const
    {
        const kelRect r = PWfloatPanelPtr[panel]->control(item)->rect;
        return join((r.left + r.right) / 2, " ", (r.top + r.bottom) / 2);
    }
    void click(int16_t panel, int16_t item) { script("click " + centre(panel, item) + "\n"); }
    // A slider's thumb dragged far to one side.
    void slideTo(int16_t panel, int16_t item, int side)
    {
        const kelRect r = PWfloatPanelPtr[panel]->control(item)->rect;
        script("drag " + thumbOf(panel, item) + " " +
               join(side < 0 ? r.left - 60 : r.right + 60, " ", (r.top + r.bottom) / 2) + " 8\n");
    }
    std::string thumbOf(int16_t panel, int16_t item) const
    {
        const auto* s = dynamic_cast<const BLRoundScroll*>(PWfloatPanelPtr[panel]->control(item));
        const kelRect t = s ? s->thumbRect : PWfloatPanelPtr[panel]->control(item)->rect;
        return join((t.left + t.right) / 2, " ", (t.top + t.bottom) / 2);
    }
    // The main loop until the condition holds; false when it never did.
    bool runUntil(const std::function<bool()>& done, int limitMs)
    {
        const KelAppHooks hooks = PW_AppHooks();
        const uint32_t end = plat::millis() + static_cast<uint32_t>(limitMs);
        while (!done()) {
            if (static_cast<int32_t>(end - plat::millis()) <= 0) return false;
            if (!KEL_HandleOneMessage(hooks)) KEL_IdlePass(hooks);
        }
        return true;
    }
};

TEST_F(VMixSession, FourMixesChainLikeARadioAndOneBecomesTheSequence)
{
    // Each mix plays one list entry (kept in the preferences), so the
    // four follow each other a cycle apart.
    {
        blPrefsClass prefs;
        const std::string file = dir.file("Beatloom.prf");
        prefs.fileName = file.c_str();
        prefs.vmix.duration = 1;
        ASSERT_TRUE(prefs.save());
    }
    const std::string capture = dir.file("capture.raw");
    const DiskAudio heardIn(capture);
    start();
    ASSERT_EQ(blPrefs.vmix.duration, 1);
    // Riverbed, the fastest demo song, from the song browser.
    const std::vector<std::string> songs = entryFolders();
    const auto riverbed = std::find(songs.begin(), songs.end(), "Riverbed");
    ASSERT_NE(riverbed, songs.end());
    clickLine(static_cast<int16_t>(riverbed - songs.begin()));
    clickItem(BLLoadPanel::kItemLoad);
    ASSERT_FALSE(PWScreen.isVisible(kPWLoadPanel));

    click(kPWGroovePanel, grooveitem::vmix);
    ASSERT_TRUE(PWScreen.isVisible(kPWVMixPanel));
    BLVMixPanel& mix = *vmix();
    EXPECT_STREQ(mix.slotName[0], "Liquid");
    EXPECT_STREQ(mix.slotName[1], "Roller");
    // The fastest tempo the song allows, the mixes in order, play.
    slideTo(kPWVMixPanel, BLVMixPanel::kItemBpmScroll, 1);
    ASSERT_FLOAT_EQ(blPlayer->bpm, 225.0f);
    click(kPWVMixPanel, BLVMixPanel::kItemListOrder);
    ASSERT_TRUE(mix.listOrder);
    click(kPWVMixPanel, BLVMixPanel::kItemPlay);
    ASSERT_TRUE(blPlayer->playing && blPlayer->sequenceMode);

    // Four mixes and the first again: four whole cycles heard.
    const int beat = 44100 * 60 / 225;
    const int cycle = 32 * beat;
    const size_t wanted = static_cast<size_t>(4 * cycle + 4 * beat) * 4;
    ASSERT_TRUE(runUntil(
        [&] {
            std::error_code ec;
            return mix.chains >= 4 && blPlayer->sequenceCount >= 4 && fs::file_size(capture, ec) >= wanted;
        },
        150000))
        << "chains " << mix.chains << ", cycles " << blPlayer->sequenceCount;
    EXPECT_EQ(mix.currentSlot, 0) << "1, 2, 3, 4 and 1 again";
    EXPECT_TRUE(blPlayer->playing);
    ASSERT_TRUE(backend->saveScreenPng(dir.file("vmix-playing.png")));
    groovee2e::GrooveSession::keepScreen(dir.file("vmix-playing.png"), "vmix-playing");

    // What was heard: sound all through, no silence as long as a beat
    // where one mix hands over to the next. The quietest moments of the
    // song's loops, at their volumes, stay well above the level taken
    // for silence here; a gap is nothing at all.
    const std::vector<int16_t> heard = groovee2e::readCapture(capture);
    const int start = groovee2e::firstSound(heard);
    ASSERT_GE(start, 0);
    const int frames = static_cast<int>(heard.size() / 2);
    ASSERT_GE(frames - start, 4 * cycle);
    const int window = beat / 8;
    int silent = 0, longest = 0, longestEnd = 0;
    for (int w = start; w + window <= frames; w += window) {
        long sum = 0;
        for (int k = w; k < w + window; ++k) sum += std::abs(heard[2 * k]) + std::abs(heard[2 * k + 1]);
        silent = sum < 3L * window ? silent + 1 : 0;
        if (silent > longest) {
            longest = silent;
            longestEnd = w + window;
        }
    }
    EXPECT_LT(longest * window, beat) << "the longest silence, in frames, ending at frame " << longestEnd
                                      << " (cycles of " << cycle << " from " << start << ")";

    // The mix playing, as written this time, becomes the sequence.
    slideTo(kPWVMixPanel, BLVMixPanel::kItemDuration, -1);
    const BLSequence kept = mix.slots[mix.currentSlot];
    ASSERT_EQ(kept.length, kept.count);
    ASSERT_GT(kept.count, 1);
    script("box yes\nclick " + centre(kPWVMixPanel, BLVMixPanel::kItemClose) + "\n");
    ASSERT_FALSE(PWScreen.isVisible(kPWVMixPanel));
    EXPECT_FALSE(blPlayer->playing);
    const BLSequence& sequence = grooves()->controller().model.stored;
    EXPECT_EQ(sequence.count, kept.count);
    EXPECT_EQ(sequence.length, kept.length);
    for (int g = 0; g < kept.count; ++g) EXPECT_EQ(sequence.grooves[g], kept.grooves[g]) << g;
    // The strips show them: the grooves' ids and the sequence's.
    for (int16_t i = 0; i < 8 && i < kept.count; ++i) {
        EXPECT_EQ(PWfloatPanelPtr[kPWGroovePanel]->control(grooveitem::grooveEntry[i])->get(), i + 1);
        EXPECT_EQ(PWfloatPanelPtr[kPWGroovePanel]->control(grooveitem::sequenceEntry[i])->get(), i + 1);
    }
    idleFor(100);
    ASSERT_TRUE(backend->saveScreenPng(dir.file("vmix-handed-over.png")));
    groovee2e::GrooveSession::keepScreen(dir.file("vmix-handed-over.png"), "vmix-handed-over");
}

}  // namespace
