#include "net/BLNetMessage.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

namespace {

// Reads one field at `at`: an optional '-' and 1 to 6 digits with no leading
// zero (and no "-0"), ending at a single space or the end of the text.
bool field(const char* text, size_t length, size_t& at, int32_t low, int32_t high, int32_t& value)
{
    size_t i = at;
    const bool negative = i < length && text[i] == '-';
    if (negative) ++i;
    const size_t first = i;
    int32_t v = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') {
        if (i - first >= 6) return false;
        v = v * 10 + (text[i] - '0');
        ++i;
    }
    const size_t digits = i - first;
    if (digits == 0 || (digits > 1 && text[first] == '0') || (negative && v == 0)) return false;
    if (i < length) {
        if (text[i] != ' ' || i + 1 >= length) return false;
        ++i;
    }
    if (negative) v = -v;
    if (v < low || v > high) return false;
    value = v;
    at = i;
    return true;
}

bool fields(const char* text, size_t length, size_t& at,
            std::initializer_list<std::pair<int32_t, int32_t>> ranges, int32_t* values)
{
    int n = 0;
    for (const auto& range : ranges)
        if (!field(text, length, at, range.first, range.second, values[n++])) return false;
    return at == length;
}

// An effect's name or URI, a parameter's name: printable, no spaces.
bool wordValid(const char* text, size_t length)
{
    if (length == 0 || length > kBLNetNameMax) return false;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c <= 0x20 || c >= 0x7F) return false;
    }
    return true;
}

// A value as "%.9g" writes it, and nothing else: it comes back bit for bit.
bool realField(const char* text, size_t length, size_t& at, float& value)
{
    size_t end = at;
    while (end < length && text[end] != ' ') ++end;
    if (end == at || end >= length || end - at > 24) return false;
    const std::string word(text + at, end - at);
    char* stop = nullptr;
    const float v = std::strtof(word.c_str(), &stop);
    if (!stop || *stop != 0 || !std::isfinite(v)) return false;
    char again[32];
    std::snprintf(again, sizeof again, "%.9g", static_cast<double>(v));
    if (word != again) return false;
    value = v;
    at = end + 1;
    return true;
}

}  // namespace

bool BLNet_songNameValid(const char* name, size_t length)
{
    if (length == 0 || length > kBLNetNameMax || name[0] == ' ') return false;
    if ((length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.')) return false;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || c == 0x7F || c == ':' || c == '/' || c == '\\') return false;
    }
    return true;
}

bool BLNet_identityValid(const char* text, size_t length)
{
    if (!text || length != kBLNetIdentityLength) return false;
    for (size_t i = 0; i < length; ++i)
        if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'a' && text[i] <= 'f'))) return false;
    return true;
}

