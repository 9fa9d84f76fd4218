#include "library/BLVMix.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/kelCore.h"

namespace {

constexpr int kMaxDraws = 10;

int draw(BLVMixRandom random, int n)
{
    return n <= 0 ? 0 : (random ? random : KEL_Random)(static_cast<uint16_t>(n));
}

bool usable(const BLSongLibrary& lib, int16_t g, const BLVMixGroups* leftOut)
{
    return g >= 0 && g < lib.groupCount && g < kBLMaxGroups && lib.groups[g].count > 0 &&
           !(leftOut && leftOut->off[g]);
}

}  // namespace

bool BLVMixSettings::styleTakesPart(int16_t style) const
{
    return style >= 0 && style < 16 && (styles >> style & 1) != 0;
}

void BLVMixSettings::setStyle(int16_t style, bool on)
{
    if (style < 0 || style >= 16) return;
    const auto bit = static_cast<uint16_t>(1u << style);
    styles = static_cast<uint16_t>(on ? styles | bit : styles & ~bit);
}

bool BLVMixSettings::groupTakesPart(const char* name) const
{
    for (int16_t i = 0; i < leftOutCount; ++i)
        if (BLSongLibrary::strcasecmp(leftOut[i], name) == 0) return false;
    return true;
}

void BLVMixSettings::setGroup(const char* name, bool on)
{
    if (!name || !name[0]) return;
    for (int16_t i = 0; i < leftOutCount; ++i) {
        if (BLSongLibrary::strcasecmp(leftOut[i], name) != 0) continue;
        if (on) {
            std::memmove(leftOut[i], leftOut[i + 1],
                         sizeof leftOut[0] * static_cast<size_t>(leftOutCount - i - 1));
            --leftOutCount;
        }
        return;
    }
    if (on || leftOutCount >= kBLMaxGroups) return;
    std::snprintf(leftOut[leftOutCount++], kBLNameSize, "%s", name);
}

BLVMixGroups BLVMixSettings::groupsOf(const BLSongLibrary& lib) const
{
    BLVMixGroups g;
    for (int16_t i = 0; i < lib.groupCount && i < kBLMaxGroups; ++i)
        g.off[i] = !groupTakesPart(lib.groups[i].name);
    return g;
}

int16_t BLVMixSettings::styleOfSlot(const BLSongLibrary& lib, int16_t slot) const
{
    int16_t taking[kBLMaxStyles];
    int16_t n = 0;
    for (int16_t s = 0; s < lib.styleCount && s < kBLMaxStyles; ++s)
        if (styleTakesPart(s)) taking[n++] = s;
    if (n == 0 || slot < 0) return -1;
    return taking[slot % n];
}

bool BLVMix_build(const BLSongLibrary& lib, const BLStyle& style, BLSequence& out,
                  const BLVMixGroups* leftOut, BLVMixRandom random)
{
    const int columns = std::clamp<int>(style.columnCount, 0, kBLStyleColumns);
    const int rows = std::clamp<int>(style.rowCount, 0, std::min(kBLStyleRows, kBLMaxGrooves));
    int16_t drawn[kBLStyleColumns];
    for (int c = 0; c < columns; ++c) {
        drawn[c] = -1;
        const int16_t g = style.columns[c];
        if (!usable(lib, g, leftOut)) continue;
        const BLSongGroup& group = lib.groups[g];
        for (int draws = 1;; ++draws) {
            drawn[c] = static_cast<int16_t>(draw(random, group.count));
            bool again = !lib.hasSlot(g, drawn[c]);
            for (int e = 0; e < c && !again; ++e) again = style.columns[e] == g && drawn[e] == drawn[c];
            if (!again || draws >= kMaxDraws) break;
        }
    }
    out.count = 0;
    out.length = 0;
    for (int r = 0; r < rows; ++r) {
        BLGroove groove;
        bool sounds = false;
        for (int t = 0; t < kBLStyleTracks; ++t) {
            const int16_t c = style.rows[r][t];
            if (c < 0 || c >= columns || drawn[c] < 0) continue;
            const int16_t g = style.columns[c];
            BLTrack& track = groove.tracks[t];
            track.group = g;
            track.slot = drawn[c];
            if (lib.hasSlot(g, drawn[c])) {
                track.volume = static_cast<uint16_t>(std::clamp<int>(lib.groups[g].volume[drawn[c]], 0, 127));
                track.pan = static_cast<int16_t>(std::clamp(lib.groups[g].pan[drawn[c]] - 63, -63, 63));
                sounds = true;
            }
        }
        // A row without a loop would be eight bars of silence in the middle of the mix.
        if (!sounds) continue;
        groove.id = static_cast<uint16_t>(out.count + 1);
        out.grooves[out.count] = groove;
        out.entries[out.length++] = groove.id;
        ++out.count;
    }
    return out.count > 0;
}

