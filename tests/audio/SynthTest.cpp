// The synthesizer and its arpeggiator: note names, voices, step times,
// directions, polyphony, the gain law, the renderers and the arpeggio file.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/AudioFormat.h"
#include "audio/EngineRunFixture.h"
#include "audio/EngineTestLoops.h"
#include "audio/OVMixer.h"
#include "audio/OVTrack.h"
#include "audio/Synth.h"
#include "support/TestSupport.h"

namespace {

using enginetest::kelPath;

constexpr int kBeat = 22050;

// Note k is k + 1 on the left channel of a mono file; `frames` long, or
// an impulse (one frame) so that every step shows as one spike.
struct Notes {
    std::vector<int16_t> data[kSynthNotes];
    SYNTHDATA table[kSynthNotes] = {};

    explicit Notes(int frames, bool ramp = false)
    {
        for (int k = 0; k < kSynthNotes; ++k) {
            data[k].assign(static_cast<size_t>(frames), 0);
            for (int f = 0; f < frames; ++f)
                data[k][static_cast<size_t>(f)] = static_cast<int16_t>(ramp ? f + 1 : k + 1);
            table[k] = SYNTHDATA{data[k].data(), 1, frames};
        }
    }
};

// Volume 128 with pan 127 and master 128: left gain 0.75, right 0.
struct Synth {
    SYNTHETIZER s;
    explicit Synth(SYNTHDATA* d, int poly = 16)
    {
        InitSynth(&s, d);
        SetSynthBPM(&s, kBeat);
        SetSynthPoly(&s, poly);
        SetSynthVolume(&s, 128);
        SetSynthPan(&s, 127);
    }
    // The left channel of frames from..to, rendered in mixer blocks.
    std::vector<float> left(int64_t from, int frames, int block = 2048)
    {
        std::vector<float> l(static_cast<size_t>(frames) + 2048, 0.0f), r(l.size(), 0.0f);
        for (int done = 0; done < frames; done += block)
            SynthFloatRender(&s, l.data() + done, r.data() + done, from + done, 128.0f,
                             std::min(block, frames - done));
        l.resize(static_cast<size_t>(frames));
        return l;
    }
};

// Frames where a spike starts, and the note value there (value / 0.75).
std::vector<std::pair<int, int>> spikes(const std::vector<float>& l)
{
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < l.size(); ++i)
        if (l[i] != 0.0f) out.emplace_back(static_cast<int>(i), static_cast<int>(l[i] / 0.75f + 0.5f));
    return out;
}

TEST(Synth, NoteNamesGiveIndicesAndOctaveFourIsSilentButTakesAVoice)
{
    EXPECT_EQ(SynthNoteIndex("c1"), 0);
    EXPECT_EQ(SynthNoteIndex("a#2"), 22);
    EXPECT_EQ(SynthNoteIndex("b3"), 35);
    EXPECT_EQ(SynthNoteIndex("G3"), 31);
    EXPECT_EQ(SynthNoteIndex("c4"), 36);
    EXPECT_EQ(SynthNoteIndex("a#4"), 46);
    EXPECT_EQ(SynthNoteIndex("  "), -1);
    EXPECT_STREQ(SynthNoteFile(0), "c2.wav");
    EXPECT_STREQ(SynthNoteFile(22), "a#3.wav");
    EXPECT_STREQ(SynthNoteFile(35), "b4.wav");

    Notes notes(100);
    Synth syn(notes.table, 1);
    SynthSetNote(&syn.s, "a#2", 0);
    EXPECT_EQ(syn.left(0, 10)[5], 23 * 0.75f);
    SynthSetNote(&syn.s, "c4", 10);
    EXPECT_EQ(syn.s.voices[0].start, 10);
    EXPECT_EQ(syn.s.voices[0].note, 36);
    for (float v : syn.left(10, 50)) EXPECT_EQ(v, 0.0f) << "the c4 took the only voice and sounds nothing";
}

TEST(Synth, ARestStealsTheOldestVoiceAndTiesGoToTheLowestVoice)
{
    Notes notes(1000);
    Synth syn(notes.table, 3);
    SynthSetNote(&syn.s, "c1", 0);    // voice 0
    SynthSetNote(&syn.s, "e1", 100);  // voice 1
    SynthSetNote(&syn.s, "g1", 100);  // voice 2
    EXPECT_EQ(syn.left(100, 1)[0], (1 + 5 + 8) * 0.75f);
    SynthSetNote(&syn.s, "  ", 200);
    EXPECT_EQ(syn.s.voices[0].note, -1);
    EXPECT_EQ(syn.left(200, 1)[0], (5 + 8) * 0.75f) << "the c1 fell silent";
    SynthSetNote(&syn.s, "d1", 300);  // voices 1 and 2 tie at 100: voice 1
    EXPECT_EQ(syn.s.voices[1].note, 2);
    EXPECT_EQ(syn.left(300, 1)[0], (3 + 8) * 0.75f);
}

