// Bytes from another instance, as hostile as they come, cut into lines as
// the transport cuts them: no line is longer than the limit or holds a line
// end; a line is either one whole message, formed back to the same text, or
// refused; the link applies only values in range to what it mirrors, and
// never a part of a line.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzFiles.h"
#include "library/BLGroove.h"
#include "net/BLNet.h"
#include "net/BLNetMessage.h"
#include "platform/PlatLink.h"

namespace {

class CheckingHost : public BLNetHost {
public:
    BLGroove g;
    bool isPlaying = false;
    float bpm = 120;
    int applied = 0;
    std::string songName() override { return "Song"; }
    bool loadSong(const char* name) override
    {
        fuzzfiles::check(BLNet_songNameValid(name, std::strlen(name)));
        ++applied;
        return name[0] != 'x';
    }
    const BLGroove& groove() override { return g; }
    bool playing() override { return isPlaying; }
    void play() override { isPlaying = true; }
    void stop() override { isPlaying = false; }
    float tempo() override { return bpm; }
    bool setTempo(float b) override
    {
        fuzzfiles::check(b >= 1.0f && b < 1000.0f);
        // As the player's window would: the song's tempo of 120, give or take 50.
        if (b < 70.0f || b > 170.0f) return false;
        bpm = b;
        return true;
    }
    int beat() override { return isPlaying ? 0 : -1; }
    double position() override { return isPlaying ? 1.5 : -1; }
    bool setSample(int16_t t, int16_t group, int16_t slot) override
    {
        fuzzfiles::check(t >= 0 && t < 8 && group >= -1 && slot >= -1);
        ++applied;
        return group < 4;
    }
    void setVolume(int16_t t, int16_t v) override
    {
        fuzzfiles::check(t >= 0 && t < 8 && v >= 0 && v <= 127);
        ++applied;
    }
    void setPan(int16_t t, int16_t p) override
    {
        fuzzfiles::check(t >= 0 && t < 8 && p >= -63 && p <= 63);
        ++applied;
    }
    void setAudible(int16_t t, bool) override
    {
        fuzzfiles::check(t >= 0 && t < 8);
        ++applied;
    }
    bool ask(const char*) override { return false; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    BLNetMessage m;
    if (BLNet_parseMessage(text, size, m)) {
        char back[kBLNetTextMax];
        const size_t n = BLNet_formatMessage(m, back, sizeof back);
        fuzzfiles::check(n == size && std::memcmp(back, text, size) == 0);
    }
    // The input as the transport would get it, in pieces of a size its
    // first byte chooses, cut into lines and heard by a link.
    static CheckingHost host;
    static BLNet link;
    link.setHost(&host);
    const long before = link.dropped();
    long refused = 0;
    plat::LineCutter cutter;
    const size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    for (size_t at = 0; at < size; at += piece)
        cutter.feed(text + at, std::min(piece, size - at),
                    [&](plat::LineCutter::Piece kind, std::string& line) {
                        if (kind != plat::LineCutter::Piece::Line) return;
                        fuzzfiles::check(!line.empty() && line.size() <= plat::kLinkLineMax);
                        fuzzfiles::check(line.find('\n') == std::string::npos);
                        BLNetMessage probe;
                        const bool whole = BLNet_parseMessage(line.data(), line.size(), probe);
                        if (!whole) ++refused;
                        fuzzfiles::check(link.hear(line.data(), line.size(), 0) == whole);
                        fuzzfiles::check(host.bpm >= 70.0f && host.bpm <= 170.0f);
                    });
    fuzzfiles::check(link.dropped() >= before + refused);
    return 0;
}
