// A take recorded as a person plays: Record (Ctrl+R) while stopped, Play,
// loops changed on the beat and on the bar, a track muted and heard again, a
// volume ridden, the tempo raised, Stop, the document saved. The sound the
// device played from the take's start is, sample for sample, what
// `--render --take 1` makes of the saved document; and so is the take
// played back from the takes' menu of the saved document.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/kelFiles.h"
#include "e2e/GrooveSession.h"
#include "e2e/MixReference.h"
#include "library/BLDocument.h"
#include "support/TestSupport.h"

namespace groovee2e {
namespace {

constexpr int kBeat = 44100 * 60 / 126;
constexpr int kGridX = 92 + 26, kGridY = 70 + 9;
// The takes' menu under Record: its closed box is its last row, "Play the
// last take", and the list opens upward from it, a row every 22 pixels.
constexpr int kTakesX = 486 + 30, kTakesY = 402 + 11, kTakesRow = 22;
constexpr int kDiskMixX = 410 + 12, kDiskMixY = 402 + 8;

std::string after(int beats, const std::string& capture)
{
    return "waitsize " + std::to_string(4 * beats * kBeat) + " " + capture + "\n";
}

using TakeSession = GrooveSession;

TEST_F(TakeSession, WhatWasHeardWhileRecordingIsWhatTheTakeRenders)
{
    BLGroove groove;
    for (int t = 0; t < 4; ++t) groove.tracks[t] = BLTrack{100, 0, static_cast<int16_t>(t), 0};
    const std::string doc = writeDocument("take.bld", "NightShift", groove, 126.0f);
    const std::string saved = dir.file("take-saved.bld");
    std::string script = "wait 700\nctrl r\npress space\n" + after(2, capture);
    // The beat grid: track 1's group stepped; the bar grid: track 2's loop.
    script +=
        "click " + at(kGridX, kGridY) + "\npress 1\nkeydown c\npress down\nkeyup c\n" + after(6, capture);
    script +=
        "click " + at(kGridX, kGridY) + "\npress 2\nkeydown i\npress down\nkeyup i\n" + after(11, capture);
    // Track 3 muted, then heard again.
    script += "keydown m\npress 3\nkeyup m\n" + after(14, capture) + "keydown m\npress 3\nkeyup m\n" +
              after(16, capture);
    // Track 1's volume ridden down, a step a beat.
    script += "press 1\n";
    for (int b = 0; b < 4; ++b)
        script += "keydown v\npress left\npress left\nkeyup v\n" + after(17 + b, capture);
    // The tempo raised 2 BPM.
    script += "keydown b\n";
    for (int k = 0; k < 10; ++k) script += "press right\n";
    script += "keyup b\n" + after(27, capture) + "press space\nwait 300\ndialog " + saved +
              "\nctrl s\nwait 600\nquit\n";
    const std::string log = runScript(script, doc);

    BLIceimage ice;
    ASSERT_TRUE(readDocument(saved, ice)) << log;
    ASSERT_EQ(ice.takes.size(), 1u) << log;
    const BLTake& take = ice.takes[0];
    EXPECT_EQ(take.name.rfind("Take 1 \u2014 0:", 0), 0u) << take.name;
    EXPECT_GT(take.frames, 25 * kBeat);
    // The loop changes landed on the grid they waited for: the first on a
    // beat, the second on a bar.
    std::vector<int64_t> landed;
    bool faster = false, quieter = false;
    for (const BLTakeCall& c : take.calls) {
        if (c.op == BLTakeCall::Op::trackSample && c.at > 0 && c.heard > 0 && (c.a == 0 || c.a == 1))
            landed.push_back(c.heard);
        faster = faster || (c.op == BLTakeCall::Op::mixerBpm && c.value > 127.5f);
        quieter = quieter || (c.op == BLTakeCall::Op::trackVolume && c.a == 0 && c.b < 100);
    }
    ASSERT_GE(landed.size(), 2u);
    EXPECT_EQ(landed[0] % kBeat, 0);
    EXPECT_EQ(landed.back() % (4 * kBeat), 0);
    EXPECT_TRUE(faster);
    EXPECT_TRUE(quieter);

    auto renderTake = [&](const std::string& document, const std::string& wav) {
        const auto r = testsupport::run(
            {dir.program(), "--render", document, "--take", "1", "-o", dir.file(wav), "--format", "wav"},
            dir.path(), 300);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return mixref::readWav16(dir.file(wav));
    };
    const std::vector<int16_t> rendered = renderTake(saved, "take.wav");
    ASSERT_EQ(rendered.size(), 2u * static_cast<size_t>(take.frames));
    // The take's first frame in the capture: before it, the card's silence.
    auto heardAs = [&](const std::vector<int16_t>& made, const std::vector<int16_t>& sound,
                       const std::string& said) {
        const int heard = firstSound(sound), begins = firstSound(made);
        ASSERT_GE(heard, 0) << said;
        ASSERT_GE(begins, 0);
        ASSERT_GE(heard, begins);
        const size_t from = 2u * static_cast<size_t>(heard - begins);
        ASSERT_GE(sound.size(), from + made.size()) << said;
        size_t first = 0;
        while (first < made.size() && made[first] == sound[from + first]) ++first;
        EXPECT_EQ(first, made.size())
            << "first difference at frame " << first / 2 << " of " << made.size() / 2;
    };
    heardAs(rendered, readCapture(capture), log);

    // Disk mix, the take chosen over the sequence: the same sound, in the
    // file the dialog named.
    const std::string mixed = dir.file("mixed.wav");
    const std::string mixLog = runScript(
        "wait 700\nbox no\ndialog " + mixed + "\nclick " + at(kDiskMixX, kDiskMixY) + "\nwaitsize " +
            std::to_string(4 * take.frames) + " " + mixed + "\nbox no\nwait 500\nquit\n",
        saved);
    EXPECT_NE(mixLog.find("Mix to disk the sequence, or the last take, Take 1 - 0:"), std::string::npos)
        << mixLog;
    EXPECT_EQ(mixref::readWav16(mixed), rendered) << mixLog;

    // Played back: the document opened, the takes' menu's last row chosen;
    // the take ends by itself, the card closes with it.
    auto playBack = [&](const std::string& document, const std::string& shot) {
        std::filesystem::remove(capture);
        return runScript("wait 700\nclick " + at(kTakesX, kTakesY) + "\nwait 300\nclick " +
                             at(kTakesX, kTakesY) + "\nwaitsize " + std::to_string(4 * take.frames) + " " +
                             capture + "\nwait 1500\nscreenshot " + dir.file(shot) + "\nquit\n",
                         document);
    };
    const std::string again = playBack(saved, "played.png");
    heardAs(rendered, readCapture(capture), again);
    keepScreen(dir.file("played.png"), "take-played");

    // The same take with its calls 100 frames later, off the card's
    // periods: the card waits at each call's frame while it is made, and
    // never gives up on one.
    BLIceimage off = ice;
    for (BLTakeCall& c : off.takes[0].calls)
        if (c.at > 0) c.at += 100;
    const std::string offDoc = dir.file("off.bld");
    char offKel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath(offDoc.c_str(), offKel));
    ASSERT_TRUE(BLDocument_Write(offKel, off, nullptr));
    const std::vector<int16_t> offRendered = renderTake(offDoc, "off.wav");
    EXPECT_NE(offRendered, rendered);
    const std::string offLog = playBack(offDoc, "off.png");
    heardAs(offRendered, readCapture(capture), offLog);
    EXPECT_NE(offLog.find("sound output: waited for the calls due at "), std::string::npos) << offLog;
    EXPECT_NE(offLog.find(", gave up on 0 (heard late)"), std::string::npos) << offLog;

