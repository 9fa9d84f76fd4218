#include "library/BLTake.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "core/kelBytes.h"
#include "library/BLDocument.h"

namespace {

constexpr uint8_t kLayout = 2;
constexpr size_t kNameMost = 1024;
constexpr size_t kDataMost = 16 * 1024 * 1024;
constexpr uint32_t kCallsMost = 4 * 1024 * 1024;

void put8(std::vector<uint8_t>& out, uint8_t v)
{
    out.push_back(v);
}
void put16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, static_cast<uint16_t>(v & 0xFFFF));
    put16(out, static_cast<uint16_t>(v >> 16));
}
void put64(std::vector<uint8_t>& out, int64_t v)
{
    const auto u = static_cast<uint64_t>(v);
    put32(out, static_cast<uint32_t>(u & 0xFFFFFFFF));
    put32(out, static_cast<uint32_t>(u >> 32));
}
void putBytes(std::vector<uint8_t>& out, const std::vector<uint8_t>& d)
{
    put32(out, static_cast<uint32_t>(d.size()));
    out.insert(out.end(), d.begin(), d.end());
}

struct Reader {
    const uint8_t* p;
    size_t size;
    size_t at = 0;
    bool ok = true;
    const uint8_t* take(size_t n)
    {
        if (!ok || n > size - at) {
            ok = false;
            return nullptr;
        }
        const uint8_t* q = p + at;
        at += n;
        return q;
    }
    uint8_t u8()
    {
        const uint8_t* q = take(1);
        return q ? *q : 0;
    }
    uint16_t u16()
    {
        const uint8_t* q = take(2);
        return q ? kelGetLE16(q) : 0;
    }
    uint32_t u32()
    {
        const uint8_t* q = take(4);
        return q ? kelGetLE32(q) : 0;
    }
    int64_t s64()
    {
        const uint64_t lo = u32();
        const uint64_t hi = u32();
        return static_cast<int64_t>(lo | hi << 32);
    }
    std::vector<uint8_t> bytes(size_t most)
    {
        const uint32_t n = u32();
        if (n > most) ok = false;
        const uint8_t* q = take(n);
        return q ? std::vector<uint8_t>(q, q + n) : std::vector<uint8_t>{};
    }
};

std::vector<uint8_t> encodeTake(const BLTake& t)
{
    std::vector<uint8_t> out;
    const size_t name = std::min(t.name.size(), kNameMost);
    put16(out, static_cast<uint16_t>(name));
    out.insert(out.end(), t.name.begin(), t.name.begin() + static_cast<std::ptrdiff_t>(name));
    put64(out, t.made);
    put64(out, t.frames);
    put32(out, static_cast<uint32_t>(t.rate));
    const BLTakeStart& s = t.start;
    for (int k = 0; k < kBLTakeTracks; ++k) {
        put16(out, static_cast<uint16_t>(s.samples[k]));
        put16(out, static_cast<uint16_t>(s.volumes[k]));
        put16(out, static_cast<uint16_t>(s.pans[k]));
    }
    put32(out, std::bit_cast<uint32_t>(s.bpm));
    put16(out, static_cast<uint16_t>(s.mainVolume));
    put8(out, s.keyLock ? 1 : 0);
    put16(out, static_cast<uint16_t>(s.gridBeats));
    put8(out, s.sync ? 1 : 0);
    put8(out, s.playing ? 1 : 0);
    put64(out, s.songFrame);
    putBytes(out, BLTake_EncodeEffects(s.fx));
    put32(out, static_cast<uint32_t>(t.calls.size()));
    for (const BLTakeCall& c : t.calls) {
        put64(out, c.at);
        put64(out, c.heard);
        put8(out, static_cast<uint8_t>(c.op));
        put16(out, static_cast<uint16_t>(c.a));
        put16(out, static_cast<uint16_t>(c.b));
        put32(out, std::bit_cast<uint32_t>(c.value));
        putBytes(out, c.data);
    }
    put64(out, s.lead);
    return out;
}

bool decodeTake(Reader& r, BLTake& t, uint8_t layout)
{
    const uint16_t name = r.u16();
    if (name > kNameMost) return false;
    if (const uint8_t* q = r.take(name)) t.name.assign(reinterpret_cast<const char*>(q), name);
    t.made = r.s64();
    t.frames = r.s64();
    t.rate = static_cast<int32_t>(r.u32());
    BLTakeStart& s = t.start;
    for (int k = 0; k < kBLTakeTracks; ++k) {
        s.samples[k] = static_cast<int16_t>(r.u16());
        s.volumes[k] = static_cast<int16_t>(r.u16());
        s.pans[k] = static_cast<int16_t>(r.u16());
    }
    s.bpm = std::bit_cast<float>(r.u32());
    s.mainVolume = static_cast<int16_t>(r.u16());
    s.keyLock = r.u8() != 0;
    s.gridBeats = static_cast<int16_t>(r.u16());
    s.sync = r.u8() != 0;
    s.playing = r.u8() != 0;
    s.songFrame = r.s64();
    const std::vector<uint8_t> fx = r.bytes(kDataMost);
    if (!r.ok || !BLTake_DecodeEffects(fx, s.fx)) return false;
    const uint32_t n = r.u32();
    if (!r.ok || n > kCallsMost || t.frames < 0 || t.rate <= 0) return false;
    t.calls.reserve(n);
    for (uint32_t i = 0; i < n && r.ok; ++i) {
        BLTakeCall c;
        c.at = r.s64();
        c.heard = r.s64();
        const uint8_t op = r.u8();
        c.op = static_cast<BLTakeCall::Op>(op);
        c.a = static_cast<int16_t>(r.u16());
        c.b = static_cast<int16_t>(r.u16());
        c.value = std::bit_cast<float>(r.u32());
        c.data = r.bytes(kDataMost);
        // Calls in the order heard, of the ops there are.
        if (op < 1 || op > static_cast<uint8_t>(BLTakeCall::Op::last) || c.at < 0 ||
            (!t.calls.empty() && c.at < t.calls.back().at))
            return false;
        t.calls.push_back(std::move(c));
    }
    if (layout >= 2) s.lead = r.s64();
    return r.ok && r.at == r.size && s.lead >= 0;
}

}  // namespace

