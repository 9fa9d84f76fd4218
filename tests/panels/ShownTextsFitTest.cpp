// The program's own lines fit where it shows them, in every language at the
// stage's own size: the groove panel's hint line holds its idle texts and
// every control's tip whole, and the loop tuner's status line its longest
// sentence, with no ellipsis.
#include <cstdlib>

#include "core/BLInternational.h"
#include "core/kelTextCodec.h"
#include "panels/BrowserHarness.h"
#include "panels/groove/BLGrooveItems.h"
#include "panels/groove/BLGroovePanel.h"
#include "panels/tuner/BLLoopTunerPanel.h"
#include "ui/kelFont.h"

namespace {

class ShownTextsFit : public browsertest::BrowserProgram {
protected:
    void TearDown() override
    {
        BrowserProgram::TearDown();
        before.empty() ? unsetenv("LC_ALL") : setenv("LC_ALL", before.c_str(), 1);
    }
    // A text control cuts what is wider than its frame less its margins.
    static int room(const kelPanelControl* c) { return c->rect.width() - 5; }
    std::string before = std::getenv("LC_ALL") ? std::getenv("LC_ALL") : "";
};

// "%s" by "%s" of a message, in order.
std::string filled(int16_t message, const std::vector<std::string>& names)
{
    std::string text = blIntl.message(message).c_str();
    for (const std::string& n : names)
        if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, n);
    return text;
}

TEST_F(ShownTextsFit, HintsAndTheTunersStatusFitTheirLinesInEveryLanguage)
{
    for (const char* language : {"en_GB.UTF-8", "fr_FR.UTF-8"}) {
        SCOPED_TRACE(language);
        setenv("LC_ALL", language, 1);
        start();
        ASSERT_NE(blGroovePanel, nullptr);
        const int hintRoom = room(blGroovePanel->control(grooveitem::hint));
        for (const int16_t idle : {278, 279, 280}) {
            const std::string text = blIntl.message(idle).c_str();
            EXPECT_LE(PWFont.stringWidth(text.c_str()), hintRoom) << idle << ": " << KEL_Latin1ToUtf8(text);
        }
        ASSERT_FALSE(blGroovePanel->hints.empty());
        for (const auto& [item, text] : blGroovePanel->hints)
            EXPECT_LE(PWFont.stringWidth(text.c_str()), hintRoom)
                << "tip of item " << item << ": " << KEL_Latin1ToUtf8(text);

        auto* tuner = dynamic_cast<BLLoopTunerPanel*>(PWfloatPanelPtr[kPWLoopTunerPanel]);
        ASSERT_NE(tuner, nullptr);
        const int statusRoom = room(tuner->control(BLLoopTunerPanel::kItemStatus));
        for (const int16_t how : {343, 344}) {
            const std::string sentence =
                filled(342, {"128", blIntl.message(how).c_str(), filled(347, {"8"}), "100"});
            EXPECT_LE(PWFont.stringWidth(sentence.c_str()), statusRoom) << KEL_Latin1ToUtf8(sentence);
        }
        const std::string speed = filled(345, {"1.33"});
        EXPECT_LE(PWFont.stringWidth(speed.c_str()), statusRoom) << KEL_Latin1ToUtf8(speed);
        quit();
    }
}

}  // namespace
