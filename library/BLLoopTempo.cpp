#include "library/BLLoopTempo.h"

#include <cctype>
#include <cmath>

namespace {

constexpr double kRate = 44100.0;
constexpr double kSlowest = 60.0, kFastest = 200.0;  // tempos a length is read at
constexpr int kMaxBars = 8;

bool isDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// "bpm" (any case) right after `at`, blanks, dashes and underscores allowed before it.
bool bpmFollows(const std::string& s, size_t at)
{
    while (at < s.size() && (s[at] == ' ' || s[at] == '_' || s[at] == '-')) ++at;
    return at + 3 <= s.size() && std::tolower(static_cast<unsigned char>(s[at])) == 'b' &&
           std::tolower(static_cast<unsigned char>(s[at + 1])) == 'p' &&
           std::tolower(static_cast<unsigned char>(s[at + 2])) == 'm';
}

bool isSeparator(char c)
{
    return c == '_' || c == '-' || c == ' ' || c == '.';
}

}  // namespace

double BLLoop_TempoFromName(const std::string& name)
{
    // A number followed by "bpm" first; else a number standing alone between
    // separators ("_120_", "120-", "loop 120 ...").
    double alone = 0.0;
    for (size_t i = 0; i < name.size();) {
        if (!isDigit(name[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < name.size() && isDigit(name[end])) ++end;
        // A decimal tempo: "92.5bpm".
        size_t whole = end;
        if (end + 1 < name.size() && name[end] == '.' && isDigit(name[end + 1]))
            for (end += 1; end < name.size() && isDigit(name[end]);) ++end;
        const double value = end - i <= 6 ? std::stod(name.substr(i, end - i)) : 0.0;
        const bool inRange = value >= 40.0 && value <= 300.0;
        if (inRange && bpmFollows(name, end)) return value;
        const bool before = i == 0 || isSeparator(name[i - 1]);
        const bool after = whole == name.size() || isSeparator(name[whole]);
        if (inRange && alone == 0.0 && before && after && end == whole) alone = value;
        i = end;
    }
    return alone;
}

BLLoopTempo BLLoop_Tempo(const std::string& name, int64_t frames, double near, uint32_t allowedBars,
                         double heard)
{
    BLLoopTempo r;
    if (frames <= 0) return r;
    const double seconds = static_cast<double>(frames) / kRate;
    auto tempoOf = [seconds](int bars) { return 60.0 * 4 * bars / seconds; };
    if (const double named = BLLoop_TempoFromName(name); named > 0) {
        r.found = BLLoopTempo::Found::fromName;
        r.bpm = named;
        // The allowed number of bars nearest what the length holds at that tempo.
        const double held = seconds * named / (60.0 * 4);
        for (int bars = 1; bars <= kMaxBars; ++bars)
            if ((allowedBars >> (bars - 1) & 1) &&
                (r.bars == 0 || std::fabs(bars - held) < std::fabs(r.bars - held)))
                r.bars = bars;
        return r;
    }
    const bool wasHeard = heard >= 40.0 && heard <= 300.0;
    for (int bars = 1; bars <= kMaxBars; ++bars) {
        const double bpm = tempoOf(bars);
        if (!(allowedBars >> (bars - 1) & 1) || bpm < kSlowest || bpm > kFastest) continue;
        if (wasHeard && std::fabs(bpm / heard - 1.0) <= 0.08) {
            r.found = BLLoopTempo::Found::fromSound;
            r.bars = bars;
            r.bpm = bpm;
            return r;
        }
        if (r.bars == 0 || std::fabs(bpm - near) < std::fabs(r.bpm - near)) {
            r.bars = bars;
            r.bpm = bpm;
        }
    }
    if (r.bars > 0) {
        r.found = BLLoopTempo::Found::fromLength;
    } else if (wasHeard) {
        // Neither name nor length: the beats' tempo, the loop cut or padded to whole bars.
        const double held = seconds * heard / (60.0 * 4);
        for (int bars = 1; bars <= kMaxBars; ++bars)
            if ((allowedBars >> (bars - 1) & 1) &&
                (r.bars == 0 || std::fabs(bars - held) < std::fabs(r.bars - held)))
                r.bars = bars;
        r.found = BLLoopTempo::Found::fromSound;
        r.bpm = heard;
    }
    return r;
}
