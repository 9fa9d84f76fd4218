// The grooves' effects in a document (the 'efct' atom, layout in BLDocument.h).
#include <bit>
#include <cstring>

#include "core/kelBytes.h"
#include "library/BLDocument.h"

namespace {

constexpr uint8_t kLayout = 1;
constexpr uint8_t kCurrent = 255;
constexpr size_t kNameMost = 4096;              // an effect's name or URI, a parameter's name
constexpr size_t kStateMost = 8 * 1024 * 1024;  // a plugin's state

void put16(std::vector<uint8_t>& out, size_t v)
{
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8 & 0xFF));
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

void putName(std::vector<uint8_t>& out, const std::string& s)
{
    const size_t n = std::min(s.size(), kNameMost);
    put16(out, n);
    out.insert(out.end(), s.begin(), s.begin() + static_cast<std::ptrdiff_t>(n));
}

void putSlot(std::vector<uint8_t>& out, uint8_t groove, int rack, int slot, const FxSlot& s)
{
    out.push_back(groove);
    out.push_back(static_cast<uint8_t>(rack));
    out.push_back(static_cast<uint8_t>(slot));
    out.push_back(s.bypass ? 1 : 0);
    putName(out, s.effect);
    const size_t m = std::min<size_t>(s.params.size(), 0xFFFF);
    put16(out, m);
    for (size_t i = 0; i < m; ++i) {
        putName(out, s.params[i].name);
        put32(out, std::bit_cast<uint32_t>(s.params[i].value));
    }
    const size_t state = s.state.size() <= kStateMost ? s.state.size() : 0;
    put32(out, static_cast<uint32_t>(state));
    out.insert(out.end(), s.state.begin(), s.state.begin() + static_cast<std::ptrdiff_t>(state));
}

// Reads from a bounded buffer; every take fails once the data ends.
struct Reader {
    const std::vector<uint8_t>& in;
    size_t at = 0;
    bool take(size_t n, const uint8_t** p)
    {
        if (n > in.size() - at) return false;
        *p = in.data() + at;
        at += n;
        return true;
    }
    bool byte(uint8_t* v)
    {
        const uint8_t* p;
        if (!take(1, &p)) return false;
        *v = *p;
        return true;
    }
    bool u16(size_t* v)
    {
        const uint8_t* p;
        if (!take(2, &p)) return false;
        *v = kelGetLE16(p);
        return true;
    }
    bool u32(uint32_t* v)
    {
        const uint8_t* p;
        if (!take(4, &p)) return false;
        *v = kelGetLE32(p);
        return true;
    }
    bool text(size_t most, size_t length, std::string* s)
    {
        const uint8_t* p;
        if (length > most || !take(length, &p)) return false;
        s->assign(reinterpret_cast<const char*>(p), length);
        return true;
    }
};

}  // namespace

std::vector<uint8_t> BLDocument_EncodeEffects(const BLIceimage& ice)
{
    std::vector<uint8_t> out = {kLayout, 0, 0};
    size_t n = 0;
    auto groove = [&](uint8_t which, const BLGroove& g) {
        for (int r = 0; r < kFxRacks; ++r)
            for (int k = 0; k < kFxSlots; ++k)
                if (!g.fx.racks[r].slots[k].empty() && n < 0xFFFF) {
                    putSlot(out, which, r, k, g.fx.racks[r].slots[k]);
                    ++n;
                }
    };
    groove(kCurrent, ice.groove);
    for (int i = 0; i < kBLMaxGrooves; ++i) groove(static_cast<uint8_t>(i), ice.sequence.grooves[i]);
    if (n == 0) return {};
    out[1] = static_cast<uint8_t>(n & 0xFF);
    out[2] = static_cast<uint8_t>(n >> 8);
    return out;
}

bool BLDocument_DecodeEffects(const std::vector<uint8_t>& in, BLIceimage* ice)
{
    Reader r{in};
    uint8_t layout = 0;
    size_t n = 0;
    if (!r.byte(&layout) || layout != kLayout || !r.u16(&n)) return false;
    for (size_t e = 0; e < n; ++e) {
        uint8_t which = 0, rack = 0, slot = 0, flags = 0;
        size_t length = 0, m = 0;
        FxSlot s;
        if (!r.byte(&which) || !r.byte(&rack) || !r.byte(&slot) || !r.byte(&flags)) return false;
        if (!r.u16(&length) || !r.text(kNameMost, length, &s.effect) || !r.u16(&m)) return false;
        s.bypass = (flags & 1) != 0;
        for (size_t i = 0; i < m; ++i) {
            FxParamValue p;
            uint32_t bits = 0;
            if (!r.u16(&length) || !r.text(kNameMost, length, &p.name) || !r.u32(&bits)) return false;
            p.value = std::bit_cast<float>(bits);
            s.params.push_back(std::move(p));
        }
        uint32_t state = 0;
        if (!r.u32(&state) || !r.text(kStateMost, state, &s.state)) return false;
        // A slot of no groove, rack or slot there is, or an empty or
        // unreadable name, is damage: it is left out.
        const bool named = !s.effect.empty() && s.effect.find('\0') == std::string::npos;
        if (!named || rack >= kFxRacks || slot >= kFxSlots || (which >= kBLMaxGrooves && which != kCurrent))
            return false;
        BLGroove& g = which == kCurrent ? ice->groove : ice->sequence.grooves[which];
        g.fx.racks[rack].slots[slot] = std::move(s);
    }
    return r.at == in.size();
}