TEST(Synth, StepsFallOnTheSubdivisionsOfTheBeat)
{
    Notes impulse(1);
    for (const auto& [speed, want] : std::vector<std::pair<int, std::vector<int>>>{
             {4, {0, 5512, 11025, 16537, 22050, 27562, 33075, 38587}},
             {8, {0, 2756, 5512, 8268, 11025, 13781, 16537, 19293, 22050}},
             {1, {0, 22050, 44100}}}) {
        Synth syn(impulse.table);
        ArpeggiatorOn(&syn.s, 0, speed, "c1c1", 0);
        std::vector<int> got;
        for (const auto& [at, note] : spikes(syn.left(0, want.back() + 1))) got.push_back(at);
        EXPECT_EQ(got, want) << "speed " << speed;
    }
    // Switched on between subdivisions: the first note at once, then the grid.
    Synth late(impulse.table);
    ArpeggiatorOn(&late.s, 0, 4, "c1", 3000);
    std::vector<int> got;
    for (const auto& [at, note] : spikes(late.left(3000, 10000))) got.push_back(at + 3000);
    EXPECT_EQ(got, (std::vector<int>{3000, 5512, 11025}));
    // Beyond 2^31 frames of play (some 13 hours) the grid holds.
    const int64_t hours = int64_t{kBeat} * 400000;
    Synth longPlay(impulse.table);
    ArpeggiatorOn(&longPlay.s, 0, 4, "c1", hours + 3000);
    got.clear();
    for (const auto& [at, note] : spikes(longPlay.left(hours + 3000, 10000))) got.push_back(at + 3000);
    EXPECT_EQ(got, (std::vector<int>{3000, 5512, 11025}));
}

TEST(Synth, DirectionsWalkTheListInTheirOrders)
{
    Notes impulse(1);
    // c1 is note 1 on the left, e1 5, g1 8; 0 is a rest.
    const std::vector<std::pair<int, std::vector<int>>> orders = {
        {0, {5, 8, 1, 5, 8, 1, 5}},
        {1, {8, 5, 1, 8, 5, 1, 8}},
        {3, {5, 8, 0, 8, 5, 1, 5, 8, 0, 8}},
    };
    for (const auto& [mode, want] : orders) {
        Synth syn(impulse.table);
        ArpeggiatorOn(&syn.s, mode, 4, "c1e1g1", 0);
        const std::vector<float> l = syn.left(0, static_cast<int>(want.size()) * 5513);
        std::vector<int> got;
        for (size_t step = 0; step < want.size(); ++step) {
            const int64_t at = static_cast<int64_t>(step) * kBeat / 4;
            got.push_back(static_cast<int>(l[static_cast<size_t>(at)] / 0.75f + 0.5f));
        }
        EXPECT_EQ(got, want) << "mode " << mode;
    }
    // Random: every step is a note of the list, and both directions occur.
    Synth rnd(impulse.table);
    ArpeggiatorOn(&rnd.s, 2, 8, "c1e1g1", 0);
    int notes = 0;
    for (const auto& [at, note] : spikes(rnd.left(0, 8 * kBeat))) {
        EXPECT_TRUE(note == 1 || note == 5 || note == 8) << note;
        ++notes;
    }
    EXPECT_EQ(notes, 64);
    EXPECT_EQ(rnd.s.arpMode, 3);
    // Already on: the new list waits for the step already due.
    Synth on(impulse.table);
    ArpeggiatorOn(&on.s, 0, 4, "c1e1g1", 0);
    ArpeggiatorOn(&on.s, 0, 4, "d1d1", 100);
    EXPECT_EQ(spikes(on.left(0, 5600)), (std::vector<std::pair<int, int>>{{0, 5}, {5512, 3}}));
}

