// MIDI controllers bound to what the groove panel does: a note or a CC on a
// channel drives a track's mute, loop or group step, a random groove, store,
// play, the tempo, or a track's volume or pan.
//
// The bindings are kept in the preferences and read from and written to a
// mapping file, one binding a line:
//
//   # comment
//   note 1 36 mute 1        KIND CHANNEL NUMBER ACTION [TARGET]
//   cc 1 7 volume 1
//
// KIND is note or cc, CHANNEL 1 .. 16, NUMBER 0 .. 127. ACTION and TARGET:
// mute, loop-up, loop-down, group-up, group-down, volume, pan with a track
// (1 .. 8); random with a random set (1 .. 4); store, play, tempo, tempo-up,
// tempo-down with none; effect with a rack (a track 1 .. 8, or main), a
// slot (1 or 2) and a parameter's name, bypass with a rack and a slot
// (cc 1 20 effect 3 1 cutoff, note 1 40 bypass main 2). A message given
// twice is bound by its last line.
//
// Notes and CCs act as presses (a note on; a CC rising past 63) on every
// action but volume, pan and tempo, which take the CC's value (or the
// note's velocity): volume as it is, pan with 64 in the middle, tempo across
// the song's tempo window, an effect's parameter across its range.
//
// Threads: the main thread only; BLMidiQueue hands messages over from the
// MIDI thread.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum class BLMidiKind : uint8_t { note, cc };

enum class BLMidiAction : uint8_t {
    mute,
    loopUp,
    loopDown,
    groupUp,
    groupDown,
    random,
    store,
    play,
    tempo,
    tempoUp,
    tempoDown,
    volume,
    pan,
    effect,
    effectBypass,
    record,
};

constexpr int kBLMidiBindingsMax = 256;

struct BLMidiBinding {
    BLMidiKind kind = BLMidiKind::note;
    uint8_t channel = 1;  // 1 .. 16
    uint8_t number = 0;   // 0 .. 127
    BLMidiAction action = BLMidiAction::mute;
    int8_t target = 0;    // track 0 .. 7, random set 0 .. 3, an effect's rack 0 .. 8, else 0
    int8_t slot = 0;      // an effect's slot 0 or 1
    std::string param{};  // an effect's parameter

    bool sameMessage(const BLMidiBinding& o) const
    {
        return kind == o.kind && channel == o.channel && number == o.number;
    }
    bool operator==(const BLMidiBinding&) const = default;
};

// One message from a controller as the bindings see it.
struct BLMidiMessage {
    BLMidiKind kind = BLMidiKind::note;
    uint8_t channel = 1;
    uint8_t number = 0;
    uint8_t value = 0;  // the CC's value, the note's velocity (0: note off)
};

// Note on, note off and control change; anything else is false.
bool BLMidi_Decode(const uint8_t* bytes, size_t count, BLMidiMessage& out);

// The action takes the message's value rather than a press.
bool BLMidi_TakesValue(BLMidiAction action);
// The action names a track (or a random set).
bool BLMidi_HasTarget(BLMidiAction action);
// A value of 0 .. 127 as a track's volume, a pan (64 the middle) and a
// tempo between the window's ends.
int16_t BLMidi_Volume(uint8_t value);
int16_t BLMidi_Pan(uint8_t value);
float BLMidi_Tempo(uint8_t value, float slowest, float fastest);

// "note 36 ch 1", "CC 7 ch 1": for the log.
std::string BLMidi_MessageText(BLMidiKind kind, uint8_t channel, uint8_t number);
// "mute 1", "tempo": the action as the mapping file writes it.
std::string BLMidi_ActionText(BLMidiAction action, int8_t target);
// The same for any binding ("effect 3 1 cutoff", "bypass main 2").
std::string BLMidi_ActionText(const BLMidiBinding& binding);

class BLMidiBindings {
public:
    const std::vector<BLMidiBinding>& list() const { return bindings; }
    bool empty() const { return bindings.empty(); }
    void clear() { bindings.clear(); }

    // Binds the message, replacing what it drove before; a learnt binding
    // also replaces the one the action had (a control has one binding).
    // False when the list is full.
    bool bind(const BLMidiBinding& binding);
    bool learn(const BLMidiBinding& binding);
    // What the message drives; null when nothing.
    const BLMidiBinding* find(BLMidiKind kind, uint8_t channel, uint8_t number) const;
    // The first binding of the action; null when none.
    const BLMidiBinding* forAction(BLMidiAction action, int8_t target) const;
    // The binding of an effect's parameter ("": its bypass); null when none.
    const BLMidiBinding* forEffect(int8_t rack, int8_t slot, const std::string& param) const;

    // The mapping file's text, and back. A damaged line refuses the whole
    // text: the bindings stay as they were and `badLine` (from 1) names it.
    std::string text() const;
    bool parse(const std::string& text, int& badLine);

private:
    std::vector<BLMidiBinding> bindings;
};

// Messages from the MIDI thread to the main thread: one writer, one reader,
// never blocking; what comes while it is full is dropped.
class BLMidiQueue {
public:
    struct Item {
        uint8_t bytes[3] = {};
        uint8_t count = 0;
    };
    bool push(const uint8_t* bytes, size_t count);
    bool take(Item& item);

private:
    static constexpr size_t kSize = 256;
    std::array<Item, kSize> items{};
    std::atomic<size_t> head{0};  // written by the reader
    std::atomic<size_t> tail{0};  // written by the writer
};