bool BLNet_parseMessage(const char* text, size_t length, BLNetMessage& out)
{
    if (!text) return false;
    size_t at = 0;
    int32_t code = 0;
    if (!field(text, length, at, 1, 15, code)) return false;
    BLNetMessage m;
    m.code = static_cast<int16_t>(code);
    int32_t v[3] = {};
    bool ok = false;
    switch (m.code) {
        case kBLNetSample: ok = fields(text, length, at, {{0, 7}, {-1, 255}, {-1, 4095}}, v); break;
        case kBLNetVolume: ok = fields(text, length, at, {{0, 7}, {0, 127}}, v); break;
        case kBLNetPan: ok = fields(text, length, at, {{0, 7}, {-63, 63}}, v); break;
        case kBLNetOn: ok = fields(text, length, at, {{0, 7}, {0, 1}}, v); break;
        case kBLNetUse: ok = fields(text, length, at, {{0, 7}, {0, 2}}, v); break;
        case kBLNetPlay:
        case kBLNetStop:
        case kBLNetBusy:
        case kBLNetRefused: ok = at == length; break;
        case kBLNetClock:
            ok = fields(text, length, at, {{kBLNetTempoMin, kBLNetTempoMax}, {0, kBLNetCycleMilli - 1}}, v);
            m.tempoMilli = v[0];
            m.beatMilli = v[1];
            break;
        case kBLNetWelcome:
            ok = fields(text, length, at, {{0, 1}}, v);
            m.value[0] = static_cast<int16_t>(v[0]);
            break;
        case kBLNetSong:
            ok = at < length && BLNet_songNameValid(text + at, length - at);
            if (ok) std::memcpy(m.name, text + at, length - at);
            break;
        case kBLNetHello:
            ok = at < length && BLNet_identityValid(text + at, length - at);
            if (ok) std::memcpy(m.name, text + at, length - at);
            break;
        case kBLNetEffect:
            // The effect's name comes last; none empties the slot.
            ok = field(text, length, at, 0, kBLNetRacks - 1, v[0]) && field(text, length, at, 0, 1, v[1]) &&
                 field(text, length, at, 0, 1, v[2]);
            if (ok && at < length) {
                ok = wordValid(text + at, length - at);
                if (ok) std::memcpy(m.name, text + at, length - at);
            }
            m.track = static_cast<int16_t>(v[0]);
            m.value[0] = static_cast<int16_t>(v[1]);
            m.value[1] = static_cast<int16_t>(v[2]);
            break;
        case kBLNetParam:
            ok = field(text, length, at, 0, kBLNetRacks - 1, v[0]) && at < length &&
                 field(text, length, at, 0, 1, v[1]) && at < length && realField(text, length, at, m.real) &&
                 wordValid(text + at, length - at);
            if (ok) std::memcpy(m.name, text + at, length - at);
            m.track = static_cast<int16_t>(v[0]);
            m.value[0] = static_cast<int16_t>(v[1]);
            break;
        default: break;
    }
    if (!ok) return false;
    if (m.code == kBLNetSample || m.code == kBLNetVolume || m.code == kBLNetPan || m.code == kBLNetOn ||
        m.code == kBLNetUse) {
        m.track = static_cast<int16_t>(v[0]);
        m.value[0] = static_cast<int16_t>(v[1]);
        m.value[1] = static_cast<int16_t>(v[2]);
    }
    out = m;
    return true;
}

size_t BLNet_formatMessage(const BLNetMessage& m, char* out, size_t size)
{
    int n = -1;
    switch (m.code) {
        case kBLNetSample:
            n = std::snprintf(out, size, "%d %d %d %d", m.code, m.track, m.value[0], m.value[1]);
            break;
        case kBLNetVolume:
        case kBLNetPan:
        case kBLNetOn:
        case kBLNetUse: n = std::snprintf(out, size, "%d %d %d", m.code, m.track, m.value[0]); break;
        case kBLNetPlay:
        case kBLNetStop:
        case kBLNetBusy:
        case kBLNetRefused: n = std::snprintf(out, size, "%d", m.code); break;
        case kBLNetClock: n = std::snprintf(out, size, "%d %d %d", m.code, m.tempoMilli, m.beatMilli); break;
        case kBLNetWelcome: n = std::snprintf(out, size, "%d %d", m.code, m.value[0]); break;
        case kBLNetSong:
        case kBLNetHello: n = std::snprintf(out, size, "%d %s", m.code, m.name); break;
        case kBLNetEffect:
            n = m.name[0] ? std::snprintf(out, size, "%d %d %d %d %s", m.code, m.track, m.value[0],
                                          m.value[1], m.name)
                          : std::snprintf(out, size, "%d %d %d %d", m.code, m.track, m.value[0], m.value[1]);
            break;
        case kBLNetParam:
            n = std::snprintf(out, size, "%d %d %d %.9g %s", m.code, m.track, m.value[0],
                              static_cast<double>(m.real), m.name);
            break;
        default: break;
    }
    return n > 0 && static_cast<size_t>(n) < size ? static_cast<size_t>(n) : 0;
}
