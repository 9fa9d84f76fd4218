#include "library/BLMidiBindings.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace {

struct ActionName {
    BLMidiAction action;
    const char* name;
};

constexpr ActionName kActions[] = {
    {BLMidiAction::mute, "mute"},
    {BLMidiAction::loopUp, "loop-up"},
    {BLMidiAction::loopDown, "loop-down"},
    {BLMidiAction::groupUp, "group-up"},
    {BLMidiAction::groupDown, "group-down"},
    {BLMidiAction::random, "random"},
    {BLMidiAction::store, "store"},
    {BLMidiAction::play, "play"},
    {BLMidiAction::tempo, "tempo"},
    {BLMidiAction::tempoUp, "tempo-up"},
    {BLMidiAction::tempoDown, "tempo-down"},
    {BLMidiAction::volume, "volume"},
    {BLMidiAction::pan, "pan"},
    {BLMidiAction::effect, "effect"},
    {BLMidiAction::effectBypass, "bypass"},
    {BLMidiAction::record, "record"},
};

constexpr int kMainRack = 8;

bool isEffect(BLMidiAction action)
{
    return action == BLMidiAction::effect || action == BLMidiAction::effectBypass;
}

// A parameter's name: a plain word of the effect's (an LV2 symbol).
bool paramName(const std::string& word)
{
    if (word.empty() || word.size() > 64) return false;
    for (char c : word)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

const char* actionName(BLMidiAction action)
{
    for (const ActionName& a : kActions)
        if (a.action == action) return a.name;
    return "?";
}

// The targets an action takes, counted from 1 in the file.
int targetCount(BLMidiAction action)
{
    if (action == BLMidiAction::random) return 4;
    return BLMidi_HasTarget(action) ? 8 : 0;
}

// A whole number within its range, and nothing else in the word.
bool number(const std::string& word, int low, int high, int& out)
{
    if (word.empty() || word.size() > 4) return false;
    for (char c : word)
        if (c < '0' || c > '9') return false;
    out = std::atoi(word.c_str());
    return out >= low && out <= high;
}

bool parseEffect(std::istringstream& in, BLMidiBinding& b)
{
    std::string rack, slot, param, more;
    in >> rack >> slot >> param >> more;
    int r = 0, k = 0;
    if (rack == "main")
        r = kMainRack + 1;
    else if (!number(rack, 1, kMainRack, r))
        return false;
    if (!number(slot, 1, 2, k) || !more.empty()) return false;
    b.target = static_cast<int8_t>(r - 1);
    b.slot = static_cast<int8_t>(k - 1);
    if (b.action == BLMidiAction::effectBypass) return param.empty();
    b.param = param;
    return paramName(param);
}

bool parseLine(const std::string& line, BLMidiBinding& b)
{
    std::istringstream in(line);
    std::string kind, channel, num, action, target, more;
    if (!(in >> kind >> channel >> num >> action)) return false;
    const auto* named = std::find_if(std::begin(kActions), std::end(kActions),
                                     [&](const ActionName& a) { return action == a.name; });
    const bool effect = named != std::end(kActions) && isEffect(named->action);
    if (!effect) in >> target >> more;
    if (!more.empty()) return false;
    if (kind == "note")
        b.kind = BLMidiKind::note;
    else if (kind == "cc")
        b.kind = BLMidiKind::cc;
    else
        return false;
    int c = 0, n = 0;
    if (!number(channel, 1, 16, c) || !number(num, 0, 127, n)) return false;
    b.channel = static_cast<uint8_t>(c);
    b.number = static_cast<uint8_t>(n);
    if (named == std::end(kActions)) return false;
    b.action = named->action;
    if (effect) return parseEffect(in, b);
    const int targets = targetCount(b.action);
    if (targets == 0) {
        b.target = 0;
        return target.empty();
    }
    int t = 0;
    if (!number(target, 1, targets, t)) return false;
    b.target = static_cast<int8_t>(t - 1);
    return true;
}

}  // namespace

bool BLMidi_Decode(const uint8_t* bytes, size_t count, BLMidiMessage& out)
{
    if (!bytes || count < 3) return false;
    const uint8_t status = bytes[0] & 0xF0;
    if ((bytes[1] | bytes[2]) & 0x80) return false;
    out.channel = static_cast<uint8_t>((bytes[0] & 0x0F) + 1);
    out.number = bytes[1];
    switch (status) {
        case 0x90:
            out.kind = BLMidiKind::note;
            out.value = bytes[2];
            return true;
        case 0x80:
            out.kind = BLMidiKind::note;
            out.value = 0;
            return true;
        case 0xB0:
            out.kind = BLMidiKind::cc;
            out.value = bytes[2];
            return true;
        default: return false;
    }
}

bool BLMidi_TakesValue(BLMidiAction action)
{
    return action == BLMidiAction::volume || action == BLMidiAction::pan || action == BLMidiAction::tempo ||
           action == BLMidiAction::effect;
}

