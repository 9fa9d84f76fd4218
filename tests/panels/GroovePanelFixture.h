// A groove panel without layouts, on a song held in memory, talking to a
// player and an engine that record what they are told.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/kelCore.h"
#include "library/BLprefs.h"
#include "panels/groove/BLGroovePanel.h"
#include "support/TestSupport.h"
#include "ui/PWScreen.h"

namespace groovepanel {

using testsupport::join;

class RecordingEngine : public BLEngineCalls {
public:
    void play() override { calls.push_back("play"); }
    void stop() override { calls.push_back("stop"); }
    void setTrackSample(short t, short s) override
    {
        calls.push_back(join("sample ", t, " ", s));
        samples[t & 7] = s;
    }
    void setTrackVolume(short t, short v) override
    {
        calls.push_back(join("volume ", t, " ", v));
        volumes[t & 7] = v;
    }
    void setTrackPan(short t, short p) override { calls.push_back(join("pan ", t, " ", p)); }
    void sync_atGrooveSet(short on) override { calls.push_back(join("sync ", on)); }
    void changesBegin() override { calls.push_back("begin"); }
    void changesEnd() override { calls.push_back("end"); }
    std::vector<FxNote> fx_set(int r, int k, const FxSlot& s) override
    {
        calls.push_back(join("fx ", r, " ", k, " ", s.effect));
        return {};
    }
    void fx_setParam(int r, int k, const std::string& p, float v) override
    {
        calls.push_back(join("fx param ", r, " ", k, " ", p, " ", v));
    }
    void fx_bypass(int r, int k, bool on) override
    {
        calls.push_back(join("fx bypass ", r, " ", k, " ", on));
    }
    void fx_setAll(const FxSetup& setup) override { effects = setup; }
    int64_t framesGiven() override { return frames; }
    bool takePeaks(int16_t track, int16_t& left, int16_t& right) override
    {
        if (peakLeft[track] < 0) return false;
        left = peakLeft[track];
        right = peakRight[track];
        peakLeft[track] = peakRight[track] = -1;
        return true;
    }

    std::vector<std::string> calls;
    FxSetup effects;     // the last fx_setAll's
    int64_t frames = 0;  // output frames given, as the test says
    short samples[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    short volumes[8] = {};
    int16_t peakLeft[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int16_t peakRight[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
};

class QuietEngine : public BLEngineCalls {
public:
    void setMixerBpm(float) override {}
    void setMixerVolume(short) override {}
    short getMixerBeat() override { return beat; }
    short beat = -1;
};

class GroovePanelTest : public ::testing::Test {
protected:
    static constexpr int kGroups = 6;
    static constexpr int kSlots = 4;

    void SetUp() override
    {
        std::memcpy(savedLevels, blPrefs.randomLevels, sizeof savedLevels);
        player.setEngine(&beats);
        panel.connected();
        panel.onPanelOpened();
        BLSongLibrary& lib = panel.controller().model.library();
        lib.groupCount = kGroups;
        for (int g = 0; g < kGroups; ++g) {
            BLSongGroup& group = lib.groups[g];
            std::snprintf(group.name, sizeof group.name, "Group%d", g);
            group.count = kSlots;
            for (int s = 0; s < kSlots; ++s) {
                std::snprintf(group.label[s], sizeof group.label[s], "Loop %d-%d", g, s);
                group.id[s] = static_cast<uint16_t>(g * kSlots + s);
                group.volume[s] = static_cast<int16_t>(80 + s);
                group.pan[s] = static_cast<int16_t>(63 + s);
            }
        }
        lib.randomSetCount = 0;
        lib.bpm = 120;
        player.gotSongBpm(120);
        PWScreen.keyHeld = {};
    }

    void TearDown() override
    {
        std::memcpy(blPrefs.randomLevels, savedLevels, sizeof savedLevels);
        PWScreen.keyHeld = {};
    }

    // Every track plays loop (t mod groups, 0) and is heard.
    void fillGroove()
    {
        for (int16_t t = 0; t < 8; ++t) {
            panel.controller().chooseGroup(t, static_cast<int16_t>(t % kGroups));
            panel.controller().chooseLoop(t, 0);
        }
    }

    // A key as the screen hands it over: its held counter, then the panel.
    void keyDown(uint8_t c)
    {
        ++PWScreen.keyHeld[c];
        kelGlo.what = PWScreen.keyHeld[c] == 1 ? kelKeyDown : kelAutoKey;
        kelGlo.keyChar = c;
        panel.onKey();
    }
    void keyUp(uint8_t c)
    {
        PWScreen.keyHeld[c] = 0;
        kelGlo.what = kelKeyUp;
        kelGlo.keyChar = c;
        panel.onKey();
    }
    void press(uint8_t c)
    {
        keyDown(c);
        keyUp(c);
    }
    int count(const std::string& call) const
    {
        int n = 0;
        for (const std::string& c : engine.calls) n += c == call;
        return n;
    }

    int16_t savedLevels[kBLRandomLevels] = {};
    QuietEngine beats;
    BLPlayer player;
    RecordingEngine engine;
    BLGrooveController groove{&player, &engine};
    BLGroovePanel panel{groove};
};

}  // namespace groovepanel
