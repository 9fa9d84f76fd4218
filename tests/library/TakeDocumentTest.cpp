// Takes in documents: read back whole, a long one too; at most 32; an atom
// older readers never reach; damage said, the takes read whole and the rest
// of the document kept.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/kelAtomsFiles.h"
#include "core/kelBytes.h"
#include "library/BLDocument.h"
#include "library/BLTakeConvert.h"

namespace {

BLTake takeOf(int number, int64_t seconds, double changesPerSecond)
{
    BLTake t;
    t.made = 1700000000 + number;
    t.frames = seconds * 44100;
    t.name = BLTake_Name(number, t.frames, 44100);
    t.start.samples[2] = 7;
    t.start.volumes[2] = 90;
    t.start.pans[2] = -12;
    t.start.bpm = 101.5f;
    t.start.gridBeats = 4;
    t.start.fx.racks[kFxMain].slots[0].effect = "reverb";
    t.start.fx.racks[kFxMain].slots[0].params = {{"mix", 0.25f}};
    const auto n = static_cast<int64_t>(static_cast<double>(seconds) * changesPerSecond);
    for (int64_t i = 0; i < n; ++i) {
        BLTakeCall c;
        c.at = i * 44100 / static_cast<int64_t>(changesPerSecond);
        c.heard = c.at + 512;
        c.op = i % 3 == 0   ? BLTakeCall::Op::trackSample
               : i % 3 == 1 ? BLTakeCall::Op::trackVolume
                            : BLTakeCall::Op::mixerBpm;
        c.a = static_cast<int16_t>(i % 8);
        c.b = static_cast<int16_t>(i % 127);
        c.value = 100.0f + static_cast<float>(i % 7);
        if (i == 5) c.data = {1, 2, 3};
        t.calls.push_back(c);
    }
    return t;
}

std::unique_ptr<BLIceimage> imageWithTakes()
{
    auto ice = std::make_unique<BLIceimage>();
    ice->valid = 1;
    std::snprintf(ice->songName, sizeof ice->songName, "Night");
    ice->groove.tracks[0] = BLTrack{100, 5, 1, 2};
    ice->bpm = 101.5f;
    ice->takes.push_back(takeOf(1, 600, 2.0));  // ten minutes, a change every half second
    ice->takes.push_back(takeOf(2, 161, 1.0));
    ice->takes[1].start.playing = true;
    ice->takes[1].start.songFrame = 63488;
    ice->takes[1].start.lead = 1536;
    return ice;
}

std::vector<uint8_t> withTakesAtom(const BLIceimage& ice, const std::vector<uint8_t>& atom)
{
    BLIceimage plain = ice;
    plain.takes.clear();
    std::vector<uint8_t> bytes = BLDocument_Encode(plain, nullptr);
    uint8_t header[8];
    kelPutLE32(header, kBLAtomTakes);
    kelPutLE32(header + 4, static_cast<uint32_t>(atom.size()));
    bytes.insert(bytes.end(), header, header + 8);
    bytes.insert(bytes.end(), atom.begin(), atom.end());
    return bytes;
}

TEST(TakeDocument, TakesComeBackWholeAndAreNamedByNumberAndLength)
{
    const auto ice = imageWithTakes();
    EXPECT_EQ(ice->takes[1].name, "Take 2 \u2014 2:41");
    EXPECT_EQ(BLTake_Name(3, 161 * 44100, 44100, true), "Prise 3 \u2014 2:41");
    ASSERT_EQ(ice->takes[0].calls.size(), 1200u);
    const std::vector<uint8_t> bytes = BLDocument_Encode(*ice, nullptr);
    auto back = std::make_unique<BLIceimage>();
    const BLDocumentRead read = BLDocument_Decode(bytes, back.get(), nullptr);
    ASSERT_EQ(read.status, BLDocumentRead::read);
    EXPECT_FALSE(read.takesDamaged);
    EXPECT_EQ(back->takes, ice->takes);
    EXPECT_EQ(back->groove, ice->groove);
    // The ice image older readers take is the same with or without takes.
    BLIceimage plain = *ice;
    plain.takes.clear();
    const std::vector<uint8_t> without = BLDocument_Encode(plain, nullptr);
    EXPECT_EQ(
        std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(without.size())),
        without)
        << "the takes' atom comes after every atom an older reader knows";
    auto none = std::make_unique<BLIceimage>();
    ASSERT_EQ(BLDocument_Decode(without, none.get(), nullptr).status, BLDocumentRead::read);
    EXPECT_TRUE(none->takes.empty());
    // The first layout, without a take's lead, still reads (lead 0).
    const BLTake first = takeOf(3, 2, 1.0);
    std::vector<uint8_t> one = BLTake_Encode({first});
    ASSERT_EQ(one[0], 2);
    one[0] = 1;
    one.resize(one.size() - 8);
    kelPutLE32(one.data() + 3, kelGetLE32(one.data() + 3) - 8);
    std::vector<BLTake> old;
    ASSERT_TRUE(BLTake_Decode(one, old));
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0], first);
    // At most 32 are kept.
    BLIceimage many = plain;
    for (int i = 0; i < 40; ++i) many.takes.push_back(takeOf(i + 1, 2, 1.0));
    auto some = std::make_unique<BLIceimage>();
    BLDocument_Decode(BLDocument_Encode(many, nullptr), some.get(), nullptr);
    EXPECT_EQ(some->takes.size(), static_cast<size_t>(kBLMaxTakes));
}