    // And the ride is heard: the take without its volume calls renders
    // another sound from the first of them on.
    BLIceimage flat = ice;
    std::erase_if(flat.takes[0].calls, [](const BLTakeCall& c) {
        return c.op == BLTakeCall::Op::trackVolume && c.a == 0 && c.b < 100;
    });
    const std::string flatDoc = dir.file("flat.bld");
    char kel[kKelPathMax + 1];
    ASSERT_TRUE(KEL_SystemPathToKelPath(flatDoc.c_str(), kel));
    ASSERT_TRUE(BLDocument_Write(kel, flat, nullptr));
    const auto f = testsupport::run(
        {dir.program(), "--render", flatDoc, "--take", "1", "-o", dir.file("flat.wav"), "--format", "wav"},
        dir.path(), 300);
    ASSERT_EQ(f.exitCode, 0) << f.out;
    EXPECT_NE(mixref::readWav16(dir.file("flat.wav")), rendered);
}

// Record pressed while playing, off the song's blocks: the take starts on the
// block it began in, its first frame `lead` frames into it, so that played
// back or rendered, its loops are where they were in the bars and what the
// device played from Record on is what the take renders.
TEST_F(TakeSession, ATakeBegunWhilePlayingSoundsFromWhereItBegan)
{
    BLGroove groove;
    for (int t = 0; t < 4; ++t) groove.tracks[t] = BLTrack{100, 0, static_cast<int16_t>(t), 0};
    const std::string doc = writeDocument("playing.bld", "NightShift", groove, 126.0f);
    const std::string saved = dir.file("playing-saved.bld");
    auto upTo = [&](int frames) { return "waitsize " + std::to_string(4 * frames) + " " + capture + "\n"; };
    // The bar grid, and track 2's loop changed: it waits for beat 4 when Record is pressed.
    const std::string grid = "click " + at(kGridX, kGridY) + "\n";
    std::string script = "wait 700\npress space\n" + upTo(kBeat) + grid + upTo(kBeat * 16 / 10) + grid +
                         "press 2\nkeydown i\npress down\nkeyup i\n" + upTo(3 * kBeat + 777) + "ctrl r\n" +
                         after(5, capture);
    script += "press 1\nkeydown c\npress down\nkeyup c\n" + after(9, capture);
    script += "press 1\nkeydown v\npress left\npress left\nkeyup v\n" + after(11, capture);
    script += "press space\nwait 300\ndialog " + saved + "\nctrl s\nwait 600\nquit\n";
    const std::string log = runScript(script, doc);
    const std::vector<int16_t> live = readCapture(capture);

    BLIceimage ice;
    ASSERT_TRUE(readDocument(saved, ice)) << log;
    ASSERT_EQ(ice.takes.size(), 1u) << log;
    const BLTakeStart& start = ice.takes[0].start;
    EXPECT_TRUE(start.playing);
    EXPECT_GT(start.songFrame, 2 * kBeat);
    EXPECT_EQ(start.songFrame % 2048, 0);
    EXPECT_LT(start.lead, 2048);
    // The waiting change is the take's to make again: heard from beat 4.
    bool waits = false;
    for (const BLTakeCall& c : ice.takes[0].calls)
        waits =
            waits || (c.at == 0 && c.op == BLTakeCall::Op::trackSample && c.a == 1 && c.heard == 4 * kBeat);
    EXPECT_TRUE(waits) << log;
    const auto r = testsupport::run(
        {dir.program(), "--render", saved, "--take", "1", "-o", dir.file("playing.wav"), "--format", "wav"},
        dir.path(), 300);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<int16_t> rendered = mixref::readWav16(dir.file("playing.wav"));
    ASSERT_EQ(rendered.size(), 2u * static_cast<size_t>(ice.takes[0].frames));

    // Where the rendered take lies in a capture, -1 nowhere.
    auto whereHeard = [&](const std::vector<int16_t>& sound) -> int64_t {
        for (size_t from = 0; from + rendered.size() <= sound.size(); from += 2)
            if (std::equal(rendered.begin(), rendered.end(),
                           sound.begin() + static_cast<std::ptrdiff_t>(from)))
                return static_cast<int64_t>(from / 2);
        return -1;
    };
    // At the song's own tempo an output frame is a song frame.
    const int played = firstSound(live);
    ASSERT_GE(played, 0) << log;
    EXPECT_EQ(whereHeard(live), played + start.songFrame + start.lead) << log;

    std::filesystem::remove(capture);
    const std::string again =
        runScript("wait 700\nclick " + at(kTakesX, kTakesY) + "\nwait 300\nclick " + at(kTakesX, kTakesY) +
                      "\nwaitsize " + std::to_string(4 * (ice.takes[0].frames + start.lead)) + " " + capture +
                      "\nwait 1500\nquit\n",
                  saved);
    const std::vector<int16_t> back = readCapture(capture);
    EXPECT_EQ(whereHeard(back), firstSound(back) + start.lead) << again;
}

// A take renamed from its menu row, the new name typed in the desktop's
// entry box: Cancel keeps the name; OK keeps what was typed, less the
// blanks around it, and undo gives the old name back.
TEST_F(TakeSession, ATakeRenamedFromItsMenuKeepsTheNameTypedAndUndoGivesTheOldOne)
{
    BLGroove groove;
    for (int t = 0; t < 4; ++t) groove.tracks[t] = BLTrack{100, 0, static_cast<int16_t>(t), 0};
    const std::string doc = writeDocument("named.bld", "NightShift", groove, 126.0f);
    // Rename, the second block: five rows above the box.
    const std::string rename = "click " + at(kTakesX, kTakesY) + "\nwait 300\nclick " +
                               at(kTakesX, kTakesY - 5 * kTakesRow) + "\nwait 300\n";
    auto save = [&](const std::string& name) { return "dialog " + dir.file(name) + "\nctrl s\nwait 600\n"; };
    const std::string script = "wait 700\nctrl r\npress space\n" + after(2, capture) +
                               "press space\nwait 300\n" + "entry cancel\n" + rename + save("cancelled.bld") +
                               "entry   Night jam \u2014 2  \n" + rename + "wait 1500\nscreenshot " +
                               dir.file("renamed.png") + "\n" + save("renamed.bld") + "ctrl z\nwait 300\n" +
                               save("undone.bld") + "quit\n";
    const std::string log = runScript(script, doc);
    keepScreen(dir.file("renamed.png"), "take-renamed");

    auto nameIn = [&](const std::string& file) {
        BLIceimage ice;
        EXPECT_TRUE(readDocument(dir.file(file), ice)) << file << log;
        return ice.takes.size() == 1 ? ice.takes[0].name : "(" + std::to_string(ice.takes.size()) + " takes)";
    };
    const std::string recorded = nameIn("cancelled.bld");
    EXPECT_EQ(recorded.rfind("Take 1 \u2014 0:0", 0), 0u) << recorded;
    EXPECT_NE(log.find("entry [Rename the take] " + recorded + " -> cancel"), std::string::npos) << log;
    EXPECT_EQ(nameIn("renamed.bld"), "Night jam \u2014 2") << log;
    EXPECT_EQ(nameIn("undone.bld"), recorded) << log;
}

// A take whose changes all land on cycle boundaries (the launch grid at 8
// bars: loops and their volumes wait for it) turned into grooves from the
// takes' menu, after its question: the sequence renders what the take does.
TEST_F(TakeSession, ATakeOnCycleBoundariesBecomesASequenceThatSoundsTheSame)
{
    BLGroove groove;
    for (int t = 0; t < 4; ++t) groove.tracks[t] = BLTrack{100, 0, static_cast<int16_t>(t), 0};
    const std::string doc = writeDocument("cycles.bld", "NightShift", groove, 126.0f);
    const std::string saved = dir.file("cycles-saved.bld");
    // Shift+click steps the grid back from the cycle to 8 bars.
    std::string script = "wait 700\nkeydown shift\nclick " + at(kGridX, kGridY) + "\nkeyup shift\nctrl r\n" +
                         "press space\n" + after(2, capture);
    script += "press 1\nkeydown c\npress down\nkeyup c\n" + after(36, capture);
    script += "press 2\nkeydown i\npress down\nkeyup i\n" + after(66, capture);
    // Convert, the first row, nine above the box; yes to the question.
    script += "press space\nwait 300\nbox yes\nclick " + at(kTakesX, kTakesY) + "\nwait 300\nclick " +
              at(kTakesX, kTakesY - 9 * kTakesRow) + "\nwait 500\nscreenshot " + dir.file("converted.png") +
              "\ndialog " + saved + "\nctrl s\nwait 600\nquit\n";
    const std::string log = runScript(script, doc);
    keepScreen(dir.file("converted.png"), "take-converted");

    BLIceimage ice;
    ASSERT_TRUE(readDocument(saved, ice)) << log;
    ASSERT_EQ(ice.takes.size(), 1u) << log;
    const BLTake& take = ice.takes[0];
    EXPECT_NE(log.find("Turn Take 1"), std::string::npos) << "the question was asked: " << log;
    // Three cycles: the start, the group of track 1, the loop of track 2.
    ASSERT_EQ(ice.sequence.length, 3) << log;
    EXPECT_EQ(ice.sequence.count, 3);
    const int64_t cycle = 32 * kBeat;
    int landed = 0;
    for (const BLTakeCall& c : take.calls)
        if (c.op == BLTakeCall::Op::trackSample && c.at > 0) {
            EXPECT_EQ(c.heard % cycle, 0) << c.heard;
            ++landed;
        }
    EXPECT_GE(landed, 2);
    EXPECT_NE(ice.sequence.grooves[1].tracks[0].group, ice.sequence.grooves[0].tracks[0].group);
    EXPECT_NE(ice.sequence.grooves[2].tracks[1].slot, ice.sequence.grooves[1].tracks[1].slot);

    auto render = [&](std::vector<std::string> how, const std::string& wav) {
        std::vector<std::string> argv = {dir.program(), "--render", saved, "-o",
                                         dir.file(wav), "--format", "wav"};
        argv.insert(argv.end(), how.begin(), how.end());
        const auto r = testsupport::run(argv, dir.path(), 300);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        return mixref::readWav16(dir.file(wav));
    };
    const std::vector<int16_t> asTaken = render({"--take", "1"}, "taken.wav");
    const std::vector<int16_t> asSequence = render({"--live"}, "sequenced.wav");
    ASSERT_EQ(asTaken.size(), 2u * static_cast<size_t>(take.frames));
    ASSERT_GE(asSequence.size(), asTaken.size());
    size_t first = 0;
    while (first < asTaken.size() && asTaken[first] == asSequence[first]) ++first;
    EXPECT_EQ(first, asTaken.size()) << "first difference at frame " << first / 2 << " of "
                                     << asTaken.size() / 2;
}

}  // namespace
}  // namespace groovee2e