bool BLMidi_HasTarget(BLMidiAction action)
{
    switch (action) {
        case BLMidiAction::mute:
        case BLMidiAction::loopUp:
        case BLMidiAction::loopDown:
        case BLMidiAction::groupUp:
        case BLMidiAction::groupDown:
        case BLMidiAction::random:
        case BLMidiAction::volume:
        case BLMidiAction::pan: return true;
        default: return false;
    }
}

int16_t BLMidi_Volume(uint8_t value)
{
    return static_cast<int16_t>(std::min<int>(value, 127));
}

int16_t BLMidi_Pan(uint8_t value)
{
    return static_cast<int16_t>(std::clamp(static_cast<int>(value) - 64, -63, 63));
}

float BLMidi_Tempo(uint8_t value, float slowest, float fastest)
{
    return slowest + (fastest - slowest) * static_cast<float>(std::min<int>(value, 127)) / 127.0f;
}

std::string BLMidi_MessageText(BLMidiKind kind, uint8_t channel, uint8_t number)
{
    std::string text = kind == BLMidiKind::cc ? "CC " : "note ";
    text += std::to_string(number);
    text += " ch ";
    text += std::to_string(channel);
    return text;
}

std::string BLMidi_ActionText(BLMidiAction action, int8_t target)
{
    std::string text = actionName(action);
    if (targetCount(action) > 0) {
        text += ' ';
        text += std::to_string(target + 1);
    }
    return text;
}

std::string BLMidi_ActionText(const BLMidiBinding& b)
{
    if (!isEffect(b.action)) return BLMidi_ActionText(b.action, b.target);
    std::string text = actionName(b.action);
    text += ' ';
    text += b.target == kMainRack ? std::string("main") : std::to_string(b.target + 1);
    text += ' ';
    text += std::to_string(b.slot + 1);
    if (b.action == BLMidiAction::effect) {
        text += ' ';
        text += b.param;
    }
    return text;
}

bool BLMidiBindings::bind(const BLMidiBinding& binding)
{
    std::erase_if(bindings, [&](const BLMidiBinding& b) { return b.sameMessage(binding); });
    if (bindings.size() >= static_cast<size_t>(kBLMidiBindingsMax)) return false;
    bindings.push_back(binding);
    return true;
}

bool BLMidiBindings::learn(const BLMidiBinding& binding)
{
    std::erase_if(bindings, [&](const BLMidiBinding& b) {
        return b.action == binding.action && b.target == binding.target && b.slot == binding.slot &&
               b.param == binding.param;
    });
    return bind(binding);
}

const BLMidiBinding* BLMidiBindings::find(BLMidiKind kind, uint8_t channel, uint8_t number) const
{
    for (const BLMidiBinding& b : bindings)
        if (b.kind == kind && b.channel == channel && b.number == number) return &b;
    return nullptr;
}

const BLMidiBinding* BLMidiBindings::forAction(BLMidiAction action, int8_t target) const
{
    for (const BLMidiBinding& b : bindings)
        if (b.action == action && b.target == target) return &b;
    return nullptr;
}

const BLMidiBinding* BLMidiBindings::forEffect(int8_t rack, int8_t slot, const std::string& param) const
{
    const BLMidiAction action = param.empty() ? BLMidiAction::effectBypass : BLMidiAction::effect;
    for (const BLMidiBinding& b : bindings)
        if (b.action == action && b.target == rack && b.slot == slot && b.param == param) return &b;
    return nullptr;
}

std::string BLMidiBindings::text() const
{
    std::string out = "# Beatloom MIDI mapping: KIND CHANNEL NUMBER ACTION [TARGET]\n";
    for (const BLMidiBinding& b : bindings) {
        out += b.kind == BLMidiKind::cc ? "cc " : "note ";
        out += std::to_string(b.channel);
        out += ' ';
        out += std::to_string(b.number);
        out += ' ';
        out += BLMidi_ActionText(b);
        out += '\n';
    }
    return out;
}

bool BLMidiBindings::parse(const std::string& text, int& badLine)
{
    BLMidiBindings read;
    std::istringstream in(text);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (const size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        BLMidiBinding b;
        if (!parseLine(line, b) || !read.bind(b)) {
            badLine = n;
            return false;
        }
    }
    bindings = std::move(read.bindings);
    return true;
}

bool BLMidiQueue::push(const uint8_t* bytes, size_t count)
{
    const size_t t = tail.load(std::memory_order_relaxed);
    if (t - head.load(std::memory_order_acquire) >= kSize) return false;
    Item& item = items[t % kSize];
    item.count = static_cast<uint8_t>(std::min<size_t>(count, sizeof item.bytes));
    std::copy(bytes, bytes + item.count, item.bytes);
    tail.store(t + 1, std::memory_order_release);
    return true;
}

bool BLMidiQueue::take(Item& item)
{
    const size_t h = head.load(std::memory_order_relaxed);
    if (h == tail.load(std::memory_order_acquire)) return false;
    item = items[h % kSize];
    head.store(h + 1, std::memory_order_release);
    return true;
}