TEST(Synth, PolyphonyCutsTheOldestNoteAndLoweringItSilencesTheVoicesAbove)
{
    Notes ramp(100000, true);
    // poly 1: every step cuts the note before.
    Synth one(ramp.table, 1);
    ArpeggiatorOn(&one.s, 0, 4, "c1e1", 0);
    const std::vector<float> l1 = one.left(0, 12000);
    EXPECT_EQ(l1[5511], 5512 * 0.75f);
    EXPECT_EQ(l1[5512], 1 * 0.75f) << "the new note starts alone";

    // poly 4: the fifth note cuts the first; four voices sound at once.
    Synth four(ramp.table, 4);
    for (int i = 0; i < 5; ++i) SynthSetNote(&four.s, "c1", 1000 * i);
    EXPECT_EQ(four.s.voices[0].start, 4000);
    EXPECT_EQ(four.left(4000, 1)[0], (1 + 1001 + 2001 + 3001) * 0.75f);

    // Lowered to 2, voices 2 and 3 fall silent; raised, they go on where
    // their notes are by then.
    SetSynthPoly(&four.s, 2);
    EXPECT_EQ(four.left(5000, 1)[0], ((5000 - 4000 + 1) + (5000 - 1000 + 1)) * 0.75f);
    SetSynthPoly(&four.s, 4);
    EXPECT_EQ(four.left(6000, 1)[0],
              ((6000 - 4000 + 1) + (6000 - 1000 + 1) + (6000 - 2000 + 1) + (6000 - 3000 + 1)) * 0.75f);
    SetSynthPoly(&four.s, 0);
    EXPECT_EQ(four.s.poly, 1);
    SetSynthPoly(&four.s, 40);
    EXPECT_EQ(four.s.poly, 16);

    // A note shorter than a step ends and frees its voice.
    Notes shortNotes(300);
    Synth brief(shortNotes.table, 2);
    ArpeggiatorOn(&brief.s, 0, 4, "c1", 0);
    brief.left(0, 2048);
    EXPECT_EQ(brief.s.voices[0].start, -1);
}

TEST(Synth, GainsFollowVolumePanAndMasterAndMonoNotesSoundOnBothSides)
{
    float l = 0, r = 0;
    SynthGains(100, 0, 63.0f, &l, &r);
    const float full = static_cast<float>(100 * 1.5L / 256 * 63 / 128);
    EXPECT_EQ(l, 0.0f);
    EXPECT_EQ(r, full);
    SynthGains(100, 64, 63.0f, &l, &r);
    EXPECT_EQ(l, full);
    EXPECT_EQ(r, static_cast<float>(63 * 100 * 1.5L / 16384 * 63 / 128));
    SynthGains(100, 127, 63.0f, &l, &r);
    EXPECT_EQ(l, full);
    EXPECT_EQ(r, 0.0f);

    Notes notes(50);
    std::vector<int16_t> stereo = {1000, -2000, 1000, -2000};
    notes.table[1] = SYNTHDATA{stereo.data(), 2, 2};
    SYNTHETIZER s;
    InitSynth(&s, notes.table);  // volume 128, pan 64
    SynthSetNote(&s, "c1", 0);
    float outL[4] = {}, outR[4] = {};
    SynthFloatRender(&s, outL, outR, 0, 128.0f, 4);
    EXPECT_EQ(outL[0], 1 * 0.75f);
    EXPECT_EQ(outR[0], 1 * 0.75f * 63 / 64);
    // The integer renderer truncates each product; a stereo note keeps its sides.
    SYNTHETIZER t;
    InitSynth(&t, notes.table);
    SetSynthPan(&t, 0);
    SynthSetNote(&t, "c#1", 0);
    int16_t out[8] = {5, 5, 5, 5, 5, 5, 5, 5};
    SynthRender(&t, out, 0, 128.0f, 4);
    EXPECT_EQ(out[0], 5 + 0);
    EXPECT_EQ(out[1], 5 - 1500);
    EXPECT_EQ(out[4], 5) << "the two-frame note is over";
}