TEST(TakeDocument, ADamagedAtomIsSaidAndKeepsTheTakesReadWholeAndTheRestOfTheDocument)
{
    const auto ice = imageWithTakes();
    const std::vector<uint8_t> atom = BLTake_Encode(ice->takes);
    const size_t second = 3 + 4 + kelGetLE32(atom.data() + 3);  // where the second take's record starts
    std::vector<std::vector<uint8_t>> damaged;
    for (size_t cut = second + 1; cut < atom.size(); cut += atom.size() / 50)
        damaged.emplace_back(atom.begin(), atom.begin() + static_cast<std::ptrdiff_t>(cut));
    std::vector<uint8_t> badOp = atom;
    // The second take's first call's op: after its record's length, name, times, start and effects.
    const size_t name = kelGetLE16(atom.data() + second + 4);
    const size_t fx = second + 4 + 2 + name + 8 + 8 + 4 + 48 + 4 + 2 + 1 + 2 + 1 + 1 + 8;
    const size_t op = fx + 4 + kelGetLE32(atom.data() + fx) + 4 + 8 + 8;
    badOp[op] = 99;
    damaged.push_back(badOp);
    for (const std::vector<uint8_t>& a : damaged) {
        auto back = std::make_unique<BLIceimage>();
        const BLDocumentRead read = BLDocument_Decode(withTakesAtom(*ice, a), back.get(), nullptr);
        ASSERT_EQ(read.status, BLDocumentRead::read);
        EXPECT_TRUE(read.takesDamaged) << a.size();
        ASSERT_EQ(back->takes.size(), 1u) << a.size();
        EXPECT_EQ(back->takes[0], ice->takes[0]);
        EXPECT_EQ(back->groove.tracks[0], ice->groove.tracks[0]);
        EXPECT_STREQ(back->songName, "Night");
    }
}

}  // namespace

// A slot's own effect changes come back whole; turned into grooves, a take
// keeps the changes that land where a cycle begins and counts the rest lost.
TEST(TakeDocument, EffectChangesComeBackAndAConversionKeepsOnlyWhatLandsOnACycle)
{
    constexpr int64_t kCycle = 32 * 21000;  // 126 BPM
    BLTake t;
    t.frames = 3 * kCycle;
    t.start.bpm = 126.0f;
    auto call = [&](BLTakeCall::Op op, int64_t at, int64_t heard, int16_t a, int16_t b, float value = 0) {
        BLTakeCall c;
        c.op = op;
        c.at = at;
        c.heard = heard;
        c.a = a;
        c.b = b;
        c.value = value;
        t.calls.push_back(c);
        return &t.calls.back();
    };
    using Op = BLTakeCall::Op;
    call(Op::play, 0, 0, 0, 0);
    call(Op::trackSample, 0, 0, 0, 4);
    call(Op::trackVolume, 0, 0, 0, 100);
    call(Op::mixerBpm, 0, 0, 0, 0, 126.0f);
    call(Op::trackSample, 1000, kCycle, 1, 9);       // kept: lands on the second cycle
    call(Op::trackVolume, 2000, kCycle + 5, 0, 50);  // lost: just after it
    call(Op::fxParam, 3000, kCycle + 9, 8, 0, 0.5f)->data = {'c', 'u', 't'};
    call(Op::fxBypass, 4000, kCycle + 9, 3, 1, 1.0f);
    FxSetup one;
    one.racks[2].slots[1].effect = "filter";
    one.racks[2].slots[1].params = {{"cutoff", 0.25f}};
    call(Op::fxSlot, 5000, 2 * kCycle, 2, 1)->data = BLTake_EncodeEffects(one);
    call(Op::stop, t.frames, 3 * kCycle, 0, 0);

    std::vector<BLTake> back;
    ASSERT_TRUE(BLTake_Decode(BLTake_Encode({t}), back));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0], t);
    EXPECT_EQ(BLTake_Changes(t), 8);

    const BLTakeConversion c = BLTake_Convert(t, kCycle);
    ASSERT_EQ(c.cycles.size(), 3u);
    EXPECT_EQ(c.cycles[0].samples[0], 4);
    EXPECT_EQ(c.cycles[0].samples[1], -1);
    EXPECT_EQ(c.cycles[1].samples[1], 9);
    EXPECT_EQ(c.cycles[2].volumes[0], 100) << "the volume heard off the boundary is not kept";
    EXPECT_EQ(c.lost, 4);  // the volume, the parameter, the bypass, the slot
    EXPECT_EQ(c.distinct().size(), 2u);
    EXPECT_EQ(c.bpm, 126.0f);
}
