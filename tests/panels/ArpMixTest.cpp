// The arpeggiator mix handed over to the synth panel: the render behind the
// progress panel without a stop button, the conversion to the export
// format, and what the person is told when either leaves no file.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/MediaTestPaths.h"
#include "core/kelFiles.h"
#include "panels/player/BLDiskMix.h"
#include "platform/PlatFiles.h"
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
        char system[kKelPathMax + 1];
        return KEL_KelPathToSystemPath(wav.c_str(), system) &&
               testsupport::writeFile(system, soundtest::wavBytes(44100, 2, 16, tone));
    };
    // The person's own file of the WAV's name stays as it was.
    testsupport::writeFile(dir.file("Synth file.wav"), "mine");

    // FLAC: rendered into a temporary of the writer's, converted under the
    // name given with the format's extension.
    Recorder seen;
    BLDiskMixOutcome out =
        BLDiskMix_ArpMix(kel(dir.file("Synth file.aif")), kelQtFormatFlac, nullptr, false, render, seen);
    char renderedName[kKelNameMax + 1];
    ASSERT_TRUE(KEL_FileNameFromPath(rendered.c_str(), renderedName));
    EXPECT_TRUE(plat::isTemporaryName(renderedName)) << rendered;
    ASSERT_EQ(out.files.size(), 1u);
    EXPECT_EQ(out.files[0], kel(dir.file("Synth file.flac")));
    EXPECT_TRUE(fs::exists(dir.file("Synth file.flac")));
    EXPECT_EQ(testsupport::readFile(dir.file("Synth file.wav")), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
    EXPECT_TRUE(seen.hidden);
    EXPECT_FALSE(seen.stopButton);
    EXPECT_EQ(seen.messages, (std::vector<int16_t>{kBLMsgArpMixing, kBLMsgArpConversion}));
    EXPECT_TRUE(seen.notes.empty());

    // A format this system cannot write is refused before anything is made.
    Recorder failed;
    rendered.clear();
    out = BLDiskMix_ArpMix(kel(dir.file("Synth file")), 0x4E4F5045 /* no such format */, nullptr, false,
                           render, failed);
    EXPECT_TRUE(out.failed);
    EXPECT_EQ(out.reason, kBLMsgReasonFormat);
    EXPECT_TRUE(rendered.empty());
    EXPECT_EQ(failed.notes, std::vector<int16_t>{kBLMsgConversionFailed});

    // A render that wrote nothing is no success, and the old file of the name stays.
    Recorder none;
    out = BLDiskMix_ArpMix(
        kel(dir.file("Synth file.wav")), kelQtFormatNative, nullptr, false,
        [](const std::string&) { return false; }, none);
    EXPECT_TRUE(out.failed);
    EXPECT_TRUE(out.files.empty());
    EXPECT_EQ(none.notes, std::vector<int16_t>{kBLMsgMixFailed});
    EXPECT_EQ(testsupport::readFile(dir.file("Synth file.wav")), "mine");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

}  // namespace