void BLVMix_groupStyle(const BLSongLibrary& lib, BLStyle& style, const BLVMixGroups* leftOut,
                       BLVMixRandom random)
{
    style = BLStyle{};
    std::fill(&style.rows[0][0], &style.rows[0][0] + kBLStyleRows * kBLStyleTracks, int16_t{-1});
    std::fill(std::begin(style.columns), std::end(style.columns), int16_t{-1});
    int16_t groups[kBLMaxGroups];
    int n = 0;
    for (int16_t g = 0; g < lib.groupCount && g < kBLMaxGroups; ++g)
        if (usable(lib, g, leftOut)) groups[n++] = g;
    if (n == 0)  // everything left out: the song still plays
        for (int16_t g = 0; g < lib.groupCount && g < kBLMaxGroups; ++g)
            if (usable(lib, g, nullptr)) groups[n++] = g;
    // More groups than tracks: the first (the song's lead group, drums as a
    // rule) stays, the others are drawn.
    while (n > kBLStyleTracks) {
        const int drop = 1 + draw(random, n - 1);
        std::copy(groups + drop + 1, groups + n, groups + drop);
        --n;
    }
    if (n == 0) return;
    // Track t plays group t: column 2t its first loop, 2t + 1 another one.
    for (int t = 0; t < n; ++t) style.columns[2 * t] = style.columns[2 * t + 1] = groups[t];
    style.columnCount = static_cast<int16_t>(2 * n);
    int order[kBLStyleTracks];
    for (int t = 0; t < n; ++t) order[t] = t;
    for (int t = n - 1; t > 0; --t) std::swap(order[t], order[draw(random, t + 1)]);

    int r = 0;
    auto row = [&](int first, int last, int loop) {
        for (int k = first; k < last; ++k)
            style.rows[r][order[k]] = static_cast<int16_t>(2 * order[k] + loop);
        ++r;
    };
    const int step = std::max(1, (n + 2) / 3);
    for (int k = step; k < n; k += step) row(0, k, 0);  // coming in
    row(0, n, 0);
    row(0, n, 0);
    row(n / 2, n, n == 1 ? 1 : 0);  // the break: the last comers alone
    row(0, n, 1);
    row(0, n, 1);
    for (int k = n - step; k > 0; k -= step) row(0, k, 1);  // leaving
    style.rowCount = static_cast<int16_t>(r);
}

void BLVMix_setDuration(BLSequence& s, int16_t duration)
{
    if (duration <= 0) {
        s.length = std::clamp<int16_t>(s.count, 0, kBLMaxSequence);
        for (int16_t i = 0; i < s.length; ++i) s.entries[i] = s.grooves[i].id;
        s.userLength = 0;
    } else {
        s.userLength = std::min(duration, kBLVMixMaxDuration);
    }
    s.stretchToUser();
}

void BLVMix_durationText(int16_t duration, bool bars, float bpm, char* out, size_t size)
{
    if (!out || size == 0) return;
    if (bars) {
        std::snprintf(out, size, "%d Bars", duration * 8);
        return;
    }
    if (!(bpm > 0) || !std::isfinite(bpm)) {
        std::snprintf(out, size, "Time --:--");
        return;
    }
    const long seconds = static_cast<long>(duration * 32.0 * 60.0 / bpm);
    std::snprintf(out, size, "Time %02ld:%02ld", seconds / 60, seconds % 60);
}