TEST(Synth, SoundsLoadFromTheirFoldersAndTheArpeggioRendersToAFile)
{
    testsupport::TempDir dir("synth");
    const std::string folder = dir.file("Sound");
    std::filesystem::create_directory(folder);
    std::vector<int16_t> mono(4000, 3000), stereo(2 * 3000, -1200);
    ASSERT_TRUE(enginetest::writeBytes(folder + "/c2.wav", enginetest::waveBytes(mono, {1, 1, 16, -1})));
    ASSERT_TRUE(enginetest::writeBytes(folder + "/e2.wav", enginetest::waveBytes(stereo)));
    ASSERT_TRUE(enginetest::writeBytes(folder + "/g2.wav", "not a sound"));

    SYNTHDATA table[kSynthNotes] = {};
    SetSynth(table, (kelPath(folder) + ":").c_str());
    EXPECT_EQ(table[0].channels, 1);
    EXPECT_EQ(table[0].frames, 4000);
    EXPECT_EQ(table[4].channels, 2);
    EXPECT_EQ(table[4].frames, 3000);
    EXPECT_EQ(table[7].samples, nullptr) << "a damaged note stays silent";
    EXPECT_EQ(table[1].samples, nullptr);
    FreeSynth(table);
    EXPECT_EQ(table[0].samples, nullptr);

    // The live instance at 120 BPM, up at 4 steps a beat.
    InitSynth(&RealtimeSynth, SynthSamps);
    SetSynthBPM(&RealtimeSynth, kBeat);
    BPM.store(kBeat);
    SAMPFREQ.store(44100);
    MasterVolume(128);
    RealtimeSetSynth((kelPath(folder) + ":").c_str());
    EXPECT_EQ(RealtimeSynthNotesLoaded(), 2);
    const std::string wav = dir.file("arp.wav");
    EXPECT_EQ(RealtimeSynthMix(kelPath(wav).c_str()), 0) << "nothing while the arpeggiator is off";
    RealtimeArpeggiatorOn(0, 4, "e1c1");
    const SYNTHETIZER before = RealtimeSynth;
    testsupport::writeFile(wav + ".part", "mine");
    EXPECT_EQ(RealtimeSynthMix(kelPath(wav).c_str()), 2822400);
    EXPECT_EQ(RealtimeSynth.pos, before.pos) << "the live instance is undisturbed";
    EXPECT_EQ(RealtimeSynth.nextStep, before.nextStep);
    EXPECT_EQ(RealtimeSynth.voices[0].start, before.voices[0].start);

    int channels = 0, frames = 0;
    void* f = OpenWave(kelPath(wav).c_str(), &channels, &frames);
    ASSERT_NE(f, F_NOFILE);
    F_close(f);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(frames, 32 * kBeat);
    EXPECT_EQ(std::filesystem::file_size(wav), 44u + 2822400u);
    const std::string bytes = testsupport::readFile(wav);
    auto left = [&](int frame) {
        const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + 44 + 4 * frame);
        return static_cast<int16_t>(p[0] | p[1] << 8);
    };
    // The first step plays the second entry (c1, mono 3000 x 0.75, 4000
    // frames) at frame 0, then e1 (stereo -1200 x 0.75) at 5512, and so on
    // to the last beat.
    EXPECT_EQ(left(0), 2250);
    EXPECT_EQ(left(3999), 2250);
    EXPECT_EQ(left(4000), 0);
    EXPECT_EQ(left(5512), -900);
    EXPECT_EQ(left(11025), 2250);
    EXPECT_EQ(left(31 * kBeat + 16537), -900);
    // A file of the person's under the name a fixed temporary would take stays.
    EXPECT_EQ(testsupport::readFile(wav + ".part"), "mine");

    // The live mixer adds the synthesizer into its block.
    RealtimeArpeggiatorOff();
    InitSynthFStop(&RealtimeSynth, SynthSamps);
    RealtimeArpeggiatorOn(1, 4, "c1");
    std::vector<float> l(2048, 0.0f), r(2048, 0.0f);
    SynthFloatRender(&RealtimeSynth, l.data(), r.data(), 0, 128.0f, 2048);
    EXPECT_EQ(l[10], 2250.0f);
    EXPECT_EQ(r[10], 2250.0f * 63 / 64);
    FreeSynth(SynthSamps);
    InitSynth(&RealtimeSynth, SynthSamps);
    BPM.store(0);
}

// Sounds, arpeggios and levels changed and the arpeggio written to a file
// from the main thread while the refill timer mixes the synthesizer: meant
// for the ThreadSanitizer build.
class SynthLive : public enginetest::EngineRun {
protected:
    bool withTimer() const override { return true; }
};

TEST_F(SynthLive, ChangesWhileTheTimerMixesTheSynthesizer)
{
    loadSong(120, 1, 4);
    std::string sounds[2];
    for (int i = 0; i < 2; ++i) {
        sounds[i] = dir.file("Sound" + std::to_string(i));
        std::filesystem::create_directory(sounds[i]);
        for (const char* note : {"c2.wav", "e2.wav", "g2.wav"})
            ASSERT_TRUE(enginetest::writeLoop(sounds[i] + "/" + note, 3 + i, 3000 + 4000 * i));
        sounds[i] = kelPath(sounds[i]) + ":";
    }
    engine.play();
    engine.setTrackSample(0, 0);
    std::mt19937 random(4321);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const std::string wav = kelPath(dir.file("arp.wav"));
    int written = 0;
    // Until the mix has gone on for three seconds of sound.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (TimeLine.load() < 3 * 44100 && std::chrono::steady_clock::now() < limit) {
        switch (pick(6)) {
            case 0: engine.synth_SetFolder(sounds[pick(2)].c_str()); break;
            case 1:
                engine.synth_Arp(static_cast<short>(pick(4)), static_cast<short>(1 << pick(4)),
                                 pick(2) ? "c1e1g1" : "g1  c1");
                break;
            case 2: engine.synth_Stop(); break;
            case 3: engine.synth_SetPoly(static_cast<short>(pick(40))); break;
            case 4: written += engine.synth_mix(wav.c_str()); break;
            default:
                engine.synth_SetVolume(static_cast<short>(pick(128)));
                engine.synth_SetPan(static_cast<short>(pick(128)));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pick(20)));
    }
    EXPECT_GE(TimeLine.load(), 3 * 44100) << "the mix went on";
    EXPECT_GT(written, 0);
    EXPECT_EQ(engine.synth_NotesLoaded(), 3);
}

}  // namespace
