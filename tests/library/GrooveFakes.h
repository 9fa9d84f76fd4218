// Fakes of what the groove model talks to: each records what it was told.
#pragma once

#include <string>
#include <vector>

#include "library/BLGrooveLinks.h"
#include "support/TestSupport.h"

namespace groovetest {

using testsupport::join;

// Every call as one text: "add :Library:Song:S:a01.wav 2", "sample 3 -1" ...
class RecordingEngine : public BLEngineCalls {
public:
    void stop() override { calls.push_back("stop"); }
    void setMixerFrequency(long hz) override { calls.push_back(join("frequency ", hz)); }
    void samplesListReset() override { calls.push_back("reset"); }
    void samplesBpm(float bpm) override { calls.push_back(join("bpm ", bpm)); }
    void samplesListAdd(const char* path, short repeats) override
    {
        calls.push_back(join("add ", path, " ", repeats));
    }
    void setTrackSample(short t, short s) override { calls.push_back(join("sample ", t, " ", s)); }
    void setTrackVolume(short t, short v) override { calls.push_back(join("volume ", t, " ", v)); }
    void setTrackPan(short t, short p) override { calls.push_back(join("pan ", t, " ", p)); }
    void sync_atGrooveSet(short on) override { calls.push_back(join("sync ", on)); }
    void changesBegin() override { calls.push_back("begin"); }
    void changesEnd() override { calls.push_back("end"); }
    // Kept apart from the calls: the groove's effects go with every activation.
    void fx_setAll(const FxSetup& setup) override { effects.push_back(setup); }

    // The calls that start with `prefix`.
    std::vector<std::string> only(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const std::string& c : calls)
            if (c.compare(0, prefix.size(), prefix) == 0) out.push_back(c);
        return out;
    }
    std::vector<std::string> calls;
    std::vector<FxSetup> effects;  // each fx_setAll's
};

class FakePlayer : public BLGroovePlayer {
public:
    bool isPlaying() override { return playing; }
    bool isPlayingSequence() override { return playing && sequence; }
    void play() override
    {
        playing = true;
        ++plays;
    }
    void stop() override
    {
        playing = false;
        sequence = false;
        ++stops;
    }
    float bpm() override { return tempo; }
    void setBpm(float b) override
    {
        tempo = b;
        restoredTempo = true;
    }
    void gotSongBpm(short b) override
    {
        songBpm = b;
        tempo = b;
    }
    void setSync(bool on) override { syncs.push_back(on); }
    void refreshCommon() override { ++refreshes; }

    bool playing = false;
    bool sequence = false;
    bool restoredTempo = false;
    float tempo = 0.0f;
    short songBpm = 0;
    int plays = 0;
    int stops = 0;
    int refreshes = 0;
    std::vector<bool> syncs;
};

class RecordingNet : public BLGrooveNet {
public:
    void sendSample(int16_t t, int16_t g, int16_t s) override
    {
        messages.push_back(join("1 ", t, " ", g, " ", s));
    }
    void sendVolume(int16_t t, int16_t v) override { messages.push_back(join("2 ", t, " ", v)); }
    void sendPan(int16_t t, int16_t p) override { messages.push_back(join("3 ", t, " ", p)); }
    std::vector<std::string> messages;
};

class ScriptedQuestions : public BLGrooveQuestions {
public:
    int16_t notify(int16_t message, int16_t kind) override
    {
        asked.push_back(join(message, "/", kind));
        return answer;
    }
    int16_t notifySong(int16_t message, const char* song) override
    {
        asked.push_back(join(message, " ", song));
        return answer;
    }
    // "105 Night|bass02" for a message with names.
    int16_t notifyNames(int16_t message, int16_t, std::initializer_list<std::string_view> names) override
    {
        std::string text = join(message, " ");
        bool first = true;
        for (std::string_view n : names) {
            if (!first) text += '|';
            text.append(n);
            first = false;
        }
        asked.push_back(text);
        return answer;
    }
    int16_t answer = 1;
    std::vector<std::string> asked;
};

class RecordingView : public BLGrooveView {
public:
    void showGroove() override { events.push_back("show"); }
    void showSelectedTrack() override { events.push_back("selected-controls"); }
    void restoreTracks() override { events.push_back("restore-tracks"); }
    void modesOff() override { events.push_back("modes-off"); }
    void trackSelected() override { events.push_back("track-selected"); }
    void songOpened() override { events.push_back("song-opened"); }
    void documentRead() override { events.push_back("document-read"); }
    std::vector<std::string> events;
};

}  // namespace groovetest