int BLTake_Changes(const BLTake& take)
{
    using Op = BLTakeCall::Op;
    int n = 0;
    for (const BLTakeCall& c : take.calls)
        if (c.op != Op::changesBegin && c.op != Op::changesEnd && c.op != Op::sync && c.op != Op::play &&
            c.op != Op::stop)
            ++n;
    return n;
}

std::string BLTake_CleanName(const std::string& typed)
{
    std::string name;
    for (size_t i = 0; i < typed.size(); ++i) {
        const auto c = static_cast<unsigned char>(typed[i]);
        if (c < 0x20 || c == 0x7f) continue;
        // U+0080 to U+009F, the other controls.
        if (c == 0xc2 && i + 1 < typed.size() && static_cast<unsigned char>(typed[i + 1]) < 0xa0 &&
            static_cast<unsigned char>(typed[i + 1]) >= 0x80) {
            ++i;
            continue;
        }
        name += static_cast<char>(c);
    }
    auto blank = [](char c) { return c == ' '; };
    auto trim = [&] {
        while (!name.empty() && blank(name.back())) name.pop_back();
        size_t lead = 0;
        while (lead < name.size() && blank(name[lead])) ++lead;
        name.erase(0, lead);
    };
    trim();
    if (name.size() > kBLTakeNameBytes) {
        size_t end = kBLTakeNameBytes;
        // Back to the first byte of the character the cut would split.
        while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xc0) == 0x80) --end;
        name.resize(end);
        trim();
    }
    return name;
}

std::string BLTake_Shown(const std::string& name)
{
    static const std::string dash = "\u2014";
    std::string shown;
    for (size_t from = 0;;) {
        const size_t at = name.find(dash, from);
        shown.append(name, from, at == std::string::npos ? std::string::npos : at - from);
        if (at == std::string::npos) return shown;
        shown += '-';
        from = at + dash.size();
    }
}

std::string BLTake_Length(int64_t frames, int32_t rate)
{
    const int64_t seconds = rate > 0 ? frames / rate : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

std::string BLTake_Name(int number, int64_t frames, int32_t rate, bool french)
{
    return std::string(french ? "Prise " : "Take ") + std::to_string(number) + " \u2014 " +
           BLTake_Length(frames, rate);
}

std::vector<uint8_t> BLTake_Encode(const std::vector<BLTake>& takes)
{
    if (takes.empty()) return {};
    const size_t n = std::min<size_t>(takes.size(), kBLMaxTakes);
    std::vector<uint8_t> out = {kLayout};
    put16(out, static_cast<uint16_t>(n));
    for (size_t i = 0; i < n; ++i) putBytes(out, encodeTake(takes[i]));
    return out;
}

bool BLTake_Decode(const std::vector<uint8_t>& in, std::vector<BLTake>& takes)
{
    takes.clear();
    Reader r{in.data(), in.size()};
    const uint8_t layout = r.u8();
    const uint16_t n = r.u16();
    if (!r.ok || layout < 1 || layout > kLayout) return false;
    for (uint16_t i = 0; i < n; ++i) {
        const std::vector<uint8_t> record = r.bytes(in.size());
        if (!r.ok) return false;
        Reader one{record.data(), record.size()};
        BLTake t;
        if (!decodeTake(one, t, layout)) return false;
        if (takes.size() < static_cast<size_t>(kBLMaxTakes)) takes.push_back(std::move(t));
    }
    return r.at == in.size() && n <= kBLMaxTakes;
}

std::vector<uint8_t> BLTake_EncodeEffects(const FxSetup& fx)
{
    BLIceimage ice;
    ice.groove.fx = fx;
    return BLDocument_EncodeEffects(ice);
}

bool BLTake_DecodeEffects(const std::vector<uint8_t>& in, FxSetup& fx)
{
    fx = FxSetup{};
    if (in.empty()) return true;
    BLIceimage ice;
    const bool ok = BLDocument_DecodeEffects(in, &ice);
    fx = ice.groove.fx;
    return ok;
}
