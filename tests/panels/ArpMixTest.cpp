// The arpeggiator mix handed over to the synth panel: the render behind the
// progress panel without a stop button, the conversion to the export
// format, and what the person is told when either leaves no file.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/MediaTestPaths.h"
#include "panels/BLDiskMix.h"
#include "platform/SoundTestFiles.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using mediatest::kel;

namespace {

struct Recorder : BLDiskMixFeedback {
    void show() override { shown = true; }
    void hide() override { hidden = shown; }
    void message(int16_t n) override { messages.push_back(n); }
    void setStopMode(bool on) override { stopButton = on; }
    void notify(int16_t n) override { notes.push_back(n); }
    bool shown = false, hidden = false, stopButton = true;
    std::vector<int16_t> messages, notes;
};

TEST(ArpMix, RenderedThenConvertedOrToldWhyNot)
{
    testsupport::TempDir dir("arpmix");
    const std::vector<int32_t> tone(2 * 4410, 1000);
    std::string rendered;
    auto render = [&](const std::string& wav) {
        rendered = wav;
        testsupport::writeFile(dir.file("Synth file.wav"), soundtest::wavBytes(44100, 2, 16, tone));
    };

    // FLAC: the WAV gives way to the converted file of the same name.
    Recorder seen;
    BLDiskMixOutcome out = BLDiskMix_ArpMix(kel(dir.file("Synth file.aif")), kelQtFormatFlac, nullptr, false,
                                            render, seen);
    EXPECT_EQ(rendered, kel(dir.file("Synth file.wav")));
    ASSERT_EQ(out.files.size(), 1u);
    EXPECT_EQ(out.files[0], kel(dir.file("Synth file.flac")));
    EXPECT_TRUE(fs::exists(dir.file("Synth file.flac")));
    EXPECT_FALSE(fs::exists(dir.file("Synth file.wav")));
    EXPECT_TRUE(seen.hidden);
    EXPECT_FALSE(seen.stopButton);
    EXPECT_EQ(seen.messages, (std::vector<int16_t>{kBLMsgArpMixing, kBLMsgArpConversion}));
    EXPECT_TRUE(seen.notes.empty());

    // A conversion that fails keeps the WAV and says so after the panel.
    Recorder failed;
    out = BLDiskMix_ArpMix(kel(dir.file("Synth file")), 0x4E4F5045 /* no such format */, nullptr, false, render,
                           failed);
    EXPECT_TRUE(out.conversionFailed);
    EXPECT_TRUE(fs::exists(dir.file("Synth file.wav")));
    EXPECT_EQ(failed.notes, std::vector<int16_t>{kBLMsgArpConversion});

    // A render that wrote nothing is no success, and an old file of the name does not pass for it.
    Recorder none;
    out = BLDiskMix_ArpMix(kel(dir.file("Synth file.wav")), kelQtFormatNative, nullptr, false,
                           [](const std::string&) {}, none);
    EXPECT_TRUE(out.failed);
    EXPECT_TRUE(out.files.empty());
    EXPECT_EQ(none.notes, std::vector<int16_t>{kBLMsgMixFailed});
}

}  // namespace
